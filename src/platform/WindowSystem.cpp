// The window system: named by the session's environment.
#include "platform/WindowSystem.h"

#include <QtGlobal>

namespace platform {

bool windowSystemNamed()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

const char *noWindowSystemMessage()
{
    return "Korlith braucht eine grafische Sitzung (X11 oder Wayland): es ist keine Anzeige gesetzt "
           "(DISPLAY, WAYLAND_DISPLAY).\n";
}

} // namespace platform
