// TCodeEdit: line ends kept per line, marks that move with their lines, the line-number gutter.
#include "CodeEdit.h"

#include "core/EditorText.h"
#include "platform/ClipboardAnswer.h"

#include "EditorPalette.h"
#include "PhpHighlighter.h"

#include <climits>

#include <QClipboard>
#include <QElapsedTimer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QFontDatabase>
#include <QHash>
#include <QHelpEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QToolTip>
#include <QPainter>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QtMath>

namespace {
// Blank space on either side of the widest line number.
constexpr int kNumberMargin = 4;

// The selected text as the user's text, made only when another program asks for it. The
// cursor follows the edits; when the document is gone, nothing is selected.
class SelectionText : public QMimeData
{
public:
    explicit SelectionText(const QTextCursor &selection) : m_selection(selection) {}

    static QString userText(const QTextCursor &selection)
    {
        QString held = selection.selectedText();
        held.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        return fromEditorForm(held);
    }

    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString &mimeType) const override { return mimeType == QLatin1String("text/plain"); }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        return hasFormat(mimeType) ? QVariant(userText(m_selection)) : QVariant();
    }

private:
    QTextCursor m_selection;
};

// The line end that a file had before this block.
class LineEndBefore : public QTextBlockUserData
{
public:
    explicit LineEndBefore(TextFormat::LineEnd end) : end(end) {}
    const TextFormat::LineEnd end;
};
} // namespace

// The line numbers to the left of the text. It draws what the editor reports as in view and
// shows a mark's message as its tooltip; the editor keeps it placed and sized.
class TCodeEdit::LineGutter : public QWidget
{
public:
    explicit LineGutter(TCodeEdit *editor) : QWidget(editor), m_editor(editor)
    {
        setObjectName(QStringLiteral("LineNumbers"));
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const EditorColours &colours = *m_editor->m_colours;
        QPainter painter(this);
        painter.fillRect(event->rect(), colours.gutterBackground);
        const int numberHeight = fontMetrics().height();
        const int numberRight = width() - kNumberMargin;
        for (const GutterRow &row : m_editor->rowsInView(event->rect().top(), event->rect().bottom())) {
            if (row.mark == GutterRow::NoMark) {
                painter.setPen(row.current ? colours.gutterCurrentText : colours.gutterText);
            } else {
                painter.fillRect(0, row.top, width(), row.height,
                                 row.mark == GutterRow::Error ? colours.errorMark : colours.warningMark);
                painter.setPen(colours.markedNumber);
            }
            painter.drawText(QRect(0, row.top, numberRight, numberHeight), Qt::AlignRight | Qt::AlignTop,
                             QString::number(row.line));
        }
    }

    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip)
            return QWidget::event(event);
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString message = m_editor->lineMarkAt(help->pos());
        if (message.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), message, this);
        return true;
    }

private:
    TCodeEdit *m_editor;
};

TCodeEdit::TCodeEdit(QWidget *parent) : QPlainTextEdit(parent), m_gutter(new LineGutter(this))
{
    // A document of the editor's own whose layout lays a line out once for its colours.
    auto *text = new QTextDocument(this);
    text->setDocumentLayout(new PhpColourLayout(text));
    setDocument(text);
    // Code reads left to right whatever letters a line starts with. Saying so also keeps Qt from
    // asking the input method which way an empty line runs: its Wayland text input crashes on
    // that question where the compositor offers no seat.
    QTextOption leftToRight = document()->defaultTextOption();
    leftToRight.setTextDirection(Qt::LeftToRight);
    document()->setDefaultTextOption(leftToRight);
    m_colours = &EditorPalette::current();
    m_highlighter = new PhpHighlighter(document(), *m_colours);
    connect(m_highlighter, &PhpHighlighter::recolourNeeded, viewport(), qOverload<>(&QWidget::update));
    applyColours();
    // More lines may need another digit; scrolling and edits repaint the rows they touch.
    connect(this, &QPlainTextEdit::blockCountChanged, this, qOverload<>(&TCodeEdit::placeGutter));
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &changed, int scrolledBy) {
        // Scrolled: the numbers move with the text, and only the rows that come into view are drawn.
        if (scrolledBy != 0)
            m_gutter->scroll(0, scrolledBy);
        else
            m_gutter->update(0, changed.y(), m_gutter->width(), changed.height());
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TCodeEdit::highlightCurrentLine);
    connect(document(), &QTextDocument::contentsChange, this, &TCodeEdit::followMarks);
    connect(document(), &QTextDocument::contentsChange, this, [this](int position) { followTaking(position); });
    m_takeNext.setSingleShot(true);
    m_takeNext.setInterval(0);
    connect(&m_takeNext, &QTimer::timeout, this, &TCodeEdit::takeSlice);
    placeGutter();
    highlightCurrentLine();
}

int TCodeEdit::gutterDigits(int lines)
{
    int digits = 1;
    for (int max = qMax(1, lines); max >= 10; max /= 10)
        ++digits;
    return digits;
}

QString TCodeEdit::editorFormText() const
{
    // toPlainText() would turn no-break spaces into blanks and line separators into breaks.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString TCodeEdit::userText() const
{
    return fromEditorForm(editorFormText());
}

void TCodeEdit::setUserText(const QString &text, const QList<TextFormat::LineEnd> &lineEnds)
{
    // The gutter takes the width for the new text's lines before the text goes in: a change of
    // the text area's width lays out every line anew and gives each a text layout of its own.
    // The old text goes first, or its lines would be laid out anew. (Emptying the document and
    // each resize place the gutter for the lines there are: both would narrow it meanwhile.)
    {
        const QScopedValueRollback<bool> placed(m_gutterPlaced, true);
        clear();
        placeGutter(int(qMin<qsizetype>(text.count(QLatin1Char('\n')) + 1, INT_MAX)));
        // Into the emptied document as it is: the widget's own setPlainText() would then give
        // every line the format it already has, a second pass over the whole text. Nothing of
        // it is an edit to undo.
        QTextDocument *doc = document();
        const bool undo = doc->isUndoRedoEnabled();
        doc->setUndoRedoEnabled(false);
        QTextCursor(doc).insertText(toEditorForm(text));
        doc->setUndoRedoEnabled(undo);
        doc->setModified(false);
    }
    placeGutter();
    setTextCursor(QTextCursor(document()));
    setLineEnds(lineEnds);
}

void TCodeEdit::setLineEnds(const QList<TextFormat::LineEnd> &lineEnds)
{
    // Each line end rides on the block after it: a break typed inside a line makes a new block
    // (its own, without one), and a deleted break takes its block's with it.
    m_lineEndsKept = !lineEnds.isEmpty();
    m_taking.ends.clear();
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

void TCodeEdit::takeText(TextFormat::LineEnd added)
{
    if (m_taking.active)
        return;
    m_taking = Taking{true, {}, {}, added};
    m_taking.text.reserve(document()->characterCount());
    takeSlice();
}

void TCodeEdit::stopTaking()
{
    m_takeNext.stop();
    m_taking = {};
}

bool TCodeEdit::isTaking() const
{
    return m_taking.active;
}

void TCodeEdit::followTaking(int position)
{
    // What comes before an edit stands as it was; from the edit on it is taken again. A line
    // end rides on the line after its break: the lines up to the edit's keep theirs.
    if (!m_taking.active)
        return;
    if (position < m_taking.text.size())
        m_taking.text.truncate(position);
    const int line = document()->findBlock(position).blockNumber();
    if (m_taking.ends.size() > line - 1)
        m_taking.ends.resize(qMax(0, line - 1));
}

void TCodeEdit::takeSlice()
{
    // A few milliseconds of each turn of the event loop: a key waits no longer than that.
    constexpr qint64 kSliceNs = 3'000'000;
    constexpr int kChars = 1 << 18;
    QElapsedTimer spent;
    spent.start();
    QTextDocument *doc = document();
    const int length = doc->characterCount() - 1; // the last line has no break
    do {
        if (m_taking.text.size() < length) {
            QTextCursor range(doc);
            range.setPosition(int(m_taking.text.size()));
            range.setPosition(qMin(length, int(m_taking.text.size()) + kChars), QTextCursor::KeepAnchor);
            m_taking.text += range.selectedText();
        }
        // The line ends of the lines that start in what is taken.
        if (m_lineEndsKept) {
            const int last = doc->findBlock(int(m_taking.text.size())).blockNumber();
            int number = int(m_taking.ends.size()) + 1;
            QTextBlock block = doc->findBlockByNumber(number);
            for (; block.isValid() && number <= last; block = block.next(), ++number) {
                const auto *kept = static_cast<const LineEndBefore *>(block.userData());
                m_taking.ends << (kept ? kept->end : m_taking.added);
            }
        }
        if (m_taking.text.size() == length) {
            Taking whole = std::exchange(m_taking, {});
            emit textTaken(whole.text, whole.ends);
            return;
        }
    } while (spent.nsecsElapsed() < kSliceNs);
    m_takeNext.start();
}

void TCodeEdit::setLineMarks(const QList<std::tuple<int, bool, QString>> &marks)
{
    // Every run sets the marks; most leave them as they were (none). A repaint of the window
    // would hold up the page load that the run starts next.
    if (marks.isEmpty() && m_marks.isEmpty())
        return;
    m_marks.clear();
    m_taken.clear();
    for (const auto &[line, error, text] : marks) {
        const QTextBlock block = document()->findBlockByNumber(line - 1);
        if (!block.isValid())
            continue;
        // Several messages on one line share its tooltip.
        bool merged = false;
        for (LineMark &m : m_marks) {
            if (m.start == block.position()) {
                m.error |= error;
                m.text += QLatin1Char('\n') + text;
                merged = true;
            }
        }
        if (!merged)
            m_marks.append(markOn(block, error, text));
    }
    m_blocks = blockCount();
    m_gutter->update();
}

void TCodeEdit::clearLineMarks()
{
    m_taken.clear();
    if (m_marks.isEmpty())
        return;
    m_marks.clear();
    m_gutter->update();
}

TCodeEdit::LineMark TCodeEdit::markOn(const QTextBlock &block, bool error, const QString &text)
{
    QTextCursor at(block);
    QTextCursor end(block);
    end.movePosition(QTextCursor::EndOfBlock);
    return {at, end, block.position(), block.text(), error, text};
}

void TCodeEdit::followMarks(int position, int removed, int added)
{
    if (m_marks.isEmpty() && m_taken.isEmpty())
        return;
    const int blocks = blockCount();
    const bool linesWent = blocks < m_blocks;
    const bool linesCame = blocks > m_blocks;
    m_blocks = blocks;
    QList<TakenMark> taken;
    QList<LineMark> kept;
    for (LineMark m : std::as_const(m_marks)) {
        if (linesWent && m.at.position() == m.end.position() && removed > 0 && position <= m.start) {
            // The whole line went: its mark goes with it, until the line comes back.
            QTextCursor place(document());
            place.setPosition(m.at.position());
            place.setKeepPositionOnInsert(true);
            taken.append({place, m.start - position, m});
            continue;
        }
        // Only a line the change touched is read again.
        const QTextBlock block = m.at.block();
        if (block.position() <= position + added && position <= block.position() + block.length()) {
            m = markOn(block, m.error, m.text);
        } else {
            m.start = block.position();
        }
        kept.append(m);
    }
    // A line that comes back where it went, as it was (undo), brings its mark back.
    for (const TakenMark &t : std::as_const(m_taken)) {
        const QTextBlock block = document()->findBlock(t.place.position() + t.offset);
        if (linesCame && position == t.place.position() && block.position() == position + t.offset
            && block.text() == t.mark.line)
            kept.append(markOn(block, t.mark.error, t.mark.text));
        else
            taken.append(t);
    }
    m_marks = kept;
    m_taken = taken;
    m_gutter->update();
}

bool isLineBreakKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier;
}

void TCodeEdit::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (isLineBreakKey(event) && !isReadOnly()) {
        insertLineBreak();
        return;
    }
    if (event->key() == Qt::Key_I && mods == Qt::ControlModifier && !isReadOnly()) {
        indentLines(!(event->modifiers() & Qt::ShiftModifier));
        return;
    }
    // The widget's own paste key hands an empty clipboard to code that cannot take one.
    if (event == QKeySequence::Paste && !isReadOnly()) {
        pasteWhenAnswered();
        event->accept();
        return;
    }
    // Other keys that copy hand over the text as it is now; the rest may set the selection.
    const bool copies = event == QKeySequence::Copy || event == QKeySequence::Cut;
    const QScopedValueRollback<bool> selecting(m_settingSelection, !copies);
    QPlainTextEdit::keyPressEvent(event);
}

QList<SyntaxRange> TCodeEdit::syntaxOf(const QTextBlock &block) const
{
    return m_highlighter->classify(block);
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
    QStringList texts;
    for (const LineMark &m : m_marks)
        if (m.at.block() == block)
            texts << m.text;
    if (m_checkMark && m_checkMark->block() == block && !texts.contains(m_checkText))
        texts << m_checkText;
    return texts.join(QLatin1Char('\n'));
}

void TCodeEdit::setCheckMark(int line, const QString &text)
{
    const QTextBlock block = document()->findBlockByNumber(line - 1);
    if (!block.isValid()) {
        clearCheckMark();
        return;
    }
    if (m_checkMark && m_checkMark->position() == block.position() && m_checkText == text)
        return;
    m_checkMark = QTextCursor(block);
    m_checkText = text;
    m_gutter->update();
}

void TCodeEdit::clearCheckMark()
{
    if (!m_checkMark)
        return;
    m_checkMark.reset();
    m_checkText.clear();
    m_gutter->update();
}

int TCodeEdit::checkMarkLine() const
{
    return m_checkMark ? m_checkMark->blockNumber() + 1 : 0;
}

QWidget *TCodeEdit::gutter() const
{
    return m_gutter;
}

int TCodeEdit::gutterWidth() const
{
    return gutterWidth(blockCount());
}

int TCodeEdit::gutterWidth(int lines) const
{
    // Each digit as wide as a nine, the widest in most fonts.
    return gutterDigits(lines) * fontMetrics().horizontalAdvance(QLatin1Char('9')) + 2 * kNumberMargin;
}

void TCodeEdit::placeGutter()
{
    if (!m_gutterPlaced)
        placeGutter(blockCount());
}

void TCodeEdit::placeGutter(int lines)
{
    // The text starts right of the gutter, which fills the margin left for it.
    const int width = gutterWidth(lines);
    if (viewportMargins().left() != width)
        setViewportMargins(width, 0, 0, 0);
    const QRect frame = contentsRect();
    m_gutter->setGeometry(frame.left(), frame.top(), width, frame.height());
}

QList<TCodeEdit::GutterRow> TCodeEdit::rowsInView(int fromY, int toY) const
{
    QHash<int, GutterRow::Mark> marks; // by block; an error outranks a warning
    for (const LineMark &m : m_marks) {
        GutterRow::Mark &mark = marks[m.at.blockNumber()];
        if (m.error || mark == GutterRow::NoMark)
            mark = m.error ? GutterRow::Error : GutterRow::Warning;
    }
    if (m_checkMark)
        marks[m_checkMark->blockNumber()] = GutterRow::Error;
    const int current = textCursor().blockNumber();
    const QPointF offset = contentOffset();
    QList<GutterRow> rows;
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF box = blockBoundingGeometry(block).translated(offset);
        if (box.top() > toY)
            break;
        if (!block.isVisible() || box.bottom() < fromY)
            continue;
        const int n = block.blockNumber();
        rows.append({n + 1, qRound(box.top()), qRound(box.height()), marks.value(n, GutterRow::NoMark), n == current});
    }
    return rows;
}

void TCodeEdit::paintEvent(QPaintEvent *event)
{
    // The lines in view get their colours before the widget lays them out to paint them.
    const qreal bottom = viewport()->height();
    const qreal left = -contentOffset().x();
    qreal top = contentOffset().y();
    for (QTextBlock block = firstVisibleBlock(); block.isValid() && top < bottom; block = block.next()) {
        m_highlighter->colour(block, QRectF(left, -top, viewport()->width(), bottom));
        top += blockBoundingRect(block).height();
    }
    QPlainTextEdit::paintEvent(event);
}

void TCodeEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    placeGutter();
}

void TCodeEdit::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        placeGutter();
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
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const bool active = group == QPalette::Active;
        p.setColor(group, QPalette::Highlight, active ? m_colours->selection : m_colours->inactiveSelection);
        p.setColor(group, QPalette::HighlightedText, active ? m_colours->selectedText : m_colours->inactiveSelectedText);
    }
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
    // The current line's number has a colour of its own: its row and the one it left are drawn.
    const int current = textCursor().blockNumber();
    for (const int number : {m_currentLine, current}) {
        const QTextBlock block = document()->findBlockByNumber(number);
        if (block.isValid()) {
            const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
            m_gutter->update(0, qFloor(box.top()), m_gutter->width(), qCeil(box.height()) + 1);
        }
    }
    m_currentLine = current;
}

// Copy, cut, drag and the X11 selection (set by every Ctrl+A and Shift+arrow) get the selected
// text as the user's text, and only text: the widget's own copy is a rich-text fragment of the
// selection, whose making walks every block's layout (a second for Ctrl+A in 10 MB), and it
// would hand out the editor's stand-ins instead of the characters they hold.
QMimeData *TCodeEdit::createMimeDataFromSelection() const
{
    // The window system's selection follows the selection as it stands when another program
    // asks for it (an X11 selection is the owner's current one): nothing is copied per key.
    if (m_settingSelection)
        return new SelectionText(textCursor());
    auto *data = new QMimeData;
    data->setText(SelectionText::userText(textCursor()));
    return data;
}

void TCodeEdit::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the selection where it is released, once its owner answers.
    if (event->button() == Qt::MiddleButton && !isReadOnly() && QGuiApplication::clipboard()->supportsSelection()) {
        setTextCursor(cursorForPosition(event->position().toPoint()));
        pasteWhenAnswered(QClipboard::Selection);
        event->accept();
        return;
    }
    const QScopedValueRollback<bool> selecting(m_settingSelection, true);
    QPlainTextEdit::mouseReleaseEvent(event);
}

void TCodeEdit::pasteWhenAnswered(QClipboard::Mode mode)
{
    platform::whenClipboardAnswers(this, mode, [this, mode](platform::ClipboardAnswer answer) {
        if (!answer.answered) {
            emit clipboardSilent();
            return;
        }
        if (isReadOnly())
            return;
        // The text the owner sent to the asking thread; read by Qt, the owner could still make
        // the window wait.
        if (answer.fetched) {
            QMimeData sent;
            sent.setText(answer.text);
            insertFromMimeData(&sent);
            return;
        }
        insertFromMimeData(QGuiApplication::clipboard()->mimeData(mode));
    }, true);
}

// The widget's own menu, in Qt's own words, but Paste as the paste key does it: the widget
// would read the clipboard to enable its entry and to paste, and wait for an owner that does
// not answer.
void TCodeEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("EditorMenu"));
    const bool writable = !isReadOnly();
    const bool selected = textCursor().hasSelection();
    auto entry = [&](const char *text, QKeySequence::StandardKey key, bool enabled, auto run) {
        QString caption = QCoreApplication::translate("QWidgetTextControl", text);
        const QString keys = QKeySequence(key).toString(QKeySequence::NativeText);
        if (!keys.isEmpty())
            caption += QLatin1Char('\t') + keys;
        QAction *action = menu.addAction(caption, this, run);
        action->setEnabled(enabled);
        return action;
    };
    entry("&Undo", QKeySequence::Undo, writable && document()->isUndoAvailable(), [this] { undo(); });
    entry("&Redo", QKeySequence::Redo, writable && document()->isRedoAvailable(), [this] { redo(); });
    menu.addSeparator();
    entry("Cu&t", QKeySequence::Cut, writable && selected, [this] { cut(); });
    entry("&Copy", QKeySequence::Copy, selected, [this] { copy(); });
    entry("&Paste", QKeySequence::Paste, writable && m_clipboardOffersText, [this] { pasteWhenAnswered(); })
        ->setObjectName(QStringLiteral("EditorPaste"));
    entry("Delete", QKeySequence::UnknownKey, writable && selected, [this] { textCursor().removeSelectedText(); });
    menu.addSeparator();
    entry("Select All", QKeySequence::SelectAll, !document()->isEmpty(), [this] { selectAll(); });
    menu.exec(event->globalPos());
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
