// Reading and writing a document file whole, in the format it came in.
#pragma once

#include "core/TextCodec.h"

#include <QString>

// Raises "Cannot open file %s" when the file cannot be read (missing, a directory, no right).
DecodedText loadDocument(const QString &path);

// Raises "Cannot create file %s"; a failed write leaves the old file as it was. Line ends as
// encodeText() writes them.
void saveDocument(const QString &path, const QString &text, const TextFormat &format,
                  const QList<TextFormat::LineEnd> &lineEnds = {});
