// Scratch directory: a private $TMPDIR/korlith-<uid>/<pid>/ for each instance, instead of a
// shared temp folder.
#pragma once

#include <QString>

namespace platform {

struct ScratchDirectory
{
    QString path;        // this instance's folder; ends in "/"
    QString root;        // the user's folder that holds every instance's; ends in "/"
    bool usable = false; // false when either exists but is not a directory of ours, closed to others
    QString problem;     // why it is not usable, for the user
};

// Determined anew on every call (TMPDIR may change); creates both folders with mode 0700 when
// they are missing. The instance's folder is held by a lock while the instance lives; on the
// first call for a root, the folders of instances that are gone (their lock free) are removed.
ScratchDirectory scratchDirectory();

// Removes this instance's folder with all in it: the program's end.
void releaseScratchDirectory();

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

// Whether path lies in the scratch folders (any instance's, or the folder that holds them),
// where every run rewrites the files.
bool isInScratchDirectory(const QString &path);

// Whether the scratch folder's file system has (next to) no room left, so that what a run
// wrote may have been cut short.
bool scratchSpaceExhausted();

} // namespace platform
