// File names: a dialog's choice as the file on the disk.
#pragma once

#include <QString>

namespace platform {

// The file that a file dialog's choice means. The dialog lists a name that is not UTF-8 with
// U+FFFD for its odd bytes, a name no file has: the file is the one entry of its folder that
// reads so, by its own bytes (see decodeFileName). Any other choice is returned as it is.
QString fileOnDisk(const QString &chosen);

} // namespace platform
