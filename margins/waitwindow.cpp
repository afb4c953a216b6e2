#include "margins/waitwindow.h"

#include "common/centring.h"
#include "common/look.h"
#include "common/showpainted.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace margins {

WaitWindow* WaitWindow::createReading(QWidget* owner)
{
    return new WaitWindow(QStringLiteral("frmAbout2"), QStringLiteral("lblDescription"),
                          QStringLiteral("程序正在读取模板页边距请稍候"), owner);
}

WaitWindow* WaitWindow::createSaving(QWidget* owner)
{
    return new WaitWindow(QStringLiteral("frmAbout3"), QStringLiteral("lblTitle"),
                          QStringLiteral("页边距保存中，请稍候"), owner);
}

WaitWindow::WaitWindow(const QString& name, const QString& labelName, const QString& text,
                       QWidget* owner)
    // A dialog with an owner gets no taskbar entry of its own.
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(name);
    setWindowTitle(QStringLiteral("Tolberin"));
    setModal(false);
    setFixedSize(look::twipsSize(4470, 1785));

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(look::twipsRect(240, 240, 480, 480));
    picIcon->setPixmap(marginPageIcon());

    auto* label = new QLabel(text, this);
    label->setObjectName(labelName);
    label->setGeometry(look::twipsRect(1020, 240, 3240, 1305));
    label->setFont(look::songti(14.25));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    look::setTextColor(label, look::textBlue());
}

void WaitWindow::showNow()
{
    centring::centreOnScreen(this);
    windows::showPainted(this);
    centring::awaitFrame(this); // framed by now under a window manager
}

QPixmap marginPageIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The sheet.
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(Qt::white);
    painter.drawRect(5, 1, 22, 29);
    // Its margins.
    painter.setPen(QPen(look::textBlue(), 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(9, 5, 14, 21);
    // Lines of text inside them.
    painter.setPen(QColor(120, 120, 120));
    for (int y = 8; y <= 22; y += 3)
        painter.drawLine(11, y, y == 22 ? 17 : 21, y);
    return pixmap;
}

} // namespace margins
