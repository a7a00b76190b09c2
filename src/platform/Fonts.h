// Fonts asked for by name at a pixel size; fontconfig substitutes what is missing.
#pragma once

#include <QFont>

namespace platform {

QFont fontByName(const QString &family, int pixelSize);

// "MS Sans Serif" at 11 pixels, the windows' dialog font.
QFont dialogFont();

} // namespace platform
