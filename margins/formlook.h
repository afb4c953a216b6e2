#pragma once

// The look shared by Tolberin's windows: positions given in twips, the
// 宋体 font and the blue of the labels.

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

namespace margins {

// 15 twips are one pixel at 96 dpi.
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

// 宋体 by name; where it is not installed, a Song-style CJK font stands in.
QFont songti(double pointSize, bool bold = false);

inline const QColor kLabelBlue{0, 0, 255};

// Paints the widget's text blue.
void makeBlue(QWidget* widget);

// Moves a top-level window so that it stands, frame included, in the middle
// of its screen (again once the window manager has framed it).
void centreOnScreen(QWidget* window);

} // namespace margins
