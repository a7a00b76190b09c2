// Scratch directory: created private, refused when someone else could plant files in it.
#include "platform/ScratchDir.h"

#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

ScratchDirectory scratchDirectory()
{
    QString base = qEnvironmentVariable("TMPDIR");
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.isEmpty())
        base = QStringLiteral("/tmp");
    // A relative TMPDIR names a folder below the current one; the pane needs it absolute.
    if (!base.startsWith(QLatin1Char('/')))
        base = QDir(base).absolutePath();
    if (base == QLatin1String("/"))
        base.clear();

    ScratchDirectory dir;
    const QString path = base + QStringLiteral("/korlith-%1").arg(getuid());
    dir.path = path + QLatin1Char('/');

    const QByteArray native = path.toLocal8Bit();
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return dir;
    struct stat st;
    // lstat: a planted symbolic link must not count as our directory.
    if (lstat(native.constData(), &st) != 0)
        return dir;
    dir.usable = S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
    return dir;
}

int createScratchFile(const QString &path)
{
    const QByteArray native = path.toLocal8Bit();
    struct stat st;
    if (lstat(native.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return -1;
        // A second name of another file keeps that file's text: only this name goes.
        if (unlink(native.constData()) != 0)
            return -1;
    }
    return open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

} // namespace platform
