// HTML Help viewer stand-in: xchm when it is on PATH, otherwise xdg-open.
#pragma once

#include <QString>

namespace platform {

// Starts the viewer detached with the help file's full path as its one argument. As with the
// original viewer, a missing file or viewer is not reported.
void showHelpFile(const QString &path);

} // namespace platform
