// TextCodec: UTF-8 or Windows-1252, and the line ends, remembered per document.
#include "core/TextCodec.h"

#include <QStringDecoder>

namespace {

// 0x80..0x9F of Windows-1252; the five undefined bytes map to the C1 control of the same
// value, as Windows itself does, so that they survive a round trip.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromCp1252(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (int i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        d[i] = QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

// The Windows-1252 byte of a character, or -1 where the code page has none.
int cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int k = 0; k < 32; ++k)
        if (kCp1252High[k] == c)
            return 0x80 + k;
    return -1;
}

bool toCp1252(const QString &text, QByteArray *out)
{
    out->resize(text.size());
    char *d = out->data();
    for (int i = 0; i < text.size(); ++i) {
        const int b = cp1252Byte(text.at(i).unicode());
        if (b < 0)
            return false;
        d[i] = char(b);
    }
    return true;
}

// Every line end becomes "\n", each one's kind recorded, so that a save can write it back.
QByteArray toEditorLineEnds(const QByteArray &bytes, DecodedText *out)
{
    QList<TextFormat::LineEnd> ends;
    qsizetype counts[3] = {0, 0, 0};
    const bool anyCr = bytes.contains('\r');
    QByteArray text;
    if (anyCr)
        text.reserve(bytes.size());
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype copied = 0; // bytes before this are in `text`
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        TextFormat::LineEnd end = TextFormat::Lf;
        if (c == '\r') {
            end = i + 1 < size && data[i + 1] == '\n' ? TextFormat::CrLf : TextFormat::Cr;
            text.append(data + copied, i - copied).append('\n');
            if (end == TextFormat::CrLf)
                ++i;
            copied = i + 1;
        }
        ends << end;
        ++counts[end];
    }
    // Ties go to LF, then CR LF: the kinds new documents and Windows editors write.
    TextFormat::LineEnd most = TextFormat::Lf;
    for (TextFormat::LineEnd kind : {TextFormat::CrLf, TextFormat::Cr})
        if (counts[kind] > counts[most])
            most = kind;
    out->format.lineEnd = most;
    if (counts[most] != ends.size())
        out->lineEnds = std::move(ends);
    if (!anyCr)
        return bytes;
    text.append(data + copied, size - copied);
    return text;
}

// The text of UTF-8 bytes, a byte order mark at the start left out; false where they are not UTF-8.
bool decodeUtf8(const QByteArray &bytes, QString *text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

bool isValidUtf8(const QByteArray &bytes)
{
    QString probe;
    return decodeUtf8(bytes, &probe);
}

DecodedText decodeText(const QByteArray &raw)
{
    DecodedText result;
    const QByteArray bytes = toEditorLineEnds(raw, &result);
    // One decoding tells whether the bytes are UTF-8 and gives the text: a large file is read
    // once, and its text is held once.
    if (decodeUtf8(bytes, &result.text)) {
        result.format.byteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
    } else {
        result.format.encoding = TextFormat::Windows1252;
        result.text.clear(); // the failed decoding goes before the new text is made
        result.text = fromCp1252(bytes);
    }
    return result;
}

QList<int> sourceOffsets(const QByteArray &raw, const DecodedText &decoded)
{
    QList<int> offsets;
    offsets.reserve(decoded.text.size());
    int b = decoded.format.byteOrderMark ? 3 : 0;
    const bool utf8 = decoded.format.encoding == TextFormat::Utf8;
    while (b < raw.size()) {
        const uchar lead = uchar(raw[b]);
        if (lead == '\r') {
            offsets << b; // a line end: CR LF or CR alone in the file
            b += b + 1 < raw.size() && raw[b + 1] == '\n' ? 2 : 1;
            continue;
        }
        int length = 1;
        if (utf8)
            length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        offsets << b;
        if (length == 4)
            offsets << b; // two UTF-16 units
        b += length;
    }
    return offsets;
}

QByteArray encodeText(const QString &text, const TextFormat &format, const QList<TextFormat::LineEnd> &lineEnds)
{
    QByteArray bytes;
    if (format.encoding != TextFormat::Windows1252 || !toCp1252(text, &bytes)) {
        bytes = text.toUtf8();
        if (format.byteOrderMark)
            bytes.prepend("\xEF\xBB\xBF");
    }
    if (lineEnds.isEmpty()) {
        if (format.lineEnd == TextFormat::CrLf)
            bytes.replace("\n", "\r\n");
        else if (format.lineEnd == TextFormat::Cr)
            bytes.replace('\n', '\r');
        return bytes;
    }
    // Both encodings write "\n" as that one byte, and no other character contains it.
    QByteArray out;
    out.reserve(bytes.size() + lineEnds.size());
    qsizetype line = 0;
    for (const char c : std::as_const(bytes)) {
        if (c != '\n') {
            out += c;
            continue;
        }
        const TextFormat::LineEnd end = line < lineEnds.size() ? lineEnds[line] : format.lineEnd;
        ++line;
        out += end == TextFormat::Lf ? "\n" : end == TextFormat::CrLf ? "\r\n" : "\r";
    }
    return out;
}

std::optional<qsizetype> firstUnencodable(const QString &text, const TextFormat &format)
{
    if (format.encoding != TextFormat::Windows1252)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (cp1252Byte(text.at(i).unicode()) < 0)
            return i;
    return std::nullopt;
}
