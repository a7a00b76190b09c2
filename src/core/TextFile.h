// Whole-file writes that never leave a half-written file behind.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// A file's bytes in pieces, in order; an empty piece ends them.
using BytePieces = std::function<QByteArrayView()>;

// Writes bytes to path through a temporary file beside it and a rename, so that a failed
// write leaves the old file as it was; the file keeps its owner and group where possible, and a
// file with other names is written in place so that they all see the new text. Anything but a
// regular file is refused. Raises "Cannot create file %s" on failure.
void writeFileAtomically(const QString &path, const QByteArray &bytes);
// The same for bytes made while they are written.
void writeFileAtomically(const QString &path, const BytePieces &pieces);

// Writes bytes into the open file fd from its start, all of them; false when a write fails
// (errno says why).
bool writeWholeFile(int fd, const QByteArray &bytes);
