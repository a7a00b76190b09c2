// TextCodec: UTF-8 or Windows-1252, LF or CR LF, remembered per document.
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

bool toCp1252(const QString &text, QByteArray *out)
{
    out->resize(text.size());
    char *d = out->data();
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            d[i] = char(c);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k) {
            if (kCp1252High[k] == c) {
                found = k;
                break;
            }
        }
        if (found < 0)
            return false;
        d[i] = char(0x80 + found);
    }
    return true;
}

// CR LF becomes LF only when every line break of the file is a CR LF: otherwise the
// conversion could not be undone on save.
bool consistentCrlf(const QByteArray &bytes)
{
    bool any = false;
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            if (i == 0 || bytes[i - 1] != '\r')
                return false;
            any = true;
        } else if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')) {
            return false;
        }
    }
    return any;
}

} // namespace

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString probe = decoder.decode(bytes);
    return !decoder.hasError();
}

DecodedText decodeText(const QByteArray &raw)
{
    DecodedText result;
    QByteArray bytes = raw;
    result.format.crlf = consistentCrlf(bytes);
    if (result.format.crlf)
        bytes.replace("\r\n", "\n");
    if (bytes.startsWith("\xEF\xBB\xBF") && isValidUtf8(bytes)) {
        result.format.byteOrderMark = true;
        bytes.remove(0, 3);
    }
    if (isValidUtf8(bytes)) {
        result.text = QString::fromUtf8(bytes);
    } else {
        result.format.encoding = TextFormat::Windows1252;
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
        if (decoded.format.crlf && lead == '\r') {
            offsets << b; // the line break, CR LF in the file
            b += 2;
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

QByteArray encodeText(const QString &text, const TextFormat &format)
{
    QByteArray bytes;
    if (format.encoding != TextFormat::Windows1252 || !toCp1252(text, &bytes)) {
        bytes = text.toUtf8();
        if (format.byteOrderMark)
            bytes.prepend("\xEF\xBB\xBF");
    }
    if (format.crlf)
        bytes.replace("\n", "\r\n");
    return bytes;
}
