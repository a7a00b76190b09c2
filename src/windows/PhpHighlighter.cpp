// PhpHighlighter: states for every line, colours for the lines in view.
#include "PhpHighlighter.h"

#include "EditorPalette.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

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
    QTextBlock last = m_document->findBlock(position + added);
    if (!last.isValid())
        last = m_document->lastBlock();
    restate(first, number, last.blockNumber());
}

void PhpHighlighter::restate(QTextBlock block, int number, int last)
{
    int state = number > 0 ? block.previous().userState() : -1;
    bool startChanged = true;
    for (; block.isValid(); block = block.next(), ++number) {
        if (number > last && !startChanged)
            break;
        m_ranges.clear();
        const int end = m_syntax.highlightLine(block.text(), state, m_ranges);
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

void PhpHighlighter::colour(const QTextBlock &block)
{
    const int number = block.blockNumber();
    if (number < 0 || size_t(number) >= m_coloured.size() || m_coloured[size_t(number)])
        return;
    m_coloured[size_t(number)] = true;
    const QTextBlock before = block.previous();
    m_ranges.clear();
    m_syntax.highlightLine(block.text(), before.isValid() ? before.userState() : -1, m_ranges);
    QList<QTextLayout::FormatRange> formats;
    for (const SyntaxRange &r : std::as_const(m_ranges))
        if (!m_plain[int(r.kind)] && r.length > 0)
            formats.append({r.start, r.length, m_formats[int(r.kind)]});
    // A new format list makes the line be laid out again; most lines keep theirs. The layout
    // notes the line as changed until the next edit, which would then report it as its own:
    // the note goes to the document's layout now, with the line laid out already, so that it
    // repaints this line alone.
    QTextLayout *layout = block.layout();
    if (formats != layout->formats()) {
        layout->setFormats(formats);
        m_document->documentLayout()->blockBoundingRect(block);
        m_document->markContentsDirty(block.position(), block.length());
    }
}
