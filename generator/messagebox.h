#pragma once

#include <QString>

// A modal message: no icon, one OK button, the application's title. Returns
// once the operator has confirmed it. It has no owner window, so it stands
// alone on the screen while the main window is hidden.
void showMessageBox(const QString& text);
