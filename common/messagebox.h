#pragma once

#include <QString>

class QWidget;

// A modal message: no icon, one OK button, the program's name (the
// application's display name) as its title, the text shown as plain text.
// Returns once the operator has confirmed it. A hidden or missing owner is
// not used: the box then stands alone on the screen rather than over a
// window the operator cannot see.
void showMessageBox(const QString& text, QWidget* owner = nullptr);
