// PhpHighlighter: QSyntaxHighlighter re-runs only the changed blocks and those whose state changes.
#include "PhpHighlighter.h"

#include "EditorPalette.h"

PhpHighlighter::PhpHighlighter(QTextDocument *document, const EditorColours &colours) : QSyntaxHighlighter(document)
{
    takeColours(colours);
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
    rehighlight();
}

void PhpHighlighter::highlightBlock(const QString &text)
{
    m_ranges.clear();
    setCurrentBlockState(m_syntax.highlightLine(text, previousBlockState(), m_ranges));
    for (const SyntaxRange &r : m_ranges)
        if (!m_plain[int(r.kind)])
            setFormat(r.start, r.length, m_formats[int(r.kind)]);
}
