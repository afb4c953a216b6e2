#include "margins/formlook.h"

#include "common/centring.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace margins {

QFont songti(double pointSize, bool bold)
{
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                    QStringLiteral("AR PL UMing CN"),
                                    QStringLiteral("Noto Sans CJK SC")});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void makeBlue(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, kLabelBlue);
    widget->setPalette(palette);
}

void centreOnScreen(QWidget* window)
{
    centring::centreOnScreen(window);
}

} // namespace margins
