// Whole-file writes.
#include "core/TextFile.h"

#include "core/AppError.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A file with other names: every name must see the new text, so it is written in place, once a
// copy of the new text has been written safely beside it. If the write fails, the old text is
// put back where it stood (its blocks are still the file's), and the copy is kept.
void writeInPlace(const QString &path, const QByteArray &bytes)
{
    QTemporaryFile copy(path + QStringLiteral(".korlith-XXXXXX"));
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush() || fsync(copy.handle()) != 0)
        throw AppError::cannotCreateFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        throw AppError::cannotCreateFile(path);
    const QByteArray old = file.readAll();
    const int fd = file.handle();
    if (writeAll(fd, bytes) && ::ftruncate(fd, off_t(bytes.size())) == 0 && fsync(fd) == 0)
        return;
    const bool restored = writeAll(fd, old) && ::ftruncate(fd, off_t(old.size())) == 0;
    if (!restored)
        copy.setAutoRemove(false); // the new text survives beside the file
    throw AppError::cannotCreateFile(path);
}

} // namespace

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    const bool exists = ::stat(native.constData(), &st) == 0;
    // A pipe, a device or a folder is no document: never replaced, never written to.
    if (exists && !S_ISREG(st.st_mode))
        throw AppError::cannotCreateFile(path);
    if (exists && st.st_nlink > 1) {
        writeInPlace(path, bytes);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw AppError::cannotCreateFile(path);
    if (exists) {
        // The new file replaces the old one: it keeps the old one's owner and group where
        // this process may give them.
        if (::fchown(file.handle(), st.st_uid, st.st_gid) != 0 && ::fchown(file.handle(), uid_t(-1), st.st_gid) != 0) {
            // Neither may be given: the file is this user's, as any new file would be.
        }
    }
    if (!file.commit())
        throw AppError::cannotCreateFile(path);
}
