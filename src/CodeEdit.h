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
