// Reading and writing a document file whole.
#include "core/Document.h"

#include "core/AppError.h"
#include "core/TextFile.h"

#include <QFile>
#include <QFileInfo>

DecodedText loadDocument(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw AppError::cannotOpenFile(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError::cannotOpenFile(path);
    return decodeText(bytes);
}

void saveDocument(const QString &path, const QString &text, const TextFormat &format)
{
    writeFileAtomically(path, encodeText(text, format));
}
