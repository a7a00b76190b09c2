// PrinterTextDevice: the printer as a text output device, laid out line by line on pages.
#pragma once

#include <QString>

// Where the device draws: a printer through QPainter, or a recording target in the tests.
class TextSurface
{
public:
    virtual ~TextSurface() = default;
    virtual int pageWidth() const = 0;  // printable area, device units
    virtual int pageHeight() const = 0;
    virtual int textWidth(const QString &text) const = 0;
    virtual int fontHeight() const = 0;
    // The advance of one character of the (fixed-width) font: the tab stops' unit.
    virtual int charAdvance() const = 0;
    // Draws text with its top-left corner at (x, y); raises AppError when the printer fails.
    virtual void drawText(int x, int y, const QString &text) = 0;
    virtual void newPage() = 0;
};

class PrinterTextDevice
{
public:
    explicit PrinterTextDevice(TextSurface &surface);

    // Text with CR (flush), LF (next line), TAB and FF (new page).
    void write(const QString &text);
    void writeln(const QString &text = QString()) { write(text + QStringLiteral("\r\n")); }
    void close();

private:
    void flush();
    void newLine();
    void advanceLine();
    void newPage();
    void tab();
    int fitting(int room) const;

    TextSurface &m_surface;
    QString m_pending;
    qsizetype m_done = 0; // how much of m_pending is out already
    int m_x = 0;
    int m_y = 0;
    int m_lineHeight = 0; // tallest text written on the current line
};

class QFont;
class QPainter;
class QPrinter;

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
    void newPage() override;

    // Ends the print document and sends it; raises an error when it did not reach its place
    // (a file that could not be written, a printer in error).
    void finish();
    // Ends the print document unfinished, as the user stopped it: a file it was writing goes.
    // (Qt cannot drop a printer's document: the job is handed over and must be taken back.)
    void abandon();

private:
    QPrinter &m_printer;
    QPainter *m_painter;
};
