// Whole-file writes that never leave a half-written file behind.
#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to path through a temporary file beside it and a rename, so that a failed
// write leaves the old file as it was. Raises "Cannot create file %s" on failure.
void writeFileAtomically(const QString &path, const QByteArray &bytes);
