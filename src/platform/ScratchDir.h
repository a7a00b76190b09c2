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

} // namespace platform
