// PhpSyntax: classification of PHP-in-HTML text line by line, with the state carried across lines.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

enum class SyntaxKind {
    HtmlTag,
    HtmlAttribute,
    HtmlValue,
    HtmlComment,
    HtmlEntity,
    PhpTag,
    Keyword,
    Variable,
    String,
    Interpolation,
    Number,
    Comment,
    Cast,
    Constant,
};

struct SyntaxRange
{
    int start;
    int length;
    SyntaxKind kind;
};

// The state at a line's end, as QSyntaxHighlighter keeps it per block: a context in the low
// bits and, for heredoc and nowdoc, the index of the closing label in the label table above.
namespace SyntaxState {
enum Context { Html = 0, HtmlComment, HtmlTag, Php, PhpComment, SingleString, DoubleString, Heredoc, Nowdoc };
inline int context(int state) { return state < 0 ? Html : state & 0xF; }
inline int label(int state) { return state < 0 ? 0 : state >> 4; }
} // namespace SyntaxState

class PhpSyntax
{
public:
    // Classifies one line that starts in `state` (-1 for the first line); returns its end state.
    int highlightLine(const QString &line, int state, QList<SyntaxRange> &out);

    // The word tables: keywords, casts, constants (case-insensitive where PHP is).
    static bool isKeyword(const QString &word);
    static bool isCast(const QString &word);
    static bool isConstant(const QString &word);

private:
    int labelId(const QString &label);
    QStringList m_labels; // heredoc and nowdoc closing labels met so far
};
