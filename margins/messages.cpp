#include "margins/messages.h"

#include "office/error.h"

#include <QMessageBox>

namespace margins {

void showMessage(const QString& text, QWidget* owner)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tolberin"), text, QMessageBox::Ok,
                    owner && owner->isVisible() ? owner : nullptr);
    box.exec();
}

void showFailure(const office::Error& error, QWidget* owner)
{
    showMessage(error.message(), owner);
}

} // namespace margins
