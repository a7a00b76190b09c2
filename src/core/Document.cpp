// Reading and writing a document file whole.
#include "core/Document.h"

#include "core/AppError.h"
#include "core/TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

DecodedText loadDocument(const QString &path)
{
    if (path.isEmpty())
        throw AppError::cannotOpenFile(path);
    // Opening never waits (a named pipe), and only a regular file is read: a device could
    // deliver without end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw AppError::cannotOpenFile(path);
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        throw AppError::cannotOpenFile(path);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError::cannotOpenFile(path);
    return decodeText(bytes);
}

void saveDocument(const QString &path, const QString &text, const TextFormat &format,
                  const QList<TextFormat::LineEnd> &lineEnds)
{
    writeFileAtomically(path, encodeText(text, format, lineEnds));
}
