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
// under the name goes first (a file, a link, a pipe: the folder is ours), so nothing is written
// through a planted link; only a folder under the name is refused. Nothing ever blocks.
int createScratchFile(const QString &path);

// What a run left under a scratch name. A script may have put a link, a pipe or a device
// there: such a thing is never opened for reading, never followed, and never waited on.
struct ScratchContent
{
    bool regular = false; // a regular file stood there and was read
    qint64 size = 0;      // its whole size, which may exceed what was read
    QByteArray bytes;     // at most the limit's first bytes
};
ScratchContent readScratchFile(const QString &path, qint64 limit);

// Whether path lies in the scratch folder, where every run rewrites the files.
bool isInScratchDirectory(const QString &path);

// Whether the scratch folder's file system has (next to) no room left, so that what a run
// wrote may have been cut short.
bool scratchSpaceExhausted();

} // namespace platform
