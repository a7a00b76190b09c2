// PhpSyntax: classification of PHP-in-HTML text line by line, with the state carried across lines.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Every character of a line falls in exactly one range; HtmlText and Code are the uncoloured ones.
enum class SyntaxKind {
    HtmlText,
    HtmlTag,
    HtmlAttribute,
    HtmlValue,
    HtmlComment,
    HtmlEntity,
    PhpOpenTag,
    PhpCloseTag,
    Code,
    Keyword,
    Variable,
    String,
    Interpolation, // the code parts of an interpolation: "{", "}", "${", "->name", "[", "]"
    Number,
    Comment,
    Cast,
    Constant,
    Count
};

struct SyntaxRange
{
    int start;
    int length;
    SyntaxKind kind;
};

// The classes PHP's own tokenizer tells apart, for comparing with it.
enum class TokenClass { InlineHtml, OpenTag, CloseTag, Comment, String, Variable, Number, Code };
TokenClass tokenClass(SyntaxKind kind);

// The state at a line's end, as the editor keeps it per block (never negative):
//   bits 0-3   the PHP context (Html: not in PHP)
//   bits 4-7   the HTML context, kept while PHP runs so that it resumes after "?>"
//   bits 8-9   the raw-text element whose start tag is being read (script, style)
//   bits 10-11 the string an interpolation "{$" or "${" returns to, and bits 12-15 its brace depth
//   bits 16-30 the heredoc's closing label, an index into the label table
namespace SyntaxState {
enum Php { Html = 0, Code, BlockComment, SingleString, DoubleString, Heredoc, Nowdoc, Backtick, Halted };
enum Markup { Text = 0, MarkupComment, Tag, TagEquals, DoubleValue, SingleValue, BareValue, ScriptText, StyleText };
enum Raw { NoRaw = 0, Script, Style };
enum Outer { NoOuter = 0, InDouble, InHeredoc, InBacktick };
inline int php(int state) { return state < 0 ? Html : state & 0xF; }
inline int markup(int state) { return state < 0 ? Text : (state >> 4) & 0xF; }
inline int raw(int state) { return state < 0 ? NoRaw : (state >> 8) & 0x3; }
inline int outer(int state) { return state < 0 ? NoOuter : (state >> 10) & 0x3; }
inline int depth(int state) { return state < 0 ? 0 : (state >> 12) & 0xF; }
inline int label(int state) { return state < 0 ? 0 : (state >> 16) & 0x7FFF; }
} // namespace SyntaxState

class PhpSyntax
{
public:
    // Classifies one line that starts in `state` (-1 for the first line); returns its end state.
    // The ranges cover the line from its start to its end, in order.
    int highlightLine(const QString &line, int state, QList<SyntaxRange> &out);

    // The word tables: keywords, casts, constants (case-insensitive where PHP is).
    static bool isKeyword(QStringView word);
    static QStringList keywordList(); // in lower case, sorted
    static bool isCast(QStringView word);
    static bool isConstant(QStringView word);

private:
    int labelId(const QString &label);
    QStringList m_labels; // heredoc and nowdoc closing labels met so far
    QHash<QString, int> m_labelIds;
};
