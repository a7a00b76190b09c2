// HTML Help viewer stand-in: xchm when it is on PATH, otherwise xdg-open.
#pragma once

#include <QString>

namespace platform {

// Korlith.chm next to the program (the build folder), or where an installation puts it:
// ../share/korlith/ from the program's folder. The first place when neither holds it.
QString helpFileBeside(const QString &programDir);

// Starts the viewer detached with the help file's full path as its one argument. A missing file
// or viewer is not reported: the viewer, once started, says so itself.
void showHelpFile(const QString &path);

} // namespace platform
