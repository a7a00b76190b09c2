// TextCodec: a document's bytes to text and back, so that open-then-save changes no byte.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct TextFormat
{
    enum Encoding { Utf8, Windows1252 };
    Encoding encoding = Utf8;
    bool byteOrderMark = false; // UTF-8 files that began with one get it back
    bool crlf = false;          // line breaks as CR LF in the file
};

struct DecodedText
{
    QString text;   // line breaks as "\n", the editor's form
    TextFormat format;
};

// UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252, the code page of legacy
// scripts; every byte of 1252 maps to a character, so nothing is replaced.
DecodedText decodeText(const QByteArray &bytes);

// The text in the given format. Text that Windows-1252 cannot hold is written as UTF-8
// (whole), rather than losing characters.
QByteArray encodeText(const QString &text, const TextFormat &format);

bool isValidUtf8(const QByteArray &bytes);

// For each character of decodeText(raw).text, the offset in `raw` of its first byte.
QList<int> sourceOffsets(const QByteArray &raw, const DecodedText &decoded);
