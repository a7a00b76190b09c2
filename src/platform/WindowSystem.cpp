// The window system: named by the session's environment.
#include "platform/WindowSystem.h"
#include "platform/ProgramVariables.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace platform {

bool windowSystemNamed()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

const char *platformFor(const char *desktop, bool x11Display, bool waylandDisplay, bool chosenByHand)
{
    if (chosenByHand || !x11Display || !waylandDisplay || !desktop)
        return nullptr;
    // XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME", "GNOME-Classic:GNOME").
    for (const QByteArray &name : QByteArray(desktop).split(':'))
        if (name == "GNOME")
            return "xcb";
    return nullptr;
}

void chooseWindowSystem()
{
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    if (const char *platform = platformFor(desktop.isNull() ? nullptr : desktop.constData(),
                                           !qEnvironmentVariableIsEmpty("DISPLAY"),
                                           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"),
                                           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")))
        setProgramVariable("QT_QPA_PLATFORM", platform);
}

const char *noWindowSystemMessage()
{
    return "Korlith braucht eine grafische Sitzung (X11 oder Wayland): es ist keine Anzeige gesetzt "
           "(DISPLAY, WAYLAND_DISPLAY).\n";
}

} // namespace platform
