// File-name part of a path or URL.
#include "platform/FileNames.h"

namespace platform {

QString fileNamePart(const QString &pathOrUrl)
{
    for (int i = pathOrUrl.size() - 1; i >= 0; --i) {
        const QChar c = pathOrUrl.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return pathOrUrl.mid(i + 1);
    }
    return pathOrUrl;
}

} // namespace platform
