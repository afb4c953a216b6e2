#include "generator/messagebox.h"

#include "generator/windowstyle.h"

#include <QMessageBox>

void showMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, windowstyle::applicationTitle(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
