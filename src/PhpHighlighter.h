// PhpHighlighter: colours PHP inside HTML; the line state lives in each block's state.
#pragma once

#include "core/PhpSyntax.h"

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class PhpHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    explicit PhpHighlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;

private:
    PhpSyntax m_syntax;
    QList<SyntaxRange> m_ranges;
    QTextCharFormat m_formats[int(SyntaxKind::Count)];
    bool m_plain[int(SyntaxKind::Count)]; // text and code outside all classes keep the default format
};
