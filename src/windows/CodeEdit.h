// TCodeEdit: the plain-text editor with a line-number gutter, a fixed-width font and colours.
#pragma once

#include <optional>

#include "core/PhpSyntax.h"
#include "core/TextCodec.h"

#include <QClipboard>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <tuple>

class PhpHighlighter;
struct EditorColours;

// The key that breaks the line: Enter or Return, also on the keypad, with or without Shift,
// and no other modifier (Ctrl+Enter is another character). The window's filter sees it first
// and runs the preview on the text as it stands; the editor then breaks the line.
bool isLineBreakKey(const QKeyEvent *event);

class TCodeEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TCodeEdit(QWidget *parent = nullptr);

    // The line-number gutter and its width for the current number of lines.
    QWidget *gutter() const;
    int gutterWidth() const;
    // Digits the gutter shows for a document of this many lines.
    static int gutterDigits(int lines);

    // A line in view as the gutter draws it: its number, its place in the viewport, its mark.
    struct GutterRow
    {
        enum Mark { NoMark, Warning, Error };
        int line; // 1-based
        int top;
        int height;
        Mark mark;
        bool current; // the caret's line
    };
    // The lines that reach between the heights fromY and toY of the viewport, top down.
    QList<GutterRow> rowsInView(int fromY, int toY) const;

    // The text as the document holds it: its lines joined by "\n", nothing rewritten (no-break
    // spaces and line separators stay). Positions in it are the editor's cursor positions.
    QString editorFormText() const;
    // The user's text exactly, as it is saved, run and printed.
    QString userText() const;
    // Line ends given (one per "\n", as a file had them) stay with the line that follows each;
    // lineEnds() gives them back, and `added` for the line breaks typed or pasted since.
    void setUserText(const QString &text, const QList<TextFormat::LineEnd> &lineEnds = {});
    QList<TextFormat::LineEnd> lineEnds(TextFormat::LineEnd added) const;
    // Puts line ends back on the lines as lineEnds() gave them (after the whole text was replaced).
    void setLineEnds(const QList<TextFormat::LineEnd> &lineEnds);

    // The text as the document holds it (its line breaks U+2029, its stand-ins: EditorText.h)
    // and its line ends as lineEnds(added) gives them, taken a slice at a time between the
    // window's events, so that a large document never holds the window up: textTaken comes
    // once the whole is in. Edits meanwhile are followed (what they touched is taken again).
    // Asked again while it goes on, the taking goes on.
    void takeText(TextFormat::LineEnd added);
    void stopTaking();
    bool isTaking() const;

    // Marks on lines of the gutter, red for errors and amber for warnings, with the message as
    // tooltip. A mark stays with its line while the text is edited.
    void setLineMarks(const QList<std::tuple<int, bool, QString>> &marks); // line (1-based), error, text
    void clearLineMarks();
    // The marked lines as they stand now: line (1-based), error, text.
    QList<std::tuple<int, bool, QString>> lineMarks() const;
    // The message of the mark at this gutter position, or nothing.
    QString lineMarkAt(const QPoint &gutterPos) const;
    // The syntax check's mark, beside a run's: one parse error, red, on its line (1-based),
    // until it is cleared. 0: none.
    void setCheckMark(int line, const QString &text);
    void clearCheckMark();
    int checkMarkLine() const;

    // The classes of a line's characters (code, string, comment, HTML...), as it is coloured.
    QList<SyntaxRange> syntaxOf(const QTextBlock &block) const;

    // Enter, with or without Shift: a line break, the new line indented as the text before the
    // caret is. Never a line separator, which PHP would read as part of the code.
    void insertLineBreak();
    // Ctrl+I and Ctrl+Shift+I: the lines of the selection (or the caret's) four blanks further
    // in or out, as one undo step.
    void indentLines(bool inward);

    // Pastes the clipboard (or the selection) at the caret once its owner has answered, without
    // holding the window meanwhile; clipboardSilent() when it does not answer.
    void pasteWhenAnswered(QClipboard::Mode mode = QClipboard::Clipboard);
    // Whether the clipboard offers text, as last asked without holding the window: the context
    // menu's Paste follows it (the widget's own menu would ask the clipboard and wait).
    void setClipboardOffersText(bool offers) { m_clipboardOffersText = offers; }
    bool clipboardOffersText() const { return m_clipboardOffersText; }

signals:
    void textTaken(const QString &heldText, const QList<TextFormat::LineEnd> &lineEnds);
    // A paste found the program that holds the clipboard not answering: nothing was pasted.
    void clipboardSilent();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    QMimeData *createMimeDataFromSelection() const override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    class LineGutter;
    void placeGutter();
    void placeGutter(int lines);
    int gutterWidth(int lines) const;
    void highlightCurrentLine();
    void applyColours();

    // A mark follows its line through edits, as cursors at the line's start and end do. A line
    // whose start and end met in a change that took lines away went with that change; its
    // start and text as they stood before tell whether a later change brings it back (undo).
    struct LineMark
    {
        QTextCursor at;  // the line's start
        QTextCursor end; // the line's end, before its break
        int start;       // as it stood after the last change
        QString line;    // its text then
        bool error;
        QString text;
    };
    struct TakenMark
    {
        QTextCursor place; // where the line went; stays there when text goes in
        int offset;        // the line's start from there, as it came back
        LineMark mark;
    };
    static LineMark markOn(const QTextBlock &block, bool error, const QString &text);
    void followMarks(int position, int removed, int added);
    void takeSlice();
    void followTaking(int position);
    struct Taking
    {
        bool active = false;
        QString text;                     // the document's first characters, as they stand
        QList<TextFormat::LineEnd> ends;  // the line ends of its first lines, as they stand
        TextFormat::LineEnd added = TextFormat::Lf;
    };
    Taking m_taking;
    QTimer m_takeNext;
    QList<LineMark> m_marks;
    std::optional<QTextCursor> m_checkMark; // at its line's start, which it follows through edits
    QString m_checkText;
    QList<TakenMark> m_taken;
    int m_blocks = 0; // the block count after the last change
    bool m_lineEndsKept = false; // blocks carry the line end before them
    bool m_gutterPlaced = false; // the gutter is sized for a text that is going in
    bool m_settingSelection = false; // a key or the mouse may set the window system's selection
    bool m_clipboardOffersText = false;
    LineGutter *m_gutter;
    int m_currentLine = -1; // the line whose number the gutter shows as current
    PhpHighlighter *m_highlighter;
    const EditorColours *m_colours; // the light or the dark set, as the desktop is
};
