// The editor's held text as its file's bytes, in one pass and a piece at a time.
#pragma once

#include "core/TextCodec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The bytes of encodeText(fromEditorForm(held), format, lineEnds), where each U+2029 of
// `held` (a text document's own block break, as its raw text gives it) counts as "\n". Save
// and run hand the pieces on as they come: no copy of the whole text is made for the stand-ins,
// the line breaks or the encoding, and a piece is written while the next is made.
class EditorBytes
{
public:
    EditorBytes(QString held, const TextFormat &format, QList<TextFormat::LineEnd> lineEnds,
                qsizetype pieceBytes = 1 << 20);

    // The next piece, valid until the next call; empty once all bytes were given.
    QByteArrayView next();
    // All the bytes that next() has not given yet.
    QByteArray rest();

private:
    void fill();

    QString m_held;
    TextFormat m_format;
    QList<TextFormat::LineEnd> m_lineEnds;
    qsizetype m_pieceBytes;
    qsizetype m_at = 0;   // the next character of m_held to encode
    qsizetype m_line = 0; // line breaks written so far
    bool m_markDue;       // UTF-8's byte order mark, before the first piece's bytes
    bool m_started = false;
    QByteArray m_piece;
};
