#include "common/look.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <cmath>

namespace look {

QStringList songtiSubstitutes()
{
    return {
        QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"),
        QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Source Han Serif SC"),
        QStringLiteral("AR PL UMing CN"),
        QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Source Han Sans SC"),
        QStringLiteral("WenQuanYi Zen Hei"),
    };
}

void installSongtiSubstitutes()
{
    // Replaced, not added to: insertSubstitutions() appends behind whatever
    // list is already there.
    static const QStringList substitutes = songtiSubstitutes();
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

} // namespace look
