#pragma once

// The look every window of the programs shares: the 宋体 font with one list
// of stand-ins, the blue text, positions given in twips and labels whose
// text is made to fit.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QLabel;
class QWidget;

namespace look {

// The family every text asks for.
inline QString songtiFamily()
{
    return QStringLiteral("宋体");
}

// What stands in for 宋体 where it is not installed, best first: the
// Song-style (serif) faces, so the windows keep the look of 宋体, and the
// sans faces only where no CJK serif is installed. Debian's fonts-noto-cjk
// brings Noto Serif CJK SC and Noto Sans CJK SC.
QStringList songtiSubstitutes();

// Makes Qt's font matching use songtiSubstitutes() for 宋体; songti() does it
// too, an application that sets 宋体 as its font calls it first.
void installSongtiSubstitutes();

QFont songti(qreal points, bool bold = false, bool underline = false);

// RGB (0, 0, 255): titles, links and the wait windows' text.
inline QColor textBlue()
{
    return QColor(0, 0, 255);
}
void setTextColor(QWidget* widget, const QColor& color);

// Window geometry given in twips: 15 twips are one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

inline QRect twipsRect(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

inline QSize twipsSize(int width, int height)
{
    return {width / kTwipsPerPixel, height / kTwipsPerPixel};
}

// The stand-in fonts run a little wider than 宋体: where a label's text would
// be clipped, its letters move closer together until it fits.
void fitTextToWidth(QLabel* label);

} // namespace look
