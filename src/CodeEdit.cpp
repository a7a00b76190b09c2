// TCodeEdit: the gutter follows the scrolling and marks the current line, after Qt's code editor example.
#include "CodeEdit.h"

#include "core/EditorText.h"

#include "EditorPalette.h"
#include "PhpHighlighter.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QFontDatabase>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
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
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto *help = static_cast<QHelpEvent *>(event);
            const QString text = m_editor->lineMarkAt(help->pos());
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), text, this);
            return true;
        }
        return QWidget::event(event);
    }

private:
    TCodeEdit *m_editor;
};

constexpr int kPadding = 4;

// The line end that a file had before this block.
class LineEndBefore : public QTextBlockUserData
{
public:
    explicit LineEndBefore(TextFormat::LineEnd end) : end(end) {}
    const TextFormat::LineEnd end;
};
} // namespace

TCodeEdit::TCodeEdit(QWidget *parent) : QPlainTextEdit(parent), m_gutter(new Gutter(this))
{
    m_gutter->setObjectName(QStringLiteral("LineNumbers"));
    m_colours = &EditorPalette::current();
    m_highlighter = new PhpHighlighter(document(), *m_colours);
    applyColours();
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

void TCodeEdit::setExactText(const QString &text, const QList<TextFormat::LineEnd> &lineEnds)
{
    setPlainText(toEditorForm(text));
    setLineEnds(lineEnds);
}

void TCodeEdit::setLineEnds(const QList<TextFormat::LineEnd> &lineEnds)
{
    // Each line end rides on the block after it: a break typed inside a line makes a new block
    // (its own, without one), and a deleted break takes its block's with it.
    m_lineEndsKept = !lineEnds.isEmpty();
    QTextBlock block = document()->begin().next();
    for (qsizetype i = 0; i < lineEnds.size() && block.isValid(); ++i, block = block.next())
        block.setUserData(new LineEndBefore(lineEnds[i]));
}

QList<TextFormat::LineEnd> TCodeEdit::lineEnds(TextFormat::LineEnd added) const
{
    QList<TextFormat::LineEnd> ends;
    if (!m_lineEndsKept)
        return ends;
    ends.reserve(blockCount());
    for (QTextBlock block = document()->begin().next(); block.isValid(); block = block.next()) {
        const auto *kept = static_cast<const LineEndBefore *>(block.userData());
        ends << (kept ? kept->end : added);
    }
    return ends;
}

void TCodeEdit::setLineMarks(const QList<std::tuple<int, bool, QString>> &marks)
{
    // Every run sets the marks; most leave them as they were (none). A repaint of the window
    // would hold up the page load that the run starts next.
    if (marks.isEmpty() && m_marks.isEmpty())
        return;
    m_marks.clear();
    for (const auto &[line, error, text] : marks) {
        const QTextBlock block = document()->findBlockByNumber(line - 1);
        if (!block.isValid())
            continue;
        // Several messages on one line share its tooltip.
        bool merged = false;
        for (LineMark &m : m_marks) {
            if (m.at.block() == block) {
                m.error |= error;
                m.text += QLatin1Char('\n') + text;
                merged = true;
            }
        }
        if (!merged)
            m_marks.append({QTextCursor(block), error, text});
    }
    m_gutter->update();
}

void TCodeEdit::clearLineMarks()
{
    if (m_marks.isEmpty())
        return;
    m_marks.clear();
    m_gutter->update();
}

LineShift TCodeEdit::typeKey(QKeyEvent *key)
{
    const QTextCursor before = textCursor();
    const QTextBlock first = document()->findBlock(before.selectionStart());
    LineShift shift;
    shift.firstLine = first.blockNumber() + 1;
    shift.firstColumn = before.selectionStart() - first.position();
    shift.lastLine = document()->findBlock(before.selectionEnd()).blockNumber() + 1;
    const int lines = blockCount();
    QCoreApplication::sendEvent(this, key);
    // Typed text ends where the cursor stands.
    shift.landingLine = textCursor().blockNumber() + 1;
    shift.lineDelta = blockCount() - lines;
    return shift;
}

void TCodeEdit::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && mods == Qt::NoModifier && !isReadOnly()) {
        insertLineBreak();
        return;
    }
    if (event->key() == Qt::Key_I && mods == Qt::ControlModifier && !isReadOnly()) {
        indentLines(!(event->modifiers() & Qt::ShiftModifier));
        return;
    }
    // The widget's own paste key hands an empty clipboard to code that cannot take one.
    if (event == QKeySequence::Paste && !isReadOnly()) {
        insertFromMimeData(QGuiApplication::clipboard()->mimeData());
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TCodeEdit::insertLineBreak()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = document()->findBlock(cursor.selectionStart());
    const QString line = block.text();
    const int column = cursor.selectionStart() - block.position();
    int indent = 0;
    while (indent < column && (line[indent] == QLatin1Char(' ') || line[indent] == QLatin1Char('\t')))
        ++indent;
    cursor.insertText(QLatin1Char('\n') + line.left(indent));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TCodeEdit::indentLines(bool inward)
{
    const QTextCursor caret = textCursor();
    const QTextBlock first = document()->findBlock(caret.selectionStart());
    QTextBlock last = document()->findBlock(caret.selectionEnd());
    // A selection that ends where a line starts does not take that line.
    if (last != first && caret.selectionEnd() == last.position())
        last = last.previous();
    const QString step(4, QLatin1Char(' '));
    QTextCursor edit(document());
    edit.beginEditBlock();
    for (QTextBlock block = first;; block = block.next()) {
        edit.setPosition(block.position());
        if (inward) {
            edit.insertText(step);
        } else {
            const QString text = block.text();
            int n = 0;
            if (text.startsWith(QLatin1Char('\t')))
                n = 1;
            else
                while (n < 4 && n < text.size() && text[n] == QLatin1Char(' '))
                    ++n;
            edit.setPosition(block.position() + n, QTextCursor::KeepAnchor);
            edit.removeSelectedText();
        }
        if (block == last)
            break;
    }
    edit.endEditBlock();
    // A selection goes on to cover its lines whole.
    if (caret.hasSelection()) {
        QTextCursor lines(document());
        lines.setPosition(first.position());
        lines.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        setTextCursor(lines);
    }
}

QList<std::tuple<int, bool, QString>> TCodeEdit::lineMarks() const
{
    QList<std::tuple<int, bool, QString>> out;
    for (const LineMark &m : m_marks)
        out.append({m.at.blockNumber() + 1, m.error, m.text});
    return out;
}

QString TCodeEdit::lineMarkAt(const QPoint &gutterPos) const
{
    const QTextBlock block = cursorForPosition(QPoint(0, gutterPos.y())).block();
    for (const LineMark &m : m_marks)
        if (m.at.block() == block)
            return m.text;
    return QString();
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
    // The desktop turned light or dark: the editor follows with the set for it.
    // (The widget hears of it as a change of its own palette, whose other roles follow the desktop.)
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange
        || event->type() == QEvent::ThemeChange) {
        const EditorColours *colours = &EditorPalette::current();
        if (colours != m_colours) {
            m_colours = colours;
            applyColours();
            m_highlighter->setColours(*m_colours);
        }
    }
}

void TCodeEdit::applyColours()
{
    // The text stands on the set's own background, which its colours were chosen against.
    QPalette p = palette();
    p.setColor(QPalette::Base, m_colours->background);
    p.setColor(QPalette::Text, m_colours->text);
    setPalette(p);
    highlightCurrentLine();
}

void TCodeEdit::highlightCurrentLine()
{
    QTextEdit::ExtraSelection line;
    line.format.setBackground(m_colours->currentLine);
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    setExtraSelections({line});
    m_gutter->update();
}

void TCodeEdit::paintLineNumbers(QPaintEvent *event)
{
    QPainter painter(m_gutter);
    painter.fillRect(event->rect(), m_colours->gutterBackground);
    const int current = textCursor().blockNumber();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    // Marks by line, an error above a warning on the same line.
    QHash<int, bool> marked;
    for (const LineMark &m : m_marks)
        marked[m.at.blockNumber()] |= m.error;
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            const auto mark = marked.constFind(block.blockNumber());
            if (mark != marked.constEnd()) {
                painter.fillRect(0, top, m_gutter->width(), bottom - top, *mark ? m_colours->errorMark : m_colours->warningMark);
                painter.setPen(m_colours->markedNumber);
            } else {
                painter.setPen(block.blockNumber() == current ? m_colours->gutterCurrentText : m_colours->gutterText);
            }
            painter.drawText(0, top, m_gutter->width() - kPadding, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}

// A clipboard without an owner (a fresh login, a closed program) hands paste data without a
// single format, which the widget's own insert does not survive.
bool TCodeEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source && !source->formats().isEmpty() && QPlainTextEdit::canInsertFromMimeData(source);
}

void TCodeEdit::insertFromMimeData(const QMimeData *source)
{
    if (source && !source->formats().isEmpty())
        QPlainTextEdit::insertFromMimeData(source);
}
