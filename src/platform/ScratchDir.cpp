// Scratch directory: created private, refused when someone else could plant files in it.
#include "platform/ScratchDir.h"

#include "core/FileNameCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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
        if (S_ISDIR(st.st_mode))
            return -1;
        // A second name of another file keeps that file's text: only this name goes.
        if (unlink(native.constData()) != 0)
            return -1;
    }
    return open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

ScratchContent readScratchFile(const QString &path, qint64 limit)
{
    ScratchContent content;
    const QByteArray native = path.toLocal8Bit();
    // O_NONBLOCK: the open of a pipe without a writer returns at once instead of waiting.
    const int fd = open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return content;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return content;
    }
    content.regular = true;
    content.size = st.st_size;
    content.bytes.resize(qsizetype(std::min<qint64>(st.st_size, limit)));
    qsizetype done = 0;
    while (done < content.bytes.size()) {
        const ssize_t n = read(fd, content.bytes.data() + done, size_t(content.bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    content.bytes.truncate(done);
    close(fd);
    return content;
}

bool isInScratchDirectory(const QString &path)
{
    // Compared as folders on the disk, so that no other spelling of the path (a link, "..",
    // a doubled slash) gets past.
    struct stat scratch, folder;
    const QByteArray scratchPath = scratchDirectory().path.toLocal8Bit();
    const QByteArray folderPath = encodeFileName(QFileInfo(path).absolutePath());
    return stat(scratchPath.constData(), &scratch) == 0 && stat(folderPath.constData(), &folder) == 0
        && scratch.st_dev == folder.st_dev && scratch.st_ino == folder.st_ino;
}

bool scratchSpaceExhausted()
{
    // Less than one write of PHP's output buffer left: its next write found no room.
    constexpr qint64 kRoom = 16 * 1024;
    struct statvfs fs;
    const QByteArray native = scratchDirectory().path.toLocal8Bit();
    return statvfs(native.constData(), &fs) == 0 && qint64(fs.f_bavail) * qint64(fs.f_frsize) < kRoom;
}

} // namespace platform
