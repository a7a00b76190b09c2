// File names as the disk holds them: bytes, which need not be UTF-8.
#pragma once

#include <QByteArray>
#include <QString>

// A name's bytes as text. Each byte that is not part of a well-formed UTF-8 sequence becomes
// U+DC80 + its value, a lone surrogate that no UTF-8 name decodes to, so that encodeFileName()
// gives the same bytes back. A UTF-8 name decodes as QFile::decodeName() decodes it.
QString decodeFileName(const QByteArray &bytes);
QByteArray encodeFileName(const QString &name);

// The name for a caption or a message: each byte that is not UTF-8 shown as U+FFFD.
QString displayFileName(const QString &name);

// The part of a path or URL after its last "/", "\\" or ":".
QString fileNamePart(const QString &pathOrUrl);
