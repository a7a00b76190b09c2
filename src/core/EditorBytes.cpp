// The held text's stand-ins, line breaks and UTF-8 in one walk. Most of a script is ASCII
// without a break: eight characters of it are checked and narrowed at a time.
#include "core/EditorBytes.h"

#include "core/EditorText.h"

#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

char *putUtf8(char *d, char32_t c)
{
    if (c < 0x80) {
        *d++ = char(c);
    } else if (c < 0x800) {
        *d++ = char(0xC0 | (c >> 6));
        *d++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *d++ = char(0xE0 | (c >> 12));
        *d++ = char(0x80 | ((c >> 6) & 0x3F));
        *d++ = char(0x80 | (c & 0x3F));
    } else {
        *d++ = char(0xF0 | (c >> 18));
        *d++ = char(0x80 | ((c >> 12) & 0x3F));
        *d++ = char(0x80 | ((c >> 6) & 0x3F));
        *d++ = char(0x80 | (c & 0x3F));
    }
    return d;
}

// Eight characters at s, when all are ASCII and none is a line break, as bytes at d.
bool putPlainEight(const char16_t *s, char *d)
{
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(short(0xFF80))), _mm_setzero_si128());
    const __m128i breaks = _mm_cmpeq_epi16(v, _mm_set1_epi16('\n'));
    if (_mm_movemask_epi8(_mm_andnot_si128(breaks, ascii)) != 0xFFFF)
        return false;
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), _mm_packus_epi16(v, v));
    return true;
#else
    for (int k = 0; k < 8; ++k)
        if (s[k] >= 0x80 || s[k] == '\n')
            return false;
    for (int k = 0; k < 8; ++k)
        d[k] = char(s[k]);
    return true;
#endif
}

} // namespace

EditorBytes::EditorBytes(QString held, const TextFormat &format, QList<TextFormat::LineEnd> lineEnds,
                         qsizetype pieceBytes)
    : m_held(std::move(held)), m_format(format), m_lineEnds(std::move(lineEnds)), m_pieceBytes(qMax<qsizetype>(pieceBytes, 16)),
      m_markDue(format.byteOrderMark && format.encoding == TextFormat::Utf8)
{
}

QByteArrayView EditorBytes::next()
{
    if (!m_started) {
        m_started = true;
        // Windows-1252 may not hold the text (then it is written as UTF-8, whole): known only
        // at its end. Such files are old scripts, not large ones.
        if (m_format.encoding == TextFormat::Windows1252) {
            m_piece = encodeText(fromEditorForm(m_held.replace(QChar::ParagraphSeparator, QLatin1Char('\n'))), m_format,
                                 m_lineEnds);
            m_at = m_held.size();
            return m_piece;
        }
    }
    if (m_at >= m_held.size() && !m_markDue) {
        m_piece.clear();
        return {};
    }
    fill();
    return m_piece;
}

QByteArray EditorBytes::rest()
{
    QByteArray all;
    for (QByteArrayView piece = next(); !piece.isEmpty(); piece = next())
        all += piece;
    return all;
}

void EditorBytes::fill()
{
    // Every step writes at most four bytes (a line end two, an escaped stand-in three, a pair of
    // surrogates four); eight at a time in the plain run.
    m_piece.resize(qMax(m_piece.size(), m_pieceBytes + 3));
    char *const begin = m_piece.data();
    char *d = begin;
    if (m_markDue) {
        m_markDue = false;
        *d++ = '\xEF';
        *d++ = '\xBB';
        *d++ = '\xBF';
    }
    char *const full = begin + m_piece.size() - 8;
    const char16_t *const s = reinterpret_cast<const char16_t *>(m_held.constData());
    const qsizetype n = m_held.size();
    qsizetype i = m_at;
    while (i < n && d <= full) {
        if (i + 8 <= n && putPlainEight(s + i, d)) {
            i += 8;
            d += 8;
            continue;
        }
        const char16_t c = s[i++];
        if (c < 0x80 && c != '\n') {
            *d++ = char(c);
        } else if (c == '\n' || c == 0x2029) {
            const TextFormat::LineEnd end = m_line < m_lineEnds.size() ? m_lineEnds[m_line] : m_format.lineEnd;
            ++m_line;
            if (end != TextFormat::Lf)
                *d++ = '\r';
            if (end != TextFormat::Cr)
                *d++ = '\n';
        } else if (c == EditorEscape && i < n && (s[i] == EditorEscape || heldByStandIn(s[i]))) {
            d = putUtf8(d, s[i++]); // the escape or a stand-in itself
        } else if (const char16_t h = heldByStandIn(c)) {
            d = putUtf8(d, h);
        } else if (QChar::isHighSurrogate(c) && i < n && QChar::isLowSurrogate(s[i])) {
            d = putUtf8(d, QChar::surrogateToUcs4(c, s[i++]));
        } else if (QChar::isSurrogate(c)) {
            *d++ = '?'; // as Qt's UTF-8 writes a surrogate without its other half
        } else {
            d = putUtf8(d, c);
        }
    }
    m_at = i;
    m_piece.resize(d - begin);
}
