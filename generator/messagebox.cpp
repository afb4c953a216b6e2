#include "generator/messagebox.h"

#include "generator/windowstyle.h"

#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

void showMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, windowstyle::applicationTitle(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setIcon(QIcon()); // some styles draw one on OK
    box.exec();
}
