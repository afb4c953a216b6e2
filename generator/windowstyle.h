#pragma once

// How the generator's windows look: the 宋体 font, the blue text colour,
// placement on the screen and the title every window and message carries.

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace windowstyle {

// The title of every window and message box of the generator.
inline QString applicationTitle()
{
    return QStringLiteral("Morvanta");
}

// The family every text asks for. Where 宋体 is not installed, the Song-style
// CJK fonts of the desktop stand in for it.
inline QString songtiFamily()
{
    return QStringLiteral("宋体");
}
void installSongtiSubstitutes();

QFont songti(qreal points, bool bold = false, bool underline = false);

// RGB (0, 0, 255): the title, the links and the wait form's text.
inline QColor textBlue()
{
    return QColor(0, 0, 255);
}
void setTextColor(QWidget* widget, const QColor& color);

// Makes the icons of the windows available (they live in a static library,
// whose resources are not registered on their own).
void loadIcons();

// Puts a top-level window, frame included, in the middle of the available
// area of its screen (again once the window manager has framed it).
void centreOnScreen(QWidget* window);

// The stand-in fonts run a little wider than 宋体: where a label's text would
// be clipped, its letters move closer together until it fits.
void fitTextToWidth(QLabel* label);

} // namespace windowstyle
