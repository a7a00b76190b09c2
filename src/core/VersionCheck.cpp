// The update check's evaluation.
#include "core/VersionCheck.h"

QStringList splitLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << current;
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

std::optional<qint32> parseVersionNumber(const QString &text)
{
    int i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    int base = 10;
    if (text.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (i < text.size() && (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x')
                                   || text.at(i) == QLatin1Char('X'))) {
        base = 16;
        ++i;
    }
    if (i >= text.size())
        return std::nullopt;
    quint64 n = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        n = n * quint64(base) + quint64(digit);
        if (n > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 10) {
        const qint64 v = negative ? -qint64(n) : qint64(n);
        if (v < INT32_MIN || v > INT32_MAX)
            return std::nullopt;
        return qint32(v);
    }
    // Hexadecimal fills the 32 bits: $FFFFFFFF is -1. The sign is applied in unsigned
    // arithmetic, which wraps, so that -$80000000 stays $80000000 without overflow.
    quint32 bits = quint32(n);
    if (negative)
        bits = 0u - bits;
    return qint32(bits);
}

UpdateVerdict evaluateVersionFile(const QString &text, bool cut)
{
    if (cut) {
        int ends = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && (i + 1 == text.size() || text.at(i + 1) != QLatin1Char('\n'))))
                if (++ends == 2)
                    return evaluateVersionFile(text.left(i + 1));
        }
        UpdateVerdict none;
        none.complete = false;
        return none;
    }
    const QStringList lines = splitLines(text);
    UpdateVerdict verdict;
    const auto published = parseVersionNumber(lines.value(0));
    if (!published)
        return verdict;
    verdict.readable = true;
    verdict.newer = *published > OwnVersionNumber;
    if (verdict.newer)
        verdict.message = QStringLiteral("Ihre Version von Korlith (") + OwnVersionText
                          + QStringLiteral(") ist veraltet. Die aktuelle Version ist ") + lines.value(1)
                          + QStringLiteral(".");
    return verdict;
}
