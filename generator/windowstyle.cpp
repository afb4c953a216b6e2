#include "generator/windowstyle.h"

#include "common/centring.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <cmath>

static void registerIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace windowstyle {

void loadIcons()
{
    static const bool loaded = (registerIconResources(), true);
    Q_UNUSED(loaded);
}

void installSongtiSubstitutes()
{
    // Song (serif) faces first so the windows keep the look of 宋体; the sans
    // faces only where no CJK serif is installed.
    static const QStringList substitutes{
        QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"),
        QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Source Han Serif SC"),
        QStringLiteral("AR PL UMing CN"),
        QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Source Han Sans SC"),
        QStringLiteral("WenQuanYi Zen Hei"),
    };
    if (QFont::substitutes(songtiFamily()) != substitutes) {
        QFont::removeSubstitutions(songtiFamily());
        QFont::insertSubstitutions(songtiFamily(), substitutes);
    }
}

QFont songti(qreal points, bool bold, bool underline)
{
    installSongtiSubstitutes();
    QFont font(songtiFamily());
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void centreOnScreen(QWidget* window)
{
    centring::centreOnScreen(window);
}

void fitTextToWidth(QLabel* label)
{
    const QString text = label->text();
    if (text.isEmpty())
        return;
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    const int excess = QFontMetrics(font).horizontalAdvance(text) - label->contentsRect().width();
    if (excess > 0) {
        // Whole tenths of a pixel per letter, rounded up so the text fits.
        const qreal perLetter = std::ceil(10.0 * excess / text.size()) / 10.0;
        font.setLetterSpacing(QFont::AbsoluteSpacing, -perLetter);
    }
    label->setFont(font);
}

} // namespace windowstyle
