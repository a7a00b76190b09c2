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

#include "core/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

PrinterSurface::PrinterSurface(QPrinter &printer, const QFont &font) : m_printer(printer), m_painter(new QPainter)
{
    // Origin at the top-left corner of the printable area.
    m_printer.setFullPage(false);
    if (!m_painter->begin(&m_printer)) {
        delete m_painter;
        throw AppError(QStringLiteral("Printer selected is not valid"));
    }
    // The font keeps its size in points on the printer's resolution.
    m_painter->setFont(QFont(font, &m_printer));
}

PrinterSurface::~PrinterSurface()
{
    if (m_painter->isActive())
        m_painter->end();
    delete m_painter;
}

int PrinterSurface::pageWidth() const
{
    return m_printer.width();
}

int PrinterSurface::pageHeight() const
{
    return m_printer.height();
}

int PrinterSurface::textWidth(const QString &text) const
{
    return m_painter->fontMetrics().horizontalAdvance(text);
}

int PrinterSurface::fontHeight() const
{
    return m_painter->fontMetrics().height();
}

int PrinterSurface::charAdvance() const
{
    // The real advance: a fixed-width font's average width can differ from it, and the
    // columns would drift.
    return m_painter->fontMetrics().horizontalAdvance(QLatin1Char(' '));
}

void PrinterSurface::drawText(int x, int y, const QString &text)
{
    m_painter->drawText(x, y + m_painter->fontMetrics().ascent(), text);
}

void PrinterSurface::newPage()
{
    if (!m_printer.newPage())
        throw AppError(QStringLiteral("Printer is not currently printing"));
}

void PrinterSurface::abandon()
{
    if (m_painter->isActive())
        m_painter->end();
    const QString file = m_printer.outputFileName();
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !file.isEmpty())
        QFile::remove(file);
}

void PrinterSurface::finish()
{
    if (!m_painter->end() || m_printer.printerState() == QPrinter::Error)
        throw AppError(QStringLiteral("Printer is not currently printing"));
    // The PDF writer does not tell a write that failed (a full disk): the file must be whole.
    const QString file = m_printer.outputFileName();
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !file.isEmpty()) {
        QFile written(file);
        const bool whole = QFileInfo(file).isFile() && written.open(QIODevice::ReadOnly) && written.size() > 16
                           && written.seek(written.size() - 16) && written.read(16).contains("%%EOF");
        if (!whole)
            throw AppError::cannotCreateFile(file);
    }
}
