#include "margins/messages.h"

#include "office/error.h"

#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

namespace margins {

void showMessage(const QString& text, QWidget* owner)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tolberin"), text, QMessageBox::Ok,
                    owner && owner->isVisible() ? owner : nullptr);
    box.setTextFormat(Qt::PlainText);              // paths and entries are never markup
    box.button(QMessageBox::Ok)->setIcon(QIcon()); // some styles draw one on OK
    box.exec();
}

void showFailure(const office::Error& error, QWidget* owner)
{
    showMessage(error.message(), owner);
}

} // namespace margins
