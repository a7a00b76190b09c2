// Reading and writing a document file whole.
#include "core/Document.h"

#include <algorithm>
#include <utility>

#include "core/AppError.h"
#include "core/FileNameCodec.h"
#include "core/TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes of the longest line, whatever its line ends.
qint64 longestLine(const QByteArray &bytes)
{
    qint64 longest = 0, current = 0;
    for (const char c : bytes) {
        if (c == '\n' || c == '\r') {
            longest = std::max(longest, current);
            current = 0;
        } else {
            ++current;
        }
    }
    return std::max(longest, current);
}

// The file's bytes, up to one past MaxDocumentBytes, in a buffer of the size it had when
// opened (one taken for the bound would be held, unused, until the text is decoded).
bool readBounded(QFile &file, qint64 expected, QByteArray *bytes)
{
    bytes->resize(qsizetype(std::min(expected, MaxDocumentBytes) + 1));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes->size()) {
            if (got > MaxDocumentBytes)
                break;
            bytes->resize(qsizetype(std::min<qint64>(qint64(got) * 2, MaxDocumentBytes + 1)));
        }
        const qint64 n = file.read(bytes->data() + got, bytes->size() - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += qsizetype(n);
    }
    bytes->resize(got);
    return true;
}

} // namespace

DecodedText loadDocument(const QString &path)
{
    if (path.isEmpty())
        throw AppError::cannotOpenFile(path);
    // Opening never waits (a named pipe), and only a regular file is read: a device could
    // deliver without end.
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw AppError::cannotOpenFile(path, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw AppError::cannotOpenFile(path, error);
    }
    QFile file;
    if (!S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        throw AppError::cannotOpenFile(path).because(AppError::notAFile(st.st_mode));
    }
    if (st.st_size > MaxDocumentBytes)
        throw AppError(QStringLiteral("Die Datei %1 ist %2 MB groß; der Editor öffnet Dateien bis %3 MB")
                           .arg(path).arg((st.st_size + (1 << 20) - 1) >> 20).arg(MaxDocumentBytes >> 20));
    // Read up to one byte past the bound: a file that grew since is refused, not cut.
    QByteArray bytes;
    if (!readBounded(file, st.st_size, &bytes))
        throw AppError::cannotOpenFile(path, errno);
    if (bytes.size() > MaxDocumentBytes)
        throw AppError(QStringLiteral("Die Datei %1 ist größer als %2 MB, bis zu denen der Editor Dateien öffnet")
                           .arg(path).arg(MaxDocumentBytes >> 20));
    if (longestLine(bytes) > MaxLineBytes)
        throw AppError(QStringLiteral("Die Datei %1 enthält eine Zeile von mehr als %2 Zeichen; "
                                      "so lange Zeilen kann der Editor nicht darstellen")
                           .arg(path).arg(MaxLineBytes));
    return decodeText(bytes);
}

void saveDocument(const QString &path, const QString &text, const TextFormat &format,
                  const QList<TextFormat::LineEnd> &lineEnds)
{
    writeFileAtomically(path, encodeText(text, format, lineEnds));
}

void saveDocument(const QString &path, EditorBytes &bytes)
{
    writeFileAtomically(path, [&bytes] { return bytes.next(); });
}

Document::Document(QString startFolder) : m_folder(std::move(startFolder)) {}

void Document::clear()
{
    m_caption = Untitled;
    m_format = TextFormat();
}

void Document::chooseFile(const QString &path)
{
    m_folder = QFileInfo(path).absolutePath();
}

void Document::opened(const QString &path, const TextFormat &format)
{
    m_openedFile = path;
    m_format = format;
    m_caption = Untitled + QStringLiteral(" - ") + displayFileName(QFileInfo(path).fileName());
}

void Document::restore(const QString &openedFile, const QString &caption, const TextFormat &format)
{
    m_openedFile = openedFile;
    if (!openedFile.isEmpty())
        chooseFile(openedFile);
    m_caption = caption;
    m_format = format;
}

void Document::changeToUtf8()
{
    m_format.encoding = TextFormat::Utf8;
    m_format.byteOrderMark = false;
}
