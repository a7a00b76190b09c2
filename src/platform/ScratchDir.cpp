// Scratch directory: created private, refused when someone else could plant files in it.
#include "platform/ScratchDir.h"

#include "core/AppError.h"

#include "core/FileNameCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

namespace {

// A folder of ours alone: not a planted link, not open to others.
// Empty when path is (or now is) a directory of this user's, closed to others; otherwise why not.
QString privateFolderProblem(const QByteArray &path)
{
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return AppError::systemReason(errno);
    struct stat st;
    // lstat: a planted symbolic link must not count as our directory.
    if (lstat(path.constData(), &st) != 0)
        return AppError::systemReason(errno);
    const QString name = QString::fromLocal8Bit(path);
    const QString only = QStringLiteral(" Korlith legt die Dateien der Vorschau nur in einem Ordner ab, der allein dem Benutzer gehört.");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("%1 ist ein symbolischer Verweis.").arg(name) + only;
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 ist kein Ordner.").arg(name) + only;
    if (st.st_uid != getuid())
        return QStringLiteral("%1 gehört einem anderen Benutzer.").arg(name) + only;
    if ((st.st_mode & 077) != 0)
        return QStringLiteral("%1 ist auch anderen zugänglich (Rechte %2).").arg(name).arg(st.st_mode & 0777, 3, 8, QLatin1Char('0')) + only;
    return QString();
}


int removeEntry(const char *path, const struct stat *, int type, struct FTW *)
{
    if (type == FTW_DP)
        rmdir(path);
    else
        unlink(path);
    return 0;
}

// Deepest first, never through a link: a run may have left anything in its folder.
void removeTree(const QByteArray &path)
{
    nftw(path.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// The instance's lock on its folder, per root (TMPDIR may change while tests run).
struct InstanceLock
{
    QByteArray root;
    QByteArray folder;
    int fd = -1;
};
QList<InstanceLock> &instanceLocks()
{
    static QList<InstanceLock> locks;
    return locks;
}

// Takes the lock "<root>/<pid>.lock" before the folder exists, so that another instance's
// sweep never takes a folder that is being made; then sweeps away the folders whose lock is free.
void claimInstanceFolder(const QByteArray &root, const QByteArray &folder)
{
    for (const InstanceLock &lock : instanceLocks())
        if (lock.root == root)
            return;
    const QByteArray own = QByteArray::number(qint64(getpid()));
    const int fd = open((root + own + ".lock").constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    flock(fd, LOCK_EX | LOCK_NB);
    instanceLocks().append({root, folder, fd});
    if (DIR *dir = opendir(root.constData())) {
        QList<QByteArray> gone;
        while (dirent *entry = readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (!name.endsWith(".lock") || name == own + ".lock")
                continue;
            const int other = open((root + name).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
            if (other < 0)
                continue;
            if (flock(other, LOCK_EX | LOCK_NB) == 0) {
                removeTree(root + name.chopped(5));
                unlink((root + name).constData());
            }
            close(other);
        }
        closedir(dir);
    }
}

} // namespace

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
    dir.root = base + QStringLiteral("/korlith-%1/").arg(getuid());
    dir.path = dir.root + QString::number(qint64(getpid())) + QLatin1Char('/');
    const QByteArray root = dir.root.toLocal8Bit();
    const QByteArray folder = dir.path.toLocal8Bit();
    dir.problem = privateFolderProblem(root.chopped(1));
    if (!dir.problem.isEmpty())
        return dir;
    claimInstanceFolder(root, folder);
    dir.problem = privateFolderProblem(folder.chopped(1));
    dir.usable = dir.problem.isEmpty();
    return dir;
}

void releaseScratchDirectory()
{
    for (const InstanceLock &lock : std::as_const(instanceLocks())) {
        removeTree(lock.folder);
        unlink((lock.root + QByteArray::number(qint64(getpid())) + ".lock").constData());
        close(lock.fd);
    }
    instanceLocks().clear();
}

int createScratchFile(const QString &path)
{
    const QByteArray native = path.toLocal8Bit();
    struct stat st;
    if (lstat(native.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return -1;
        }
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
    // a doubled slash) gets past: the file's folder and each above it against the root.
    struct stat scratch, folder;
    const QByteArray scratchPath = scratchDirectory().root.toLocal8Bit();
    if (stat(scratchPath.constData(), &scratch) != 0)
        return false;
    QByteArray folderPath = encodeFileName(QFileInfo(path).absolutePath());
    for (int depth = 0; depth < 256 && stat(folderPath.constData(), &folder) == 0; ++depth) {
        if (scratch.st_dev == folder.st_dev && scratch.st_ino == folder.st_ino)
            return true;
        if (folderPath == "/")
            return false;
        folderPath += "/..";
    }
    return false;
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
