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
