// A file dialog's choice as the file on the disk.
#include "platform/FileNames.h"

#include "core/FileNameCodec.h"

#include <QFileInfo>

#include <climits>
#include <dirent.h>
#include <unistd.h>

namespace platform {

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

QString commandLineFile(const QByteArray &argument)
{
    QByteArray path = argument;
    if (!path.isEmpty() && !path.startsWith('/')) {
        char folder[PATH_MAX];
        if (::getcwd(folder, sizeof folder))
            path = QByteArray(folder) + '/' + path;
    }
    return decodeFileName(path);
}

} // namespace platform
