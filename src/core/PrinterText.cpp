// PrinterTextDevice: CR flushes, LF advances, tabs to multiples of eight average widths,
// long text broken at a character boundary.
#include "core/PrinterText.h"

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

void PrinterTextDevice::flush()
{
    while (!m_pending.isEmpty()) {
        const int room = m_surface.pageWidth() - m_x;
        int fit = int(m_pending.size());
        while (fit > 0 && m_surface.textWidth(m_pending.left(fit)) > room)
            --fit;
        // At the start of a line at least one character goes out, however narrow the page.
        if (fit == 0 && m_x == 0)
            fit = 1;
        if (fit > 0) {
            const QString part = m_pending.left(fit);
            m_surface.drawText(m_x, m_y, part);
            m_x += m_surface.textWidth(part);
            m_lineHeight = qMax(m_lineHeight, m_surface.fontHeight());
            m_pending.remove(0, fit);
        }
        if (!m_pending.isEmpty())
            advanceLine();
    }
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
    const int t = 8 * qMax(1, m_surface.averageCharWidth());
    const int next = ((m_x + 1) / t + 1) * t;
    if (next > m_surface.pageWidth())
        advanceLine();
    else
        m_x = next;
}

#include "core/AppError.h"

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

int PrinterSurface::averageCharWidth() const
{
    return m_painter->fontMetrics().averageCharWidth();
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

void PrinterSurface::finish()
{
    if (!m_painter->end())
        throw AppError(QStringLiteral("Printer is not currently printing"));
}
