#pragma once

// The copyright line and the two addresses at the bottom of the main window.
// The web address is shown and opened as it stands; the mail address is shown
// as it stands and opened with "mailto:" in front.

#include <QString>

namespace contact {

inline QString copyrightLine()
{
    return QStringLiteral("版权所有 © 2026 Morvanta工作室");
}
inline QString webAddress()
{
    return QStringLiteral("morvanta.example");
}
inline QString mailAddress()
{
    return QStringLiteral("info@morvanta.example");
}

} // namespace contact
