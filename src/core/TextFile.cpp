// Whole-file writes, by the file's own bytes of name: a name that is not UTF-8 is written where
// it stands.
#include "core/TextFile.h"

#include "core/AppError.h"
#include "core/FileNameCodec.h"
#include "core/RecoveryStore.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool writeWholeFile(int fd, const QByteArray &bytes)
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

namespace {

// Each piece as it comes, its write-out to the disk started at once, so that the device works
// while the next piece is made; the caller's fsync() waits for the rest.
bool writePieces(int fd, const BytePieces &pieces)
{
    off_t at = 0;
    for (QByteArrayView piece = pieces(); !piece.isEmpty(); piece = pieces()) {
        for (qsizetype done = 0; done < piece.size();) {
            const ssize_t n = ::pwrite(fd, piece.data() + done, size_t(piece.size() - done), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
            at += n;
        }
        ::sync_file_range(fd, at - off_t(piece.size()), off_t(piece.size()), SYNC_FILE_RANGE_WRITE);
    }
    return true;
}

QByteArray allOf(const BytePieces &pieces)
{
    QByteArray bytes;
    for (QByteArrayView piece = pieces(); !piece.isEmpty(); piece = pieces())
        bytes += piece;
    return bytes;
}

bool readAll(int fd, QByteArray *bytes)
{
    bytes->clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes->append(buf, n);
    }
}

// A temporary file of ours, removed unless kept.
struct TempFile
{
    QByteArray path;
    int fd = -1;
    bool keep = false;
    ~TempFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !path.isEmpty())
            ::unlink(path.constData());
    }
    // From a template ending in XXXXXX; mode 0600.
    bool make(const QByteArray &pattern)
    {
        QByteArray name = pattern;
        const int made = mkostemp(name.data(), O_CLOEXEC);
        if (made < 0)
            return false;
        path = name;
        fd = made;
        return true;
    }
};

QByteArray folderOf(const QByteArray &native)
{
    const qsizetype slash = native.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
}

// The mode a new file gets, as the process's umask says (read without changing it: other
// threads may be making files).
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return 0666 & ~mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 0644;
}

// The safe copy of the new text before a write in place: beside the file under a short name,
// or, where the folder takes no new file, in the user's own state folder.
bool writeSafeCopy(TempFile &copy, const QByteArray &native, const QByteArray &bytes)
{
    const QString own = RecoveryStore::folder();
    if (!copy.make(folderOf(native) + "/.korlith-XXXXXX")) {
        if (!QDir().mkpath(own) || !QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
            || !copy.make(encodeFileName(own) + "/gespeichert-XXXXXX"))
            return false;
    }
    return writeWholeFile(copy.fd, bytes) && fsync(copy.fd) == 0;
}

// A file with other names: every name must see the new text, so it is written in place, once a
// copy of the new text has been written safely. So is a file whose folder takes no temporary
// file. If the write fails, the old text is put back where it stood (its blocks are still the
// file's), and the copy is kept.
void writeInPlace(const QString &path, const QByteArray &native, const QByteArray &bytes)
{
    TempFile copy;
    if (!writeSafeCopy(copy, native, bytes))
        throw AppError::cannotCreateFile(path, errno);
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    QByteArray old;
    if (fd < 0 || !readAll(fd, &old)) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw AppError::cannotCreateFile(path, error);
    }
    const bool written = writeWholeFile(fd, bytes) && ::ftruncate(fd, off_t(bytes.size())) == 0 && fsync(fd) == 0;
    const int error = errno;
    if (!written && !(writeWholeFile(fd, old) && ::ftruncate(fd, off_t(old.size())) == 0))
        copy.keep = true; // the new text survives in the copy
    ::close(fd);
    if (!written)
        throw AppError::cannotCreateFile(path, error);
}

void writeNewFile(const QString &path, const QByteArray &native, const QByteArray &bytes)
{
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw AppError::cannotCreateFile(path, errno);
    const bool written = writeWholeFile(fd, bytes) && fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(native.constData());
        throw AppError::cannotCreateFile(path, error);
    }
}

} // namespace

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    bool given = false;
    writeFileAtomically(path, [&]() -> QByteArrayView {
        if (given)
            return {};
        given = true;
        return bytes;
    });
}

void writeFileAtomically(const QString &path, const BytePieces &pieces)
{
    QByteArray native = encodeFileName(path);
    struct stat st;
    const bool exists = ::stat(native.constData(), &st) == 0;
    // A pipe, a device or a folder is no document: never replaced, never written to.
    if (exists && !S_ISREG(st.st_mode))
        throw AppError::cannotCreateFile(path).because(AppError::notAFile(st.st_mode));
    // A file the user may not write (read-only, or another user's) is not replaced behind its
    // back by a rename in a folder they may write.
    if (exists && ::access(native.constData(), W_OK) != 0)
        throw AppError::cannotCreateFile(path, errno);
    if (exists && st.st_nlink > 1) {
        writeInPlace(path, native, allOf(pieces));
        return;
    }
    // A link is followed: the file it names gets the new text, the link stays.
    if (exists) {
        char resolved[PATH_MAX];
        if (realpath(native.constData(), resolved))
            native = resolved;
    }
    // The new text goes into a temporary file beside the old one, under a short name, and
    // replaces it by a rename: a failure leaves the old file as it was. Where the folder takes
    // no new file (the user may not write to it), a file that exists is written in place after
    // a safe copy, and a new one cannot be made.
    TempFile file;
    if (!file.make(folderOf(native) + "/.korlith-XXXXXX")) {
        if (!exists)
            writeNewFile(path, native, allOf(pieces));
        else
            writeInPlace(path, native, allOf(pieces));
        return;
    }
    // The old file's mode, owner and group where this process may give them; a new file's
    // mode as the umask says.
    fchmod(file.fd, exists ? st.st_mode & 07777 : newFileMode());
    if (exists && ::fchown(file.fd, st.st_uid, st.st_gid) != 0 && ::fchown(file.fd, uid_t(-1), st.st_gid) != 0) {
        // Neither may be given: the file is this user's, as any new file would be.
    }
    if (!writePieces(file.fd, pieces) || fsync(file.fd) != 0 || ::rename(file.path.constData(), native.constData()) != 0)
        throw AppError::cannotCreateFile(path, errno);
    file.keep = true;
}
