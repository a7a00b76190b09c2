// PrinterSurface: a printer as the listing's text surface.
#pragma once

#include "core/PrinterText.h"

#include <QPainter>

class QFont;
class QPrinter;

namespace platform {

// A printer as the device's surface: a print document from construction to finish().
class PrinterSurface : public TextSurface
{
public:
    // Starts the print document; raises "Printer selected is not valid" when it cannot.
    PrinterSurface(QPrinter &printer, const QFont &font);
    ~PrinterSurface() override;

    int pageWidth() const override;
    int pageHeight() const override;
    int textWidth(const QString &text) const override;
    int fontHeight() const override;
    int charAdvance() const override;
    void drawText(int x, int y, const QString &text) override;
    // Raises "Printer is not currently printing" when the printer takes no further page.
    void newPage() override;

    // Ends the print document and sends it; raises an error when it did not reach its place
    // (a file that could not be written, a printer in error).
    void finish();
    // Ends the print document unfinished, as the user stopped it: a file it was writing goes.
    // (Qt cannot drop a printer's document: the job is handed over and must be taken back.)
    void abandon();

private:
    QPrinter &m_printer;
    QPainter m_painter;
};

} // namespace platform
