// Reading and writing a document file whole, in the format it came in.
#pragma once

#include "core/TextCodec.h"

#include <QString>

// What the editor widget lays out in reasonable time and memory: a file of 128 MiB (about 3.7
// GB of memory at its peak, some 45 s), a line of 256 KiB (a few seconds; the widget's layout
// of a single line grows with the square of its length, and 1 MB takes most of a minute).
constexpr qint64 MaxDocumentBytes = 128ll * 1024 * 1024;
constexpr qint64 MaxLineBytes = 256ll * 1024;

// Raises "Cannot open file %s" when the file cannot be read (missing, a directory, no right),
// and a message of its own for a file beyond the bounds above; such a file is not read whole.
DecodedText loadDocument(const QString &path);

// Raises "Cannot create file %s"; a failed write leaves the old file as it was. Line ends as
// encodeText() writes them.
void saveDocument(const QString &path, const QString &text, const TextFormat &format,
                  const QList<TextFormat::LineEnd> &lineEnds = {});
