// PhpHighlighter: colours PHP inside HTML in the lines the editor shows. Every line's end state
// is kept current in its block's state as the text changes (a cheap pass over the lines an edit
// touches); a line's colours are made only when it comes into view, so that a large document
// costs neither a text layout nor a list of formats for each of its lines. A long line gets
// colours only around the columns in view: each coloured stretch is a text item of its own that
// Qt shapes at every layout of the line, and a key in a line of 20,000 characters lays it out.
#pragma once

#include "core/PhpSyntax.h"

struct EditorColours;

#include <QHash>
#include <QObject>
#include <QPlainTextDocumentLayout>
#include <QRectF>
#include <QTextCharFormat>

#include <vector>

class QTextBlock;
class QTextDocument;

// The editor's document layout. A line's new colours drop its layout; it is laid out again when
// it is next measured or drawn, once. (The plain layout would lay it out twice at once, on being
// told of the change, and the colours of a screenful of lines coming into view cost three
// layouts each.)
class PhpColourLayout : public QPlainTextDocumentLayout
{
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;
    // The document notes a change of the line's formats until it is told; told by the document's
    // ordinary way, it would report the line as changed with the next edit.
    void coloursChanged(const QTextBlock &block);

protected:
    void documentChanged(int from, int removed, int added) override;

private:
    int m_colouredFrom = -1;
    int m_colouredLength = 0;
};

class PhpHighlighter : public QObject
{
    Q_OBJECT
public:
    PhpHighlighter(QTextDocument *document, const EditorColours &colours);
    // Every line is coloured anew in these colours as it is shown.
    void setColours(const EditorColours &colours);
    // Gives a line the colours of its text and of the state it starts in, unless it has them.
    // The editor calls it for the lines in view before it paints them, with the part of the
    // line's layout that the view shows (in the layout's coordinates).
    void colour(const QTextBlock &block, const QRectF &shown);
    // The classes of a line's characters, as its colours show them.
    QList<SyntaxRange> classify(const QTextBlock &block);

signals:
    // Lines other than the edited ones (those after an opened comment, or all after a change of
    // colours) need their colours anew; the editor repaints what it shows.
    void recolourNeeded();

private:
    void takeColours(const EditorColours &colours);
    void textChanged(int position, int removed, int added);
    // Brings the end states up to date from `block` on, through the block numbered `last` and
    // further while a line's end state changes.
    void restate(QTextBlock block, int number, int last);
    // The line's formats from its classes' ranges, for its columns [from, to); false when it
    // had them already.
    bool applyFormats(const QTextBlock &block, const QList<SyntaxRange> &ranges, int from, int to);

    // A long line's coloured columns, and the view they were chosen for.
    struct Stretch
    {
        QRectF shown;
        int from, to;
    };

    QTextDocument *m_document;
    PhpSyntax m_syntax;
    QList<SyntaxRange> m_ranges;
    QList<SyntaxRange> m_firstRanges; // of the first line the last edit restated
    QTextCharFormat m_formats[int(SyntaxKind::Count)];
    bool m_plain[int(SyntaxKind::Count)]; // text and code outside all classes keep the default format
    // One per block, in order: its colours are current.
    std::vector<bool> m_coloured;
    // By block number, for the coloured long lines; dropped when lines come or go.
    QHash<int, Stretch> m_stretches;
};
