// Whole-file writes.
#include "core/TextFile.h"

#include "core/AppError.h"

#include <QSaveFile>

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw AppError::cannotCreateFile(path);
}
