// File names: a dialog's choice as the file on the disk.
#pragma once

#include <QString>

namespace platform {

// The file that a file dialog's choice means. The dialog lists a name that is not UTF-8 with
// U+FFFD for its odd bytes, a name no file has: the file is the one entry of its folder that
// reads so, by its own bytes (see decodeFileName). Any other choice is returned as it is.
QString fileOnDisk(const QString &chosen);

// The file a command-line argument names, by its bytes: a relative name is taken from the
// working folder before it is read as a name (Qt would make it absolute through its own
// reading, which loses the bytes of a name that is not UTF-8).
QString commandLineFile(const QByteArray &argument);

} // namespace platform
