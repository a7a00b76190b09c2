// File-name part of a path or URL: the text after the last "/", "\" or ":".
#pragma once

#include <QString>

namespace platform {

QString fileNamePart(const QString &pathOrUrl);

} // namespace platform
