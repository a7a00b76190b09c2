// File names that are not UTF-8 keep their bytes through the program.
#include "core/FileNameCodec.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the well-formed UTF-8 sequence at bytes[i] (no overlong forms, no surrogates, at
// most U+10FFFF), or 0.
int sequenceAt(const QByteArray &bytes, qsizetype i)
{
    const auto b = [&](qsizetype k) { return uchar(bytes[k]); };
    const uchar lead = b(i);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size() || b(i + 1) < low || b(i + 1) > high)
        return 0;
    for (int k = 2; k < length; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF)
            return 0;
    return length;
}

} // namespace

QString decodeFileName(const QByteArray &bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = sequenceAt(bytes, i);
        if (length == 0) {
            name += QChar(char16_t(kEscapeBase + uchar(bytes[i])));
            ++i;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + i, length);
        i += length;
    }
    return name;
}

QByteArray encodeFileName(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype plain = 0; // start of the run of characters without escapes
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        // A low surrogate right after a high one is half of a pair, not an escape.
        if (!isEscape(c) || (i > 0 && name[i - 1].isHighSurrogate()))
            continue;
        bytes += QStringView(name).mid(plain, i - plain).toUtf8();
        bytes += char(c - kEscapeBase);
        plain = i + 1;
    }
    bytes += QStringView(name).mid(plain).toUtf8();
    return bytes;
}

QString displayFileName(const QString &name)
{
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (isEscape(shown[i].unicode()) && !(i > 0 && shown[i - 1].isHighSurrogate()))
            shown[i] = QChar::ReplacementCharacter;
    return shown;
}

QString fileNamePart(const QString &pathOrUrl)
{
    for (qsizetype i = pathOrUrl.size() - 1; i >= 0; --i) {
        const QChar c = pathOrUrl.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return pathOrUrl.mid(i + 1);
    }
    return pathOrUrl;
}
