#include "common/messagebox.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

void showMessageBox(const QString& text, QWidget* owner)
{
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, owner && owner->isVisible() ? owner : nullptr);
    box.setTextFormat(Qt::PlainText);              // paths and values are never markup
    box.button(QMessageBox::Ok)->setIcon(QIcon()); // some styles draw one on OK
    box.exec();
}
