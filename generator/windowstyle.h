#pragma once

// What only the generator's windows have beyond the shared look
// (common/look.h): their title and their icons.

#include <QString>

namespace windowstyle {

// The title of every window and message box of the generator.
inline QString applicationTitle()
{
    return QStringLiteral("Morvanta");
}

// Makes the icons of the windows available (they live in a static library,
// whose resources are not registered on their own).
void loadIcons();

} // namespace windowstyle
