// PhpHighlighter: states for every line, colours for the lines in view.
#include "PhpHighlighter.h"

#include "EditorPalette.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {
// Lines up to this length are coloured whole; a longer one around its columns in view, in steps
// of a stretch, with a stretch to spare on either side (the view may move by a few columns
// without a new layout).
constexpr int kWholeLine = 2048;
constexpr int kStretch = 512;
} // namespace

PhpHighlighter::PhpHighlighter(QTextDocument *document, const EditorColours &colours)
    : QObject(document), m_document(document), m_coloured(size_t(document->blockCount()), false)
{
    takeColours(colours);
    connect(document, &QTextDocument::contentsChange, this, &PhpHighlighter::textChanged);
    restate(document->firstBlock(), 0, document->blockCount() - 1);
}

void PhpHighlighter::takeColours(const EditorColours &colours)
{
    for (int k = 0; k < int(SyntaxKind::Count); ++k) {
        m_formats[k] = EditorPalette::format(colours, SyntaxKind(k));
        m_plain[k] = m_formats[k].properties().isEmpty();
    }
}

void PhpHighlighter::setColours(const EditorColours &colours)
{
    takeColours(colours);
    m_coloured.assign(m_coloured.size(), false);
    emit recolourNeeded();
}

void PhpHighlighter::textChanged(int position, int removed, int added)
{
    Q_UNUSED(removed);
    // The blocks of the changed range replace those that were there; the rest keep their places.
    const QTextBlock first = m_document->findBlock(position);
    if (!first.isValid())
        return;
    const int number = first.blockNumber();
    const qsizetype grown = qsizetype(m_document->blockCount()) - qsizetype(m_coloured.size());
    const auto after = m_coloured.begin() + number + 1;
    if (grown > 0)
        m_coloured.insert(after, size_t(grown), false);
    else if (grown < 0)
        m_coloured.erase(after, after - grown);
    if (grown != 0)
        m_stretches.clear();
    QTextBlock last = m_document->findBlock(position + added);
    if (!last.isValid())
        last = m_document->lastBlock();
    const bool wasColoured = m_coloured[size_t(number)];
    restate(first, number, last.blockNumber());
    // A line edited in view (a key) takes its new colours now: the document lays the line out
    // once this signal returns, and would lay it out again for colours set at its painting.
    if (wasColoured && grown == 0 && last.blockNumber() == number) {
        const auto stretch = m_stretches.constFind(number);
        const int length = first.length() - 1;
        if (stretch == m_stretches.cend() || length <= kWholeLine)
            applyFormats(first, m_firstRanges, 0, length);
        else
            applyFormats(first, m_firstRanges, stretch->from, qMin(stretch->to, length));
        m_coloured[size_t(number)] = true;
    }
}

void PhpHighlighter::restate(QTextBlock block, int number, int last)
{
    const int first = number;
    int state = number > 0 ? block.previous().userState() : -1;
    bool startChanged = true;
    for (; block.isValid(); block = block.next(), ++number) {
        if (number > last && !startChanged)
            break;
        m_ranges.clear();
        const int end = m_syntax.highlightLine(block.text(), state, m_ranges);
        if (number == first)
            m_firstRanges = m_ranges; // the edited line's colours come from them
        startChanged = end != block.userState();
        block.setUserState(end);
        m_coloured[size_t(number)] = false;
        state = end;
    }
    // Lines past the edit start in another state now; those in view must show it.
    if (number > last + 1)
        emit recolourNeeded();
}

QList<SyntaxRange> PhpHighlighter::classify(const QTextBlock &block)
{
    QList<SyntaxRange> ranges;
    const QTextBlock before = block.previous();
    m_syntax.highlightLine(block.text(), before.isValid() ? before.userState() : -1, ranges);
    return ranges;
}

void PhpHighlighter::colour(const QTextBlock &block, const QRectF &shown)
{
    const int number = block.blockNumber();
    if (number < 0 || size_t(number) >= m_coloured.size())
        return;
    const int length = block.length() - 1;
    int from = 0, to = length;
    if (length > kWholeLine) {
        const auto known = m_stretches.constFind(number);
        if (m_coloured[size_t(number)] && known != m_stretches.cend() && known->shown == shown)
            return;
        // The columns in view, read off the line's layout (tabs and wide letters included).
        QTextLayout *layout = block.layout();
        if (layout->lineCount() == 0)
            m_document->documentLayout()->blockBoundingRect(block);
        int shownFrom = length, shownTo = 0;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (line.y() + line.height() < shown.top() || line.y() > shown.bottom())
                continue; // a wrapped line's part out of view
            shownFrom = qMin(shownFrom, line.xToCursor(shown.left()));
            shownTo = qMax(shownTo, line.xToCursor(shown.right()));
        }
        from = qMax(0, (shownFrom / kStretch - 1) * kStretch);
        to = qMin(length, (shownTo / kStretch + 2) * kStretch);
        if (m_coloured[size_t(number)] && known != m_stretches.cend() && known->from <= shownFrom && shownTo <= known->to) {
            m_stretches[number] = {shown, known->from, known->to};
            return;
        }
        m_stretches[number] = {shown, from, to};
    } else if (m_coloured[size_t(number)]) {
        return;
    }
    m_coloured[size_t(number)] = true;
    // A new format list makes the line be laid out again; most lines keep theirs. The layout
    // notes the line as changed until the next edit, which would then report it as its own:
    // the note goes to the document's layout now, with the line laid out already, so that it
    // repaints this line alone.
    const QTextBlock before = block.previous();
    m_ranges.clear();
    m_syntax.highlightLine(block.text(), before.isValid() ? before.userState() : -1, m_ranges);
    if (applyFormats(block, m_ranges, from, to)) {
        if (auto *layout = dynamic_cast<PhpColourLayout *>(m_document->documentLayout()))
            layout->coloursChanged(block);
        else
            m_document->markContentsDirty(block.position(), block.length());
    }
}

void PhpColourLayout::coloursChanged(const QTextBlock &block)
{
    m_colouredFrom = block.position();
    m_colouredLength = block.length();
    document()->markContentsDirty(m_colouredFrom, m_colouredLength);
    m_colouredFrom = -1;
}

void PhpColourLayout::documentChanged(int from, int removed, int added)
{
    // Colours alone leave the line's text and its height as they were.
    if (from == m_colouredFrom && removed == m_colouredLength && added == m_colouredLength)
        return;
    QPlainTextDocumentLayout::documentChanged(from, removed, added);
}

bool PhpHighlighter::applyFormats(const QTextBlock &block, const QList<SyntaxRange> &ranges, int from, int to)
{
    QList<QTextLayout::FormatRange> formats;
    for (const SyntaxRange &r : ranges) {
        const int start = qMax(r.start, from), end = qMin(r.start + r.length, to);
        if (!m_plain[int(r.kind)] && end > start)
            formats.append({start, end - start, m_formats[int(r.kind)]});
    }
    QTextLayout *layout = block.layout();
    if (formats == layout->formats())
        return false;
    layout->setFormats(formats);
    return true;
}
