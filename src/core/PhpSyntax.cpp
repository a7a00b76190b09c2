// PhpSyntax: a line scanner that follows PHP's own lexer where it opens and closes PHP, strings,
// comments, heredocs and interpolations, and keeps the HTML context PHP is embedded in.
#include "core/PhpSyntax.h"

#include <QSet>

namespace {

// The rules as data: the words of each class.
const QSet<QString> &keywords()
{
    static const QSet<QString> words = [] {
        QSet<QString> s;
        for (const char *w : {"abstract", "and", "array", "as", "break", "callable", "case", "catch", "class", "clone",
                              "const", "continue", "declare", "default", "do", "echo", "else", "elseif", "empty",
                              "enddeclare", "endfor", "endforeach", "endif", "endswitch", "endwhile", "enum", "eval",
                              "exit", "die", "extends", "final", "finally", "fn", "for", "foreach", "function",
                              "global", "goto", "if", "implements", "include", "include_once", "instanceof",
                              "insteadof", "interface", "isset", "list", "match", "namespace", "new", "or", "print",
                              "private", "protected", "public", "readonly", "require", "require_once", "return",
                              "static", "switch", "throw", "trait", "try", "unset", "use", "var", "while", "xor",
                              "yield", "self", "parent", "__halt_compiler"})
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return words;
}

const QSet<QString> &casts()
{
    static const QSet<QString> words = {"int", "integer", "bool", "boolean", "float", "double", "real", "string",
                                        "array", "object", "unset", "binary"};
    return words;
}

const QSet<QString> &constants()
{
    static const QSet<QString> words = {"true", "false", "null", "__line__", "__file__", "__dir__", "__function__",
                                        "__class__", "__trait__", "__method__", "__namespace__", "php_eol",
                                        "php_version", "php_int_max", "e_all", "e_error", "e_warning", "e_notice"};
    return words;
}

// PHP's labels are bytes: every byte from 0x80 up belongs to a name, so every non-ASCII character does.
bool labelStart(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80;
}

bool digit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool labelChar(QChar c)
{
    return labelStart(c) || digit(c);
}

bool hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return digit(c) || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

bool binDigit(QChar c)
{
    return c.unicode() == '0' || c.unicode() == '1';
}

bool octDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '7';
}

bool blank(QChar c)
{
    return c.unicode() == ' ' || c.unicode() == '\t';
}

bool space(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == '\f' || u == '\v';
}

bool asciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return digit(c) || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

using namespace SyntaxState;

class Lexer
{
public:
    Lexer(const QString &line, int state, QList<SyntaxRange> &out, const QStringList &labels)
        : s(line), n(int(line.size())), out(out), labels(labels), php(SyntaxState::php(state)),
          markup(SyntaxState::markup(state)), raw(SyntaxState::raw(state)), outer(SyntaxState::outer(state)),
          depth(SyntaxState::depth(state)), label(SyntaxState::label(state))
    {
    }

    // Returns the end state; `newLabel` is asked for the id of a heredoc label met on the line.
    template <typename LabelId> int run(LabelId newLabel)
    {
        if (php == Heredoc || php == Nowdoc)
            closingLabel();
        while (i < n) {
            switch (php) {
            case Html: html(); break;
            case Code: code(newLabel); break;
            case BlockComment:
                if (until("*/", SyntaxKind::Comment))
                    php = Code;
                break;
            case SingleString:
                if (single(i))
                    php = Code;
                break;
            case DoubleString: interpolated(u'"', false); break;
            case Backtick: interpolated(u'`', false); break;
            case Heredoc: interpolated(0, false); break;
            case Nowdoc: mark(i, n, SyntaxKind::String); i = n; break;
            default: mark(i, n, SyntaxKind::HtmlText); i = n; break; // after __halt_compiler
            }
        }
        if (php != Heredoc && php != Nowdoc && outer != InHeredoc)
            label = 0;
        if (outer == NoOuter)
            depth = 0;
        return php | (markup << 4) | (raw << 8) | (outer << 10) | (depth << 12) | (label << 16);
    }

private:
    const QString &s;
    const int n;
    QList<SyntaxRange> &out;
    const QStringList &labels;
    int i = 0;
    int php, markup, raw, outer, depth, label;

    QChar at(int k) const { return k < n ? s.at(k) : QChar(); }
    bool starts(int k, const char *lit) const { return QStringView(s).mid(k).startsWith(QLatin1String(lit)); }
    bool startsCi(int k, const char *lit) const
    {
        return QStringView(s).mid(k).startsWith(QLatin1String(lit), Qt::CaseInsensitive);
    }
    int labelEnd(int k) const
    {
        while (k < n && labelChar(s.at(k)))
            ++k;
        return k;
    }
    int blanksEnd(int k) const
    {
        while (k < n && blank(s.at(k)))
            ++k;
        return k;
    }
    int spacesEnd(int k) const
    {
        while (k < n && space(s.at(k)))
            ++k;
        return k;
    }
    // The white space at i, as one range of this kind.
    void markSpaces(SyntaxKind kind)
    {
        const int j = spacesEnd(i);
        mark(i, j, kind);
        i = j;
    }

    void mark(int start, int end, SyntaxKind kind)
    {
        if (end <= start)
            return;
        if (!out.isEmpty() && out.last().kind == kind && out.last().start + out.last().length == start)
            out.last().length += end - start;
        else
            out.append({start, end - start, kind});
    }

    // From i up to and including `closing`, or to the line's end; true when it closed.
    bool until(const char *closing, SyntaxKind kind)
    {
        const QLatin1String close(closing);
        const int end = int(s.indexOf(close, i));
        const int stop = end < 0 ? n : end + int(close.size());
        mark(i, stop, kind);
        i = stop;
        return end >= 0;
    }

    // ---- HTML ------------------------------------------------------------------------------

    // The length of a PHP open tag at k: "<?php" and one blank (or the line's end), or "<?=".
    // "<?" alone is HTML: short_open_tag is off.
    int phpOpen(int k) const
    {
        if (k + 1 >= n || s.at(k + 1).unicode() != '?')
            return 0;
        if (starts(k, "<?="))
            return 3;
        if (startsCi(k, "<?php")) {
            if (k + 5 == n)
                return 5;
            const char16_t c = s.at(k + 5).unicode();
            if (c == ' ' || c == '\t' || c == '\r')
                return 6;
        }
        return 0;
    }

    bool openPhpAt(int k, SyntaxKind before)
    {
        const int len = phpOpen(k);
        if (!len)
            return false;
        mark(i, k, before);
        mark(k, k + len, SyntaxKind::PhpOpenTag);
        i = k + len;
        php = Code;
        return true;
    }

    void html()
    {
        switch (markup) {
        case Text: text(); break;
        case MarkupComment: markupComment(); break;
        case Tag: tag(); break;
        case TagEquals: tagEquals(); break;
        case DoubleValue: quotedValue(u'"'); break;
        case SingleValue: quotedValue(u'\''); break;
        case BareValue: bareValue(); break;
        default: rawText(); break;
        }
    }

    void text()
    {
        int j = i;
        while (j < n && s.at(j).unicode() != '<' && s.at(j).unicode() != '&')
            ++j;
        mark(i, j, SyntaxKind::HtmlText);
        i = j;
        if (i >= n)
            return;
        if (s.at(i).unicode() == '&') {
            int k = i + 1;
            if (at(k).unicode() == '#')
                ++k;
            int e = k;
            while (e < n && asciiAlnum(s.at(e)))
                ++e;
            const int stop = e > k && at(e).unicode() == ';' ? e + 1 : i + 1;
            mark(i, stop, stop > i + 1 ? SyntaxKind::HtmlEntity : SyntaxKind::HtmlText);
            i = stop;
            return;
        }
        if (openPhpAt(i, SyntaxKind::HtmlText))
            return;
        if (starts(i, "<!--")) {
            mark(i, i + 4, SyntaxKind::HtmlComment);
            i += 4;
            markup = MarkupComment;
            return;
        }
        const QChar next = at(i + 1);
        int e = i + 1;
        if (next.unicode() == '/' || next.unicode() == '!')
            ++e;
        if (e < n && ((s.at(e).unicode() | 0x20) >= 'a' && (s.at(e).unicode() | 0x20) <= 'z')) {
            const int name = e;
            while (e < n && (asciiAlnum(s.at(e)) || s.at(e).unicode() == '-' || s.at(e).unicode() == ':'
                             || s.at(e).unicode() == '_' || s.at(e).unicode() == '.'))
                ++e;
            const QStringView word = QStringView(s).mid(name, e - name);
            raw = NoRaw;
            if (next.unicode() != '/' && next.unicode() != '!') {
                if (word.compare(QLatin1String("script"), Qt::CaseInsensitive) == 0)
                    raw = Script;
                else if (word.compare(QLatin1String("style"), Qt::CaseInsensitive) == 0)
                    raw = Style;
            }
            mark(i, e, SyntaxKind::HtmlTag);
            i = e;
            markup = Tag;
            return;
        }
        mark(i, i + 1, SyntaxKind::HtmlText);
        ++i;
    }

    // Reads `kind` from i to the end that `closing(j)` finds (its length, or 0), to where PHP
    // opens, or to the line's end; true when it reached the end.
    template <typename Closing> bool readUntil(SyntaxKind kind, Closing closing)
    {
        for (int j = i; j < n; ++j) {
            if (const int len = closing(j)) {
                mark(i, j + len, kind);
                i = j + len;
                return true;
            }
            if (s.at(j).unicode() == '<' && openPhpAt(j, kind))
                return false;
        }
        mark(i, n, kind);
        i = n;
        return false;
    }

    void markupComment()
    {
        if (readUntil(SyntaxKind::HtmlComment, [this](int j) { return s.at(j).unicode() == '-' && starts(j, "-->") ? 3 : 0; }))
            markup = Text;
    }

    void endTag(int len)
    {
        mark(i, i + len, SyntaxKind::HtmlTag);
        i += len;
        markup = raw == Script ? ScriptText : raw == Style ? StyleText : Text;
        raw = NoRaw;
    }

    void tag()
    {
        const QChar c = s.at(i);
        const char16_t u = c.unicode();
        if (space(c)) {
            markSpaces(SyntaxKind::HtmlText);
        } else if (u == '<' && openPhpAt(i, SyntaxKind::HtmlText)) {
        } else if (u == '>') {
            endTag(1);
        } else if (u == '/' && at(i + 1).unicode() == '>') {
            raw = NoRaw; // a self-closed <script/> has no content
            endTag(2);
        } else if (u == '"' || u == '\'') {
            mark(i, i + 1, SyntaxKind::HtmlValue);
            ++i;
            markup = u == '"' ? DoubleValue : SingleValue;
        } else if (u == '=') {
            mark(i, i + 1, SyntaxKind::HtmlText);
            ++i;
            markup = TagEquals;
        } else {
            int e = i + 1;
            while (e < n) {
                const char16_t d = s.at(e).unicode();
                if (space(s.at(e)) || d == '=' || d == '>' || d == '"' || d == '\'' || (d == '/' && at(e + 1).unicode() == '>')
                    || (d == '<' && phpOpen(e)))
                    break;
                ++e;
            }
            mark(i, e, SyntaxKind::HtmlAttribute);
            i = e;
        }
    }

    void tagEquals()
    {
        const QChar c = s.at(i);
        if (space(c)) {
            markSpaces(SyntaxKind::HtmlText);
        } else if (c.unicode() == '"' || c.unicode() == '\'' || c.unicode() == '>') {
            markup = Tag;
        } else {
            markup = BareValue;
        }
    }

    void quotedValue(char16_t quote)
    {
        if (readUntil(SyntaxKind::HtmlValue, [this, quote](int j) { return s.at(j).unicode() == quote ? 1 : 0; }))
            markup = Tag;
    }

    void bareValue()
    {
        int j = i;
        while (j < n && !space(s.at(j)) && s.at(j).unicode() != '>') {
            if (s.at(j).unicode() == '<' && openPhpAt(j, SyntaxKind::HtmlValue))
                return;
            ++j;
        }
        mark(i, j, SyntaxKind::HtmlValue);
        i = j;
        markup = Tag; // a line break ends the value too
    }

    void rawText()
    {
        const char *close = markup == ScriptText ? "</script" : "</style";
        for (int j = i; j < n; ++j) {
            if (s.at(j).unicode() != '<')
                continue;
            if (openPhpAt(j, SyntaxKind::HtmlText))
                return;
            if (startsCi(j, close)) {
                const int e = j + int(qstrlen(close));
                if (e == n || !asciiAlnum(s.at(e))) {
                    mark(i, j, SyntaxKind::HtmlText);
                    mark(j, e, SyntaxKind::HtmlTag);
                    i = e;
                    markup = Tag;
                    raw = NoRaw;
                    return;
                }
            }
        }
        mark(i, n, SyntaxKind::HtmlText);
        i = n;
    }

    // ---- PHP -------------------------------------------------------------------------------

    void closingLabel()
    {
        const QString closing = labels.value(label);
        if (closing.isEmpty())
            return;
        const int j = blanksEnd(0);
        const int e = j + int(closing.size());
        if (QStringView(s).mid(j).startsWith(closing) && (e >= n || !labelChar(s.at(e)))) {
            mark(0, e, SyntaxKind::String);
            i = e;
            php = Code;
            label = 0;
        }
    }

    // The rest of a single-quoted string from i; true when its quote closed it.
    bool single(int from)
    {
        while (i < n && s.at(i).unicode() != '\'')
            i += s.at(i).unicode() == '\\' ? 2 : 1;
        i = qMin(i, n);
        const bool closed = i < n;
        if (closed)
            ++i;
        mark(from, i, SyntaxKind::String);
        return closed;
    }

    int digitsEnd(int k, bool (*isDigit)(QChar)) const
    {
        if (k >= n || !isDigit(s.at(k)))
            return k;
        while (k < n) {
            if (isDigit(s.at(k)))
                ++k;
            else if (s.at(k).unicode() == '_' && k + 1 < n && isDigit(s.at(k + 1)))
                k += 2;
            else
                break;
        }
        return k;
    }

    // An integer as PHP reads it: decimal, 0x, 0b, 0o, with "_" between digits.
    int integerEnd(int k) const
    {
        if (s.at(k).unicode() == '0' && k + 1 < n) {
            const char16_t x = s.at(k + 1).unicode() | 0x20;
            bool (*kind)(QChar) = x == 'x' ? hexDigit : x == 'b' ? binDigit : x == 'o' ? octDigit : nullptr;
            if (kind) {
                const int e = digitsEnd(k + 2, kind);
                if (e > k + 2)
                    return e;
            }
        }
        return digitsEnd(k, digit);
    }

    // A number as PHP reads it: an integer, or digits with a point and an exponent (".5", "1.", "2e-3").
    int numberEnd(int k) const
    {
        if (s.at(k).unicode() == '0' && (at(k + 1).unicode() | 0x20) != 'e' && !digit(at(k + 1))
            && at(k + 1).unicode() != '.' && at(k + 1).unicode() != '_') {
            const int e = integerEnd(k);
            if (e > k + 1)
                return e; // 0x.., 0b.., 0o..
        }
        int e = digitsEnd(k, digit);
        if (at(e).unicode() == '.') {
            const int f = digitsEnd(e + 1, digit);
            e = f > e + 1 ? f : e + 1;
        }
        if ((at(e).unicode() | 0x20) == 'e') {
            int j = e + 1;
            if (at(j).unicode() == '+' || at(j).unicode() == '-')
                ++j;
            const int g = digitsEnd(j, digit);
            if (g > j)
                e = g;
        }
        return e;
    }

    int outerOf(int ctx) const { return ctx == Heredoc ? InHeredoc : ctx == Backtick ? InBacktick : InDouble; }
    int stringOf(int o) const { return o == InHeredoc ? Heredoc : o == InBacktick ? Backtick : DoubleString; }

    // "[...]" after a variable inside a string: names, numbers and variables up to "]".
    void offset()
    {
        mark(i, i + 1, SyntaxKind::Interpolation);
        ++i;
        while (i < n) {
            const QChar c = s.at(i);
            const char16_t u = c.unicode();
            if (u == ']') {
                mark(i, i + 1, SyntaxKind::Interpolation);
                ++i;
                return;
            }
            if (u == '$' && labelStart(at(i + 1))) {
                const int e = labelEnd(i + 1);
                mark(i, e, SyntaxKind::Variable);
                i = e;
            } else if (digit(c)) {
                const int e = integerEnd(i);
                mark(i, e, SyntaxKind::Number);
                i = e;
            } else if (labelStart(c)) {
                const int e = labelEnd(i);
                mark(i, e, SyntaxKind::Interpolation);
                i = e;
            } else if (space(c) || u == '\\' || u == '\'' || u == '#') {
                return; // PHP gives up the offset here and reads on as string
            } else {
                mark(i, i + 1, SyntaxKind::Interpolation);
                ++i;
            }
        }
    }

    // Inside a double-quoted string, heredoc or backtick string. `nested`: a string inside a
    // "{$...}" interpolation, read to its end on this line without further nesting.
    void interpolated(char16_t quote, bool nested)
    {
        int run = i;
        while (i < n) {
            const char16_t c = s.at(i).unicode();
            if (c == '\\') {
                i = qMin(n, i + 2);
                continue;
            }
            if (quote && c == quote) {
                ++i;
                mark(run, i, SyntaxKind::String);
                if (!nested)
                    php = Code;
                return;
            }
            if (c == '$' && labelStart(at(i + 1))) {
                mark(run, i, SyntaxKind::String);
                const int e = labelEnd(i + 1);
                mark(i, e, SyntaxKind::Variable);
                i = e;
                if (at(i).unicode() == '[') {
                    offset();
                } else if (starts(i, "->") && labelStart(at(i + 2))) {
                    const int p = labelEnd(i + 2);
                    mark(i, p, SyntaxKind::Interpolation);
                    i = p;
                } else if (starts(i, "?->") && labelStart(at(i + 3))) {
                    const int p = labelEnd(i + 3);
                    mark(i, p, SyntaxKind::Interpolation);
                    i = p;
                }
                run = i;
                continue;
            }
            if (!nested && ((c == '{' && at(i + 1).unicode() == '$') || (c == '$' && at(i + 1).unicode() == '{'))) {
                mark(run, i, SyntaxKind::String);
                const int len = c == '{' ? 1 : 2;
                mark(i, i + len, SyntaxKind::Interpolation);
                i += len;
                if (len == 2) {
                    // "${name}" and "${name[...]}": the name is a variable's.
                    const int e = labelEnd(i);
                    if (e > i && labelStart(s.at(i)) && (at(e).unicode() == '[' || at(e).unicode() == '}')) {
                        mark(i, e, SyntaxKind::Variable);
                        i = e;
                    }
                }
                outer = outerOf(php);
                depth = 0;
                php = Code;
                return;
            }
            ++i;
        }
        mark(run, i, SyntaxKind::String);
    }

    void lineComment()
    {
        int j = i;
        // A CR is a line break to PHP too.
        while (j < n && s.at(j).unicode() != '\r' && !(s.at(j).unicode() == '?' && at(j + 1).unicode() == '>'))
            ++j;
        mark(i, j, SyntaxKind::Comment);
        i = j;
    }

    // "<<<" blanks, a label bare or quoted, and the line's end: the start of a heredoc or nowdoc.
    template <typename LabelId> bool heredocStart(LabelId newLabel)
    {
        int j = blanksEnd(i + 3);
        const char16_t q = at(j).unicode();
        const bool quoted = q == '\'' || q == '"';
        const int name = quoted ? j + 1 : j;
        if (!labelStart(at(name)))
            return false;
        int e = labelEnd(name);
        const int nameEnd = e;
        if (quoted) {
            if (at(e).unicode() != q)
                return false;
            ++e;
        }
        if (e != n && !(e + 1 == n && s.at(e).unicode() == '\r'))
            return false;
        label = newLabel(s.mid(name, nameEnd - name));
        mark(i, n, SyntaxKind::String);
        i = n;
        php = q == '\'' ? Nowdoc : Heredoc;
        return true;
    }

    // After "__halt_compiler": "(", ")", and ";" or "?>"; everything after them is data.
    bool haltCompiler(int e)
    {
        int k = spacesEnd(e);
        if (at(k).unicode() != '(')
            return false;
        k = spacesEnd(k + 1);
        if (at(k).unicode() != ')')
            return false;
        k = spacesEnd(k + 1);
        int end;
        if (at(k).unicode() == ';')
            end = k + 1;
        else if (starts(k, "?>"))
            end = k + 2;
        else
            return false;
        const int closeTag = at(end - 1).unicode() == '>' ? 2 : 0;
        mark(e, end - closeTag, SyntaxKind::Code);
        mark(end - closeTag, end, SyntaxKind::PhpCloseTag);
        mark(end, n, SyntaxKind::HtmlText);
        i = n;
        php = Halted;
        return true;
    }

    template <typename LabelId> void code(LabelId newLabel)
    {
        const QChar c = s.at(i);
        const char16_t u = c.unicode();
        const char16_t next = at(i + 1).unicode();
        if (space(c)) {
            markSpaces(SyntaxKind::Code);
        } else if (u == '?' && next == '>') {
            // The close tag takes one line break with it, a CR of a CR LF too.
            const int len = at(i + 2).unicode() == '\r' ? 3 : 2;
            mark(i, i + len, SyntaxKind::PhpCloseTag);
            i += len;
            php = Html;
            outer = NoOuter;
        } else if (u == '#' && next == '[') {
            mark(i, i + 2, SyntaxKind::Code);
            i += 2;
        } else if (u == '#' || (u == '/' && next == '/')) {
            lineComment();
        } else if (u == '/' && next == '*') {
            const int start = i;
            i += 2;
            const int end = int(s.indexOf(QLatin1String("*/"), i));
            const int stop = end < 0 ? n : end + 2;
            mark(start, stop, SyntaxKind::Comment);
            i = stop;
            if (end < 0)
                php = BlockComment;
        } else if (u == '\'') {
            const int start = i++;
            if (!single(start) && outer == NoOuter)
                php = SingleString;
        } else if (u == '"' || u == '`') {
            mark(i, i + 1, SyntaxKind::String);
            ++i;
            if (outer != NoOuter)
                interpolated(u, true);
            else
                php = u == '"' ? DoubleString : Backtick;
        } else if (u == '<' && outer == NoOuter && starts(i, "<<<") && heredocStart(newLabel)) {
        } else if (u == '$' && labelStart(at(i + 1))) {
            const int e = labelEnd(i + 1);
            mark(i, e, SyntaxKind::Variable);
            i = e;
        } else if (digit(c) || (u == '.' && digit(at(i + 1)))) {
            const int e = numberEnd(i);
            mark(i, e, SyntaxKind::Number);
            i = e;
        } else if (u == '.' && starts(i, "...")) {
            mark(i, i + 3, SyntaxKind::Code);
            i += 3;
        } else if (u == '(') {
            // A cast: "(" blanks type blanks ")".
            const int j = blanksEnd(i + 1);
            const int e = labelEnd(j);
            const int k = blanksEnd(e);
            if (e > j && at(k).unicode() == ')' && PhpSyntax::isCast(QStringView(s).mid(j, e - j))) {
                mark(i, k + 1, SyntaxKind::Cast);
                i = k + 1;
            } else {
                mark(i, i + 1, SyntaxKind::Code);
                ++i;
            }
        } else if (labelStart(c)) {
            const int e = labelEnd(i);
            const QStringView word = QStringView(s).mid(i, e - i);
            if (e == i + 1 && (u | 0x20) == 'b' && (at(e).unicode() == '\'' || at(e).unicode() == '"')) {
                mark(i, e, SyntaxKind::String); // a binary string b'...'
                i = e;
                return;
            }
            // A name after "->" or "::" is a member, not a keyword.
            const bool member = i >= 2 && (QStringView(s).mid(i - 2, 2) == QLatin1String("->")
                                           || QStringView(s).mid(i - 2, 2) == QLatin1String("::"));
            if (!member && word.compare(QLatin1String("__halt_compiler"), Qt::CaseInsensitive) == 0) {
                mark(i, e, SyntaxKind::Keyword);
                i = e;
                haltCompiler(e);
                return;
            }
            mark(i, e, !member && PhpSyntax::isKeyword(word) ? SyntaxKind::Keyword
                       : PhpSyntax::isConstant(word)         ? SyntaxKind::Constant
                                                             : SyntaxKind::Code);
            i = e;
        } else if (u == '{' && outer != NoOuter) {
            depth = qMin(depth + 1, 15);
            mark(i, i + 1, SyntaxKind::Code);
            ++i;
        } else if (u == '}' && outer != NoOuter) {
            if (depth == 0) {
                mark(i, i + 1, SyntaxKind::Interpolation);
                php = stringOf(outer);
                outer = NoOuter;
            } else {
                --depth;
                mark(i, i + 1, SyntaxKind::Code);
            }
            ++i;
        } else {
            mark(i, i + 1, SyntaxKind::Code);
            ++i;
        }
    }
};

} // namespace

TokenClass tokenClass(SyntaxKind kind)
{
    switch (kind) {
    case SyntaxKind::HtmlText:
    case SyntaxKind::HtmlTag:
    case SyntaxKind::HtmlAttribute:
    case SyntaxKind::HtmlValue:
    case SyntaxKind::HtmlComment:
    case SyntaxKind::HtmlEntity: return TokenClass::InlineHtml;
    case SyntaxKind::PhpOpenTag: return TokenClass::OpenTag;
    case SyntaxKind::PhpCloseTag: return TokenClass::CloseTag;
    case SyntaxKind::Comment: return TokenClass::Comment;
    case SyntaxKind::String: return TokenClass::String;
    case SyntaxKind::Variable: return TokenClass::Variable;
    case SyntaxKind::Number: return TokenClass::Number;
    default: return TokenClass::Code;
    }
}

bool PhpSyntax::isKeyword(QStringView word)
{
    return keywords().contains(word.toString().toLower());
}

QStringList PhpSyntax::keywordList()
{
    QStringList words = keywords().values();
    words.sort();
    return words;
}

bool PhpSyntax::isCast(QStringView word)
{
    return casts().contains(word.toString().toLower());
}

bool PhpSyntax::isConstant(QStringView word)
{
    if (constants().contains(word.toString().toLower()))
        return true;
    // ALL_CAPS names are constants by convention.
    bool upper = false;
    for (QChar c : word) {
        if (c.isLower())
            return false;
        upper |= c.isUpper();
    }
    return upper && word.size() > 1;
}

int PhpSyntax::labelId(const QString &label)
{
    const auto found = m_labelIds.constFind(label);
    if (found != m_labelIds.constEnd())
        return *found;
    if (m_labels.size() > 0x7FFF)
        return 0; // the state has room for this many; beyond, the first label stands in
    const int id = int(m_labels.size());
    m_labels << label;
    m_labelIds.insert(label, id);
    return id;
}

int PhpSyntax::highlightLine(const QString &line, int state, QList<SyntaxRange> &out)
{
    Lexer lexer(line, state, out, m_labels);
    return lexer.run([this](const QString &label) { return labelId(label); });
}
