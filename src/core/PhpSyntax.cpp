// PhpSyntax: the word tables and a small scanner per context.
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
                              "yield", "self", "parent"})
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

bool identStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

bool identChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

int identEnd(const QString &s, int i)
{
    while (i < s.size() && identChar(s.at(i)))
        ++i;
    return i;
}

struct Scanner
{
    const QString &s;
    QList<SyntaxRange> &out;
    int i = 0;

    bool at(const char *lit) const { return QStringView(s).mid(i).startsWith(QLatin1String(lit)); }
    bool atCi(const char *lit) const { return QStringView(s).mid(i).startsWith(QLatin1String(lit), Qt::CaseInsensitive); }
    void mark(int start, int end, SyntaxKind kind)
    {
        if (end > start)
            out.append({start, end - start, kind});
    }

    // From `from` up to and including `closing`, or to the line's end; true when it closed.
    bool until(int from, const char *closing, SyntaxKind kind)
    {
        const QLatin1String close(closing);
        const int end = s.indexOf(close, i);
        const int stop = end < 0 ? int(s.size()) : end + int(close.size());
        mark(from, stop, kind);
        i = stop;
        return end >= 0;
    }

    // The rest of a single-quoted string from i; true when its quote closed it.
    bool singleQuoted(int from)
    {
        while (i < s.size() && s.at(i) != QLatin1Char('\''))
            i += s.at(i) == QLatin1Char('\\') ? 2 : 1;
        i = qMin(i, int(s.size()));
        const bool closed = i < s.size();
        if (closed)
            ++i;
        mark(from, i, SyntaxKind::String);
        return closed;
    }

    // Inside a double-quoted string or heredoc: $name, $name->prop, $name[...], {$...}.
    // Returns true when the closing quote was found (quote == 0: heredoc, never closes here).
    bool interpolated(char16_t quote, int start)
    {
        int run = start;
        while (i < s.size()) {
            const QChar c = s.at(i);
            if (c == QLatin1Char('\\')) {
                i = qMin(int(s.size()), i + 2);
                continue;
            }
            if (quote && c.unicode() == quote) {
                ++i;
                mark(run, i, SyntaxKind::String);
                return true;
            }
            const bool brace = c == QLatin1Char('{') && i + 1 < s.size() && s.at(i + 1) == QLatin1Char('$');
            if ((c == QLatin1Char('$') && i + 1 < s.size() && identStart(s.at(i + 1))) || brace) {
                mark(run, i, SyntaxKind::String);
                const int v = i;
                if (brace) {
                    const int close = s.indexOf(QLatin1Char('}'), i);
                    i = close < 0 ? int(s.size()) : close + 1;
                } else {
                    i = identEnd(s, i + 1);
                    if (QStringView(s).mid(i).startsWith(QLatin1String("->")) && i + 2 < s.size() && identStart(s.at(i + 2)))
                        i = identEnd(s, i + 2);
                    else if (i < s.size() && s.at(i) == QLatin1Char('[')) {
                        const int close = s.indexOf(QLatin1Char(']'), i);
                        if (close > 0)
                            i = close + 1;
                    }
                }
                mark(v, i, SyntaxKind::Interpolation);
                run = i;
                continue;
            }
            ++i;
        }
        mark(run, i, SyntaxKind::String);
        return false;
    }
};

} // namespace

bool PhpSyntax::isKeyword(const QString &word)
{
    return keywords().contains(word.toLower());
}

bool PhpSyntax::isCast(const QString &word)
{
    return casts().contains(word.toLower());
}

bool PhpSyntax::isConstant(const QString &word)
{
    if (constants().contains(word.toLower()))
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
    int id = int(m_labels.indexOf(label));
    if (id < 0) {
        m_labels << label;
        id = int(m_labels.size()) - 1;
    }
    return id;
}

int PhpSyntax::highlightLine(const QString &line, int state, QList<SyntaxRange> &out)
{
    using namespace SyntaxState;
    Scanner sc{line, out};
    const QString &s = line;
    int ctx = context(state);
    int label = SyntaxState::label(state);

    while (sc.i < s.size()) {
        switch (ctx) {
        case Html: {
            const int lt = s.indexOf(QLatin1Char('<'), sc.i);
            const int amp = s.indexOf(QLatin1Char('&'), sc.i);
            int next = lt < 0 ? amp : (amp < 0 ? lt : qMin(lt, amp));
            if (next < 0) {
                sc.i = int(s.size());
                break;
            }
            sc.i = next;
            if (s.at(sc.i) == QLatin1Char('&')) {
                int j = sc.i + 1;
                if (j < s.size() && s.at(j) == QLatin1Char('#'))
                    ++j;
                const int e = identEnd(s, j);
                if (e > j && e < s.size() && s.at(e) == QLatin1Char(';')) {
                    sc.mark(sc.i, e + 1, SyntaxKind::HtmlEntity);
                    sc.i = e + 1;
                } else {
                    ++sc.i;
                }
            } else if (sc.atCi("<?php") || sc.at("<?=") || sc.at("<?")) {
                const int len = sc.atCi("<?php") ? 5 : (sc.at("<?=") ? 3 : 2);
                sc.mark(sc.i, sc.i + len, SyntaxKind::PhpTag);
                sc.i += len;
                ctx = Php;
            } else if (sc.at("<!--")) {
                const int start = sc.i;
                sc.i += 4;
                if (!sc.until(start, "-->", SyntaxKind::HtmlComment))
                    ctx = HtmlComment;
            } else if (sc.i + 1 < s.size() && (s.at(sc.i + 1).isLetter() || s.at(sc.i + 1) == QLatin1Char('/')
                                                 || s.at(sc.i + 1) == QLatin1Char('!'))) {
                int e = sc.i + 1;
                if (s.at(e) == QLatin1Char('/') || s.at(e) == QLatin1Char('!'))
                    ++e;
                e = identEnd(s, e);
                while (e < s.size() && (s.at(e) == QLatin1Char('-') || s.at(e) == QLatin1Char(':')))
                    e = identEnd(s, e + 1);
                sc.mark(sc.i, e, SyntaxKind::HtmlTag);
                sc.i = e;
                ctx = HtmlTag;
            } else {
                ++sc.i;
            }
            break;
        }
        case HtmlComment:
            if (sc.until(sc.i, "-->", SyntaxKind::HtmlComment))
                ctx = Html;
            break;
        case HtmlTag: {
            const QChar c = s.at(sc.i);
            if (c.isSpace()) {
                ++sc.i;
            } else if (sc.at("<?php") || sc.at("<?=")) {
                ctx = Html; // the PHP tag is taken up there
            } else if (c == QLatin1Char('>') || sc.at("/>")) {
                const int len = c == QLatin1Char('>') ? 1 : 2;
                sc.mark(sc.i, sc.i + len, SyntaxKind::HtmlTag);
                sc.i += len;
                ctx = Html;
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                const int end = s.indexOf(c, sc.i + 1);
                const int stop = end < 0 ? int(s.size()) : end + 1;
                sc.mark(sc.i, stop, SyntaxKind::HtmlValue);
                sc.i = stop;
            } else if (c == QLatin1Char('=')) {
                ++sc.i;
                // An unquoted value.
                int e = sc.i;
                while (e < s.size() && !s.at(e).isSpace() && s.at(e) != QLatin1Char('>') && s.at(e) != QLatin1Char('"')
                       && s.at(e) != QLatin1Char('\''))
                    ++e;
                sc.mark(sc.i, e, SyntaxKind::HtmlValue);
                sc.i = e;
            } else {
                int e = sc.i;
                while (e < s.size() && !s.at(e).isSpace() && s.at(e) != QLatin1Char('=') && s.at(e) != QLatin1Char('>')
                       && !QStringView(s).mid(e).startsWith(QLatin1String("/>")))
                    ++e;
                if (e == sc.i)
                    ++e;
                sc.mark(sc.i, e, SyntaxKind::HtmlAttribute);
                sc.i = e;
            }
            break;
        }
        case PhpComment:
            if (sc.until(sc.i, "*/", SyntaxKind::Comment))
                ctx = Php;
            break;
        case SingleString:
            if (sc.singleQuoted(sc.i))
                ctx = Php;
            break;
        case DoubleString:
            if (sc.interpolated(u'"', sc.i))
                ctx = Php;
            break;
        case Heredoc:
        case Nowdoc: {
            const QString closing = m_labels.value(label);
            int j = 0;
            while (j < s.size() && (s.at(j) == QLatin1Char(' ') || s.at(j) == QLatin1Char('\t')))
                ++j;
            if (sc.i == 0 && QStringView(s).mid(j).startsWith(closing)
                && (j + closing.size() >= s.size() || !identChar(s.at(j + int(closing.size()))))) {
                sc.mark(j, j + int(closing.size()), SyntaxKind::String);
                sc.i = j + int(closing.size());
                ctx = Php;
                label = 0;
                break;
            }
            if (ctx == Heredoc) {
                sc.interpolated(0, sc.i);
            } else {
                sc.mark(sc.i, int(s.size()), SyntaxKind::String);
                sc.i = int(s.size());
            }
            break;
        }
        case Php: {
            const QChar c = s.at(sc.i);
            if (sc.at("?>")) {
                sc.mark(sc.i, sc.i + 2, SyntaxKind::PhpTag);
                sc.i += 2;
                ctx = Html;
            } else if (sc.at("//") || (c == QLatin1Char('#') && !sc.at("#["))) {
                // A line comment ends at the line's end or at "?>".
                const int close = s.indexOf(QLatin1String("?>"), sc.i);
                const int stop = close < 0 ? int(s.size()) : close;
                sc.mark(sc.i, stop, SyntaxKind::Comment);
                sc.i = stop;
            } else if (sc.at("/*")) {
                const int start = sc.i;
                sc.i += 2;
                if (!sc.until(start, "*/", SyntaxKind::Comment))
                    ctx = PhpComment;
            } else if (c == QLatin1Char('\'')) {
                const int start = sc.i++;
                if (!sc.singleQuoted(start))
                    ctx = SingleString;
            } else if (c == QLatin1Char('"')) {
                const int start = sc.i;
                ++sc.i;
                if (!sc.interpolated(u'"', start))
                    ctx = DoubleString;
            } else if (sc.at("<<<")) {
                int j = sc.i + 3;
                while (j < s.size() && s.at(j) == QLatin1Char(' '))
                    ++j;
                const bool nowdoc = j < s.size() && s.at(j) == QLatin1Char('\'');
                const bool quoted = nowdoc || (j < s.size() && s.at(j) == QLatin1Char('"'));
                const int nameStart = quoted ? j + 1 : j;
                const int nameEnd = identEnd(s, nameStart);
                if (nameEnd > nameStart) {
                    label = labelId(s.mid(nameStart, nameEnd - nameStart));
                    sc.mark(sc.i, int(s.size()), SyntaxKind::String);
                    sc.i = int(s.size());
                    ctx = nowdoc ? Nowdoc : Heredoc;
                } else {
                    sc.i += 3;
                }
            } else if (c == QLatin1Char('$') && sc.i + 1 < s.size() && identStart(s.at(sc.i + 1))) {
                const int e = identEnd(s, sc.i + 1);
                sc.mark(sc.i, e, SyntaxKind::Variable);
                sc.i = e;
            } else if (c.isDigit() || (c == QLatin1Char('.') && sc.i + 1 < s.size() && s.at(sc.i + 1).isDigit())) {
                int e = sc.i;
                if (sc.atCi("0x") || sc.atCi("0b")) {
                    e += 2;
                    while (e < s.size() && (s.at(e).isLetterOrNumber() || s.at(e) == QLatin1Char('_')))
                        ++e;
                } else {
                    while (e < s.size() && (s.at(e).isDigit() || s.at(e) == QLatin1Char('_') || s.at(e) == QLatin1Char('.')))
                        ++e;
                    if (e < s.size() && (s.at(e) == QLatin1Char('e') || s.at(e) == QLatin1Char('E'))) {
                        int k = e + 1;
                        if (k < s.size() && (s.at(k) == QLatin1Char('+') || s.at(k) == QLatin1Char('-')))
                            ++k;
                        if (k < s.size() && s.at(k).isDigit()) {
                            e = k;
                            while (e < s.size() && s.at(e).isDigit())
                                ++e;
                        }
                    }
                }
                sc.mark(sc.i, e, SyntaxKind::Number);
                sc.i = e;
            } else if (c == QLatin1Char('(')) {
                // A cast: "(" blanks type blanks ")".
                int j = sc.i + 1;
                while (j < s.size() && s.at(j).isSpace())
                    ++j;
                const int e = identEnd(s, j);
                int k = e;
                while (k < s.size() && s.at(k).isSpace())
                    ++k;
                if (e > j && k < s.size() && s.at(k) == QLatin1Char(')') && isCast(s.mid(j, e - j))) {
                    sc.mark(sc.i, k + 1, SyntaxKind::Cast);
                    sc.i = k + 1;
                } else {
                    ++sc.i;
                }
            } else if (identStart(c)) {
                const int e = identEnd(s, sc.i);
                const QString word = s.mid(sc.i, e - sc.i);
                // A name after "->" or "::" is a member, not a keyword.
                const bool member = sc.i >= 2 && (QStringView(s).mid(sc.i - 2, 2) == QLatin1String("->")
                                                  || QStringView(s).mid(sc.i - 2, 2) == QLatin1String("::"));
                if (!member && isKeyword(word))
                    sc.mark(sc.i, e, SyntaxKind::Keyword);
                else if (isConstant(word))
                    sc.mark(sc.i, e, SyntaxKind::Constant);
                sc.i = e;
            } else {
                ++sc.i;
            }
            break;
        }
        }
    }
    return ctx | (label << 4);
}
