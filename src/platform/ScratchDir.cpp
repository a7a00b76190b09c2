// Scratch directory: created private, refused when someone else could plant files in it.
#include "platform/ScratchDir.h"

#include <cerrno>
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

} // namespace platform
