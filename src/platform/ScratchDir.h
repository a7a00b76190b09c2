// Scratch directory: a private $TMPDIR/korlith-<uid>/ instead of a shared temp folder.
#pragma once

#include <QString>

namespace platform {

struct ScratchDirectory
{
    QString path;      // ends in "/"
    bool usable = false; // false when it exists but is not a directory of ours, closed to others
};

// Determined anew on every call; creates the directory with mode 0700 when it is missing.
ScratchDirectory scratchDirectory();

// Creates a scratch file anew for writing and returns its descriptor, or -1. Whatever stood
// under the name goes first, so nothing is written through a planted link; a name that is
// taken by anything but a regular file (a link, a pipe, a device, a folder) is refused, and
// nothing ever blocks.
int createScratchFile(const QString &path);

} // namespace platform
