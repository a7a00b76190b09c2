// PrinterTextDevice: CR flushes, LF advances, tabs to multiples of eight character advances,
// long text broken at a character boundary.
#include "core/PrinterText.h"

#include <algorithm>

PrinterTextDevice::PrinterTextDevice(TextSurface &surface) : m_surface(surface) {}

void PrinterTextDevice::write(const QString &text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\r':
            flush();
            break;
        case '\n':
            newLine();
            break;
        case '\t':
            tab();
            break;
        case '\f':
            flush();
            newPage();
            break;
        default:
            m_pending += c;
        }
    }
}

void PrinterTextDevice::close()
{
    flush();
}

// How many characters of the rest of the pending text fit into room: the longest prefix that
// fits, found by doubling and then halving, so that only prefixes up to twice the answer are
// measured and a long line costs time in proportion to its length.
int PrinterTextDevice::fitting(int room) const
{
    const qsizetype rest = m_pending.size() - m_done;
    auto fits = [&](qsizetype n) { return m_surface.textWidth(m_pending.mid(m_done, n)) <= room; };
    // Most lines of a listing are short and fit whole: one measurement.
    if (rest <= 512 && fits(rest))
        return int(rest);
    qsizetype low = 0, high = 1;
    while (high <= rest && fits(high)) {
        low = high;
        high *= 2;
    }
    high = std::min(high, rest + 1); // the first length known not to fit, or one past the end
    while (high - low > 1) {
        const qsizetype mid = low + (high - low) / 2;
        (fits(mid) ? low : high) = mid;
    }
    return int(low);
}

void PrinterTextDevice::flush()
{
    while (m_done < m_pending.size()) {
        int fit = fitting(m_surface.pageWidth() - m_x);
        // At the start of a line at least one character goes out, however narrow the page.
        if (fit == 0 && m_x == 0)
            fit = 1;
        if (fit > 0) {
            const QString part = m_pending.mid(m_done, fit);
            m_surface.drawText(m_x, m_y, part);
            m_x += m_surface.textWidth(part);
            m_lineHeight = qMax(m_lineHeight, m_surface.fontHeight());
            m_done += fit;
        }
        if (m_done < m_pending.size())
            advanceLine();
    }
    m_pending.clear();
    m_done = 0;
}

void PrinterTextDevice::newLine()
{
    flush();
    advanceLine();
}

void PrinterTextDevice::advanceLine()
{
    const int advance = m_lineHeight > 0 ? m_lineHeight + 2 : m_surface.fontHeight();
    m_x = 0;
    m_y += advance;
    m_lineHeight = 0;
    if (m_y > m_surface.pageHeight() - 2 * advance)
        newPage();
}

void PrinterTextDevice::newPage()
{
    m_surface.newPage();
    m_x = 0;
    m_y = 0;
    m_lineHeight = 0;
}

void PrinterTextDevice::tab()
{
    flush();
    const int t = 8 * qMax(1, m_surface.charAdvance());
    const int next = ((m_x + 1) / t + 1) * t;
    if (next > m_surface.pageWidth())
        advanceLine();
    else
        m_x = next;
}
