// TCodeEdit: the plain-text editor with a line-number gutter, a fixed-width font and colours.
#pragma once

#include <QPlainTextEdit>

class PhpHighlighter;

class TCodeEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TCodeEdit(QWidget *parent = nullptr);

    // Width of the gutter for the current number of lines.
    int lineNumberAreaWidth() const;
    // Digits the gutter shows for a document of this many lines.
    static int gutterDigits(int lines);

    // The text as the document holds it: its lines joined by "\n", nothing rewritten (no-break
    // spaces and line separators stay). Positions in it are the editor's cursor positions.
    QString documentText() const;
    // The user's text exactly, as it is saved, run and printed.
    QString exactText() const;
    void setExactText(const QString &text);

    QWidget *lineNumberArea() const { return m_gutter; }
    void paintLineNumbers(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateGutterWidth();
    void updateGutter(const QRect &rect, int dy);
    void highlightCurrentLine();

    QWidget *m_gutter;
    PhpHighlighter *m_highlighter;
};
