// TCodeEdit: the gutter follows the scrolling and marks the current line, after Qt's code editor example.
#include "CodeEdit.h"

#include "core/EditorText.h"

#include "EditorPalette.h"
#include "PhpHighlighter.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

namespace {
class Gutter : public QWidget
{
public:
    explicit Gutter(TCodeEdit *editor) : QWidget(editor), m_editor(editor) {}
    QSize sizeHint() const override { return QSize(m_editor->lineNumberAreaWidth(), 0); }

protected:
    void paintEvent(QPaintEvent *event) override { m_editor->paintLineNumbers(event); }

private:
    TCodeEdit *m_editor;
};

constexpr int kPadding = 4;
} // namespace

TCodeEdit::TCodeEdit(QWidget *parent) : QPlainTextEdit(parent), m_gutter(new Gutter(this))
{
    m_gutter->setObjectName(QStringLiteral("LineNumbers"));
    m_highlighter = new PhpHighlighter(document());
    connect(this, &QPlainTextEdit::blockCountChanged, this, &TCodeEdit::updateGutterWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &TCodeEdit::updateGutter);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TCodeEdit::highlightCurrentLine);
    updateGutterWidth();
    highlightCurrentLine();
}

int TCodeEdit::gutterDigits(int lines)
{
    int digits = 1;
    for (int max = qMax(1, lines); max >= 10; max /= 10)
        ++digits;
    return digits;
}

QString TCodeEdit::documentText() const
{
    // toPlainText() would turn no-break spaces into blanks and line separators into breaks.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString TCodeEdit::exactText() const
{
    return fromEditorForm(documentText());
}

void TCodeEdit::setExactText(const QString &text)
{
    setPlainText(toEditorForm(text));
}

int TCodeEdit::lineNumberAreaWidth() const
{
    return 2 * kPadding + fontMetrics().horizontalAdvance(QLatin1Char('9')) * gutterDigits(blockCount());
}

void TCodeEdit::updateGutterWidth()
{
    setViewportMargins(lineNumberAreaWidth(), 0, 0, 0);
}

void TCodeEdit::updateGutter(const QRect &rect, int dy)
{
    if (dy)
        m_gutter->scroll(0, dy);
    else
        m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateGutterWidth();
}

void TCodeEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect cr = contentsRect();
    m_gutter->setGeometry(QRect(cr.left(), cr.top(), lineNumberAreaWidth(), cr.height()));
}

void TCodeEdit::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGutterWidth();
}

void TCodeEdit::highlightCurrentLine()
{
    QTextEdit::ExtraSelection line;
    line.format.setBackground(EditorPalette::currentLine());
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    setExtraSelections({line});
    m_gutter->update();
}

void TCodeEdit::paintLineNumbers(QPaintEvent *event)
{
    QPainter painter(m_gutter);
    painter.fillRect(event->rect(), EditorPalette::gutterBackground());
    const int current = textCursor().blockNumber();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(block.blockNumber() == current ? EditorPalette::gutterCurrentText() : EditorPalette::gutterText());
            painter.drawText(0, top, m_gutter->width() - kPadding, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}
