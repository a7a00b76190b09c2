// Whole-file writes.
#include "core/TextFile.h"

#include "core/AppError.h"
#include "core/RecoveryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The safe copy of the new text before a write in place: beside the file under a short name,
// or, where the folder takes no new file, in the user's own state folder.
bool writeSafeCopy(QTemporaryFile &copy, const QString &path, const QByteArray &bytes)
{
    const QString beside = QFileInfo(path).absolutePath() + QStringLiteral("/.korlith-XXXXXX");
    const QString own = RecoveryStore::folder();
    for (const QString &name : {beside, own + QStringLiteral("/gespeichert-XXXXXX")}) {
        if (name.startsWith(own) && (!QDir().mkpath(own) || !QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
            continue;
        copy.setFileTemplate(name);
        if (copy.open())
            return copy.write(bytes) == bytes.size() && copy.flush() && fsync(copy.handle()) == 0;
    }
    return false;
}

// A file with other names: every name must see the new text, so it is written in place, once a
// copy of the new text has been written safely. So is a file whose folder takes no temporary
// file. If the write fails, the old text is put back where it stood (its blocks are still the
// file's), and the copy is kept.
void writeInPlace(const QString &path, const QByteArray &bytes)
{
    QTemporaryFile copy;
    if (!writeSafeCopy(copy, path, bytes))
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

void writeNewFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw AppError::cannotCreateFile(path);
    const bool written = writeAll(fd, bytes) && fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(native.constData());
        throw AppError::cannotCreateFile(path);
    }
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
    // No temporary file beside it (a folder this user may not write to), or none under a name
    // (the temporary name is too long where the file's is near the limit): a file that exists
    // is written in place after a safe copy, a new one is made directly (there is nothing to
    // lose). A full disk fails there again, and says so.
    auto writeOtherwise = [&] {
        if (exists)
            writeInPlace(path, bytes);
        else
            writeNewFile(path, bytes);
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        writeOtherwise();
        return;
    }
    if (file.write(bytes) != bytes.size())
        throw AppError::cannotCreateFile(path);
    if (exists) {
        // The new file replaces the old one: it keeps the old one's owner and group where
        // this process may give them.
        if (::fchown(file.handle(), st.st_uid, st.st_gid) != 0 && ::fchown(file.handle(), uid_t(-1), st.st_gid) != 0) {
            // Neither may be given: the file is this user's, as any new file would be.
        }
    }
    if (!file.commit())
        writeOtherwise();
}
