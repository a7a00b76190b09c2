// TextCodec: a document's bytes to text and back, so that open-then-save changes no byte.
#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>

struct TextFormat
{
    enum Encoding { Utf8, Windows1252 };
    enum LineEnd : quint8 { Lf, CrLf, Cr };
    Encoding encoding = Utf8;
    bool byteOrderMark = false; // UTF-8 files that began with one get it back
    LineEnd lineEnd = Lf;       // the file's most frequent line end: lines the user adds take it
};

struct DecodedText
{
    QString text;   // every line end as "\n", the editor's form
    TextFormat format;
    // The line end of each "\n" in the file, where they are not all format.lineEnd; else empty.
    QList<TextFormat::LineEnd> lineEnds;
};

// UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252, the code page of legacy
// scripts; every byte of 1252 maps to a character, so nothing is replaced.
DecodedText decodeText(const QByteArray &bytes);

// The text in the given format. Text that Windows-1252 cannot hold is written as UTF-8
// (whole), rather than losing characters. The n-th "\n" is written as lineEnds[n] where that
// exists, otherwise as format.lineEnd.
QByteArray encodeText(const QString &text, const TextFormat &format, const QList<TextFormat::LineEnd> &lineEnds = {});

// Where the first character stands that the format's encoding cannot hold (Windows-1252 holds
// only its 256; UTF-8 every one); nothing when all of them fit. encodeText() would write such
// a text as UTF-8.
std::optional<qsizetype> firstUnencodable(const QString &text, const TextFormat &format);

bool isValidUtf8(const QByteArray &bytes);

// For each character of decodeText(raw).text, the offset in `raw` of its first byte.
QList<int> sourceOffsets(const QByteArray &raw, const DecodedText &decoded);
