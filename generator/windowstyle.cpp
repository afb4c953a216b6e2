#include "generator/windowstyle.h"

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

} // namespace windowstyle
