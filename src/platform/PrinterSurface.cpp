// PrinterSurface: the listing drawn with QPainter on a QPrinter.
#include "platform/PrinterSurface.h"

#include "core/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPrinter>

namespace platform {

PrinterSurface::PrinterSurface(QPrinter &printer, const QFont &font) : m_printer(printer)
{
    // Origin at the top-left corner of the printable area.
    m_printer.setFullPage(false);
    if (!m_painter.begin(&m_printer))
        throw AppError(QStringLiteral("Printer selected is not valid"));
    // The font keeps its size in points on the printer's resolution.
    m_painter.setFont(QFont(font, &m_printer));
}

PrinterSurface::~PrinterSurface()
{
    if (m_painter.isActive())
        m_painter.end();
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
    return m_painter.fontMetrics().horizontalAdvance(text);
}

int PrinterSurface::fontHeight() const
{
    return m_painter.fontMetrics().height();
}

int PrinterSurface::charAdvance() const
{
    // The real advance: a fixed-width font's average width can differ from it, and the
    // columns would drift.
    return m_painter.fontMetrics().horizontalAdvance(QLatin1Char(' '));
}

void PrinterSurface::drawText(int x, int y, const QString &text)
{
    m_painter.drawText(x, y + m_painter.fontMetrics().ascent(), text);
}

void PrinterSurface::newPage()
{
    if (!m_printer.newPage())
        throw AppError(QStringLiteral("Printer is not currently printing"));
}

void PrinterSurface::abandon()
{
    if (m_painter.isActive())
        m_painter.end();
    const QString file = m_printer.outputFileName();
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !file.isEmpty())
        QFile::remove(file);
}

void PrinterSurface::finish()
{
    if (!m_painter.end() || m_printer.printerState() == QPrinter::Error)
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

} // namespace platform
