// File-name part of a path or URL.
#include "platform/FileNames.h"

#include "core/FileNameCodec.h"

#include <QFileInfo>

#include <dirent.h>

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

QString fileOnDisk(const QString &chosen)
{
    if (!chosen.contains(QChar::ReplacementCharacter))
        return chosen;
    const QFileInfo info(chosen);
    DIR *dir = opendir(encodeFileName(info.absolutePath()).constData());
    if (!dir)
        return chosen;
    QString found;
    int matches = 0;
    while (const dirent *entry = readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (QString::fromUtf8(raw) == info.fileName()) {
            found = decodeFileName(raw);
            ++matches;
        }
    }
    closedir(dir);
    return matches == 1 ? info.absolutePath() + QLatin1Char('/') + found : chosen;
}

} // namespace platform
