// PhpHighlighter: colours PHP inside HTML; the line state lives in each block's state.
#pragma once

#include "core/PhpSyntax.h"

struct EditorColours;

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class PhpHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    PhpHighlighter(QTextDocument *document, const EditorColours &colours);
    // Colours the whole text anew in these colours.
    void setColours(const EditorColours &colours);

protected:
    void highlightBlock(const QString &text) override;

private:
    void takeColours(const EditorColours &colours);

    PhpSyntax m_syntax;
    QList<SyntaxRange> m_ranges;
    QTextCharFormat m_formats[int(SyntaxKind::Count)];
    bool m_plain[int(SyntaxKind::Count)]; // text and code outside all classes keep the default format
};
