// PhpCompletion: the catalog read from JSON, a one-pass scan of the document's declarations,
// and the look-ups the editor makes at the caret.
#include "core/PhpCompletion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace {

const QLatin1String CacheHeader("Korlith catalog ");

bool isWordStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

bool isWordChar(QChar c)
{
    return isWordStart(c) || c.isDigit();
}

QString plainName(QStringView name)
{
    if (name.startsWith(QLatin1Char('\\')))
        name = name.mid(1);
    return name.toString().toLower();
}

PhpRoutine routineFrom(const QJsonObject &o)
{
    PhpRoutine r;
    r.name = o.value(QLatin1String("n")).toString();
    r.returnType = o.value(QLatin1String("t")).toString();
    r.isStatic = o.value(QLatin1String("s")).toInt() != 0;
    for (const QJsonValue &v : o.value(QLatin1String("p")).toArray()) {
        const QJsonObject p = v.toObject();
        PhpParameter parameter;
        parameter.name = p.value(QLatin1String("n")).toString();
        parameter.type = p.value(QLatin1String("t")).toString();
        parameter.defaultValue = p.value(QLatin1String("d")).toString();
        parameter.byReference = p.value(QLatin1String("r")).toInt() != 0;
        parameter.variadic = p.value(QLatin1String("v")).toInt() != 0;
        parameter.optional = p.value(QLatin1String("o")).toInt() != 0;
        r.parameters.append(parameter);
    }
    return r;
}

QStringList stringsFrom(const QJsonValue &v)
{
    QStringList out;
    for (const QJsonValue &s : v.toArray())
        if (s.isString())
            out.append(s.toString());
    return out;
}

// A parameter as a declaration writes it: "?int $a = 5", "&...$rest", "public readonly string $x".
PhpParameter parameterFrom(QStringView text)
{
    PhpParameter p;
    text = text.trimmed();
    const qsizetype dollar = text.indexOf(QLatin1Char('$'));
    if (dollar < 0)
        return p;
    qsizetype end = dollar + 1;
    while (end < text.size() && isWordChar(text[end]))
        ++end;
    p.name = text.mid(dollar + 1, end - dollar - 1).toString();
    QStringView before = text.left(dollar).trimmed();
    if (before.endsWith(QLatin1String("..."))) {
        p.variadic = true;
        before = before.chopped(3).trimmed();
    }
    if (before.endsWith(QLatin1Char('&'))) {
        p.byReference = true;
        before = before.chopped(1).trimmed();
    }
    // A promoted constructor parameter's modifiers are not its type.
    QStringList words;
    for (QStringView w : before.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        static const QSet<QString> modifiers = {"public", "protected", "private", "readonly"};
        if (!modifiers.contains(w.toString().toLower()))
            words.append(w.toString());
    }
    p.type = words.join(QLatin1Char(' '));
    const QStringView after = text.mid(end).trimmed();
    if (after.startsWith(QLatin1Char('='))) {
        p.optional = true;
        p.defaultValue = after.mid(1).trimmed().toString();
    }
    return p;
}

// The parameters between a declaration's parentheses, split at the commas outside brackets.
QList<PhpParameter> parametersFrom(QStringView list)
{
    QList<PhpParameter> out;
    int depth = 0;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= list.size(); ++i) {
        const QChar c = i < list.size() ? list[i] : QLatin1Char(',');
        if (c == QLatin1Char('(') || c == QLatin1Char('[') || c == QLatin1Char('{'))
            ++depth;
        else if (c == QLatin1Char(')') || c == QLatin1Char(']') || c == QLatin1Char('}'))
            --depth;
        else if (c == QLatin1Char(',') && depth <= 0) {
            PhpParameter p = parameterFrom(list.mid(from, i - from));
            if (!p.name.isEmpty())
                out.append(p);
            from = i + 1;
        }
    }
    return out;
}

} // namespace

QString PhpParameter::text() const
{
    QString out = type;
    if (!out.isEmpty())
        out += QLatin1Char(' ');
    if (byReference)
        out += QLatin1Char('&');
    if (variadic)
        out += QLatin1String("...");
    out += QLatin1Char('$') + name;
    if (!defaultValue.isEmpty())
        out += QLatin1String(" = ") + defaultValue;
    else if (optional)
        out = QLatin1Char('[') + out + QLatin1Char(']');
    return out;
}

QString PhpRoutine::signature(int current, const QString &before, const QString &after) const
{
    QString out = name + QLatin1Char('(');
    for (int i = 0; i < parameters.size(); ++i) {
        if (i > 0)
            out += QLatin1String(", ");
        // The last parameter of a variadic routine takes every argument from its place on.
        const bool marked = i == current || (i == parameters.size() - 1 && parameters[i].variadic && current > i);
        out += marked ? before + parameters[i].text() + after : parameters[i].text();
    }
    out += QLatin1Char(')');
    if (!returnType.isEmpty())
        out += QLatin1String(": ") + returnType;
    return out;
}

std::optional<PhpCatalog> PhpCatalog::fromAnswer(const QByteArray &answer, QString *why)
{
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(answer, &error);
    const QJsonObject o = json.object();
    if (error.error != QJsonParseError::NoError || !json.isObject()) {
        if (why)
            *why = error.errorString();
        return std::nullopt;
    }
    if (o.value(QLatin1String("format")).toInt() != Format || !o.value(QLatin1String("functions")).isArray()
        || !o.value(QLatin1String("classes")).isArray()) {
        if (why)
            *why = QStringLiteral("not a catalog");
        return std::nullopt;
    }
    PhpCatalog c;
    c.version = o.value(QLatin1String("version")).toString();
    for (const QJsonValue &f : o.value(QLatin1String("functions")).toArray())
        c.functions.append(routineFrom(f.toObject()));
    for (const QJsonValue &v : o.value(QLatin1String("classes")).toArray()) {
        const QJsonObject k = v.toObject();
        PhpClass cls;
        cls.name = k.value(QLatin1String("n")).toString();
        cls.kind = k.value(QLatin1String("k")).toString();
        cls.parent = k.value(QLatin1String("e")).toString();
        for (const QJsonValue &m : k.value(QLatin1String("m")).toArray())
            cls.methods.append(routineFrom(m.toObject()));
        cls.constants = stringsFrom(k.value(QLatin1String("c")));
        for (const QJsonValue &p : k.value(QLatin1String("p")).toArray()) {
            const QJsonObject property = p.toObject();
            (property.value(QLatin1String("s")).toInt() ? cls.staticProperties : cls.properties)
                .append(property.value(QLatin1String("n")).toString());
        }
        c.classes.append(cls);
    }
    c.constants = stringsFrom(o.value(QLatin1String("constants")));
    c.keywords = stringsFrom(o.value(QLatin1String("keywords")));
    c.index();
    return c;
}

QByteArray PhpCatalog::cacheFile(const QString &identity, const QByteArray &answer)
{
    QString header = identity;
    header.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return (CacheHeader + QString::number(Format) + QLatin1Char(' ') + header + QLatin1Char('\n')).toUtf8() + answer;
}

std::optional<PhpCatalog> PhpCatalog::fromCacheFile(const QByteArray &file, const QString &identity)
{
    const qsizetype lineEnd = file.indexOf('\n');
    if (lineEnd < 0 || !file.startsWith(cacheFile(identity, QByteArray())))
        return std::nullopt;
    if (lineEnd + 1 != cacheFile(identity, QByteArray()).size())
        return std::nullopt;
    return fromAnswer(file.mid(lineEnd + 1));
}

void PhpCatalog::index()
{
    for (int i = 0; i < functions.size(); ++i)
        m_functions.insert(functions[i].name.toLower(), i);
    for (int i = 0; i < classes.size(); ++i)
        m_classes.insert(classes[i].name.toLower(), i);
}

const PhpRoutine *PhpCatalog::function(QStringView name) const
{
    const auto it = m_functions.constFind(plainName(name));
    return it == m_functions.constEnd() ? nullptr : &functions[*it];
}

const PhpClass *PhpCatalog::findClass(QStringView name) const
{
    const auto it = m_classes.constFind(plainName(name));
    return it == m_classes.constEnd() ? nullptr : &classes[*it];
}

QStringList phpKeywordCandidates()
{
    QStringList words = PhpSyntax::keywordList();
    words << QStringLiteral("true") << QStringLiteral("false") << QStringLiteral("null");
    return words;
}

const QStringList &phpSuperglobals()
{
    static const QStringList names = {"$GLOBALS", "$_COOKIE", "$_ENV", "$_FILES", "$_GET",
                                      "$_POST", "$_REQUEST", "$_SERVER", "$_SESSION"};
    return names;
}

// ---- the document's own names ----

namespace {

class Scanner
{
public:
    explicit Scanner(QStringView text) : t(text), n(text.size()) {}

    DocumentNames run()
    {
        while (i < n) {
            if (!inPhp)
                html();
            else
                code();
        }
        for (const Open &o : std::as_const(bodies))
            out.classSpans.append({o.start, int(n), o.cls});
        std::sort(out.classSpans.begin(), out.classSpans.end(),
                  [](const DocumentNames::Span &a, const DocumentNames::Span &b) { return a.start < b.start; });
        return out;
    }

private:
    struct Open
    {
        int depth; // the brace depth inside the body
        int start;
        int cls;
    };

    bool at(qsizetype p, QLatin1String s) const
    {
        return t.mid(p, s.size()).compare(s, Qt::CaseInsensitive) == 0;
    }

    void html()
    {
        const qsizetype open = t.indexOf(QLatin1String("<?"), i);
        if (open < 0) {
            i = n;
            return;
        }
        i = open + 2;
        if (at(i, QLatin1String("php")))
            i += 3;
        else if (at(i, QLatin1String("=")))
            i += 1;
        else
            return; // short tags are off by default: still HTML
        inPhp = true;
    }

    void skipTo(QLatin1String end, bool endsAtCloseTag)
    {
        for (; i < n; ++i) {
            if (endsAtCloseTag && (t[i] == QLatin1Char('\n') || at(i, QLatin1String("?>"))))
                return;
            if (at(i, end)) {
                i += end.size();
                return;
            }
        }
    }

    void skipQuoted(QChar quote)
    {
        for (++i; i < n; ++i) {
            if (t[i] == QLatin1Char('\\'))
                ++i;
            else if (t[i] == quote) {
                ++i;
                return;
            }
        }
    }

    void skipHeredoc()
    {
        qsizetype p = i + 3;
        while (p < n && (t[p] == QLatin1Char(' ') || t[p] == QLatin1Char('\t')))
            ++p;
        const bool quoted = p < n && (t[p] == QLatin1Char('\'') || t[p] == QLatin1Char('"'));
        if (quoted)
            ++p;
        const qsizetype from = p;
        while (p < n && isWordChar(t[p]))
            ++p;
        const QStringView label = t.mid(from, p - from);
        if (label.isEmpty()) {
            i += 3;
            return;
        }
        // The body ends at a line whose first non-blank word is the label.
        for (qsizetype line = t.indexOf(QLatin1Char('\n'), p); line >= 0; line = t.indexOf(QLatin1Char('\n'), line + 1)) {
            qsizetype q = line + 1;
            while (q < n && (t[q] == QLatin1Char(' ') || t[q] == QLatin1Char('\t')))
                ++q;
            if (t.mid(q, label.size()) == label && (q + label.size() >= n || !isWordChar(t[q + label.size()]))) {
                i = q + label.size();
                return;
            }
        }
        i = n;
    }

    void skipBlanks(qsizetype &p) const
    {
        while (p < n && t[p].isSpace())
            ++p;
    }

    QString wordAt(qsizetype &p, bool qualified) const
    {
        const qsizetype from = p;
        while (p < n && (isWordChar(t[p]) || (qualified && t[p] == QLatin1Char('\\'))))
            ++p;
        return t.mid(from, p - from).toString();
    }

    // The character before p that is not blank, or nothing.
    QChar before(qsizetype p) const
    {
        while (p > 0 && t[p - 1].isSpace())
            --p;
        return p > 0 ? t[p - 1] : QChar();
    }

    int innerClass() const
    {
        return !bodies.isEmpty() && bodies.last().depth == depth ? bodies.last().cls : -1;
    }

    void variable()
    {
        qsizetype p = i + 1;
        const QString name = QLatin1Char('$') + wordAt(p, false);
        if (innerClass() >= 0 && parens == 0 && name != QLatin1String("$this")) {
            PhpClass &cls = out.classes[innerClass()];
            (lastWord == QLatin1String("static") ? cls.staticProperties : cls.properties).append(name.mid(1));
        } else if (name != QLatin1String("$this") && !seenVariables.contains(name)) {
            seenVariables.insert(name);
            out.variables.append(name);
        }
        // "$x = new Name"
        qsizetype q = p;
        skipBlanks(q);
        if (q < n && t[q] == QLatin1Char('=') && (q + 1 >= n || t[q + 1] != QLatin1Char('='))) {
            ++q;
            skipBlanks(q);
            if (at(q, QLatin1String("new")) && q + 3 < n && t[q + 3].isSpace()) {
                q += 3;
                skipBlanks(q);
                const QString cls = wordAt(q, true);
                if (!cls.isEmpty())
                    out.instances.insert(name, cls);
            }
        }
        i = p;
    }

    void function()
    {
        qsizetype p = i;
        skipBlanks(p);
        if (p < n && t[p] == QLatin1Char('&')) {
            ++p;
            skipBlanks(p);
        }
        PhpRoutine r;
        r.name = wordAt(p, false);
        if (r.name.isEmpty())
            return; // a closure
        const qsizetype named = p; // the parameters are scanned next, as the document's variables
        skipBlanks(p);
        if (p < n && t[p] == QLatin1Char('(')) {
            const qsizetype open = p + 1;
            int level = 1;
            for (++p; p < n && level > 0; ++p) {
                if (t[p] == QLatin1Char('('))
                    ++level;
                else if (t[p] == QLatin1Char(')'))
                    --level;
                else if (t[p] == QLatin1Char('{') || t[p] == QLatin1Char(';'))
                    break; // not a parameter list after all
            }
            if (level == 0) {
                r.parameters = parametersFrom(t.mid(open, p - 1 - open));
                qsizetype q = p;
                skipBlanks(q);
                if (q < n && t[q] == QLatin1Char(':')) {
                    ++q;
                    skipBlanks(q);
                    const qsizetype from = q;
                    while (q < n && t[q] != QLatin1Char('{') && t[q] != QLatin1Char(';'))
                        ++q;
                    r.returnType = t.mid(from, q - from).trimmed().toString();
                }
            }
        }
        r.isStatic = staticRoutine;
        const int cls = innerClass();
        if (cls >= 0)
            out.classes[cls].methods.append(r);
        else
            out.functions.append(r);
        i = qMax(i, named);
    }

    void word()
    {
        const qsizetype from = i;
        const QString w = wordAt(i, true);
        const QString lower = w.toLower();
        const QChar prior = before(from);
        // A member's name ("$a->class", "X::function") is not a declaration.
        const bool member = prior == QLatin1Char('>') || prior == QLatin1Char(':');
        if (member) {
            lastWord.clear();
            return;
        }
        if (lower == QLatin1String("function") || lower == QLatin1String("fn")) {
            if (lower == QLatin1String("function"))
                function();
        } else if (lower == QLatin1String("class") || lower == QLatin1String("interface") || lower == QLatin1String("trait")
                   || lower == QLatin1String("enum")) {
            qsizetype p = i;
            skipBlanks(p);
            const QString name = wordAt(p, false);
            // "new class(...)" is no declaration, nor "enum" where it is a name.
            bool declares = !name.isEmpty() && lastWord != QLatin1String("new");
            if (declares && lower == QLatin1String("enum")) {
                qsizetype q = p;
                skipBlanks(q);
                declares = q < n && (t[q] == QLatin1Char('{') || t[q] == QLatin1Char(':') || at(q, QLatin1String("implements")));
            }
            if (declares) {
                PhpClass cls;
                cls.name = name;
                cls.kind = lower;
                out.classes.append(cls);
                pending = int(out.classes.size()) - 1;
                i = p;
            }
        } else if (lower == QLatin1String("extends") && pending >= 0) {
            qsizetype p = i;
            skipBlanks(p);
            out.classes[pending].parent = wordAt(p, true);
            i = p;
        } else if (lower == QLatin1String("const")) {
            qsizetype p = i;
            skipBlanks(p);
            QString name = wordAt(p, false);
            // "const int X = 1" names a type first.
            qsizetype q = p;
            skipBlanks(q);
            if (q < n && isWordStart(t[q]))
                name = wordAt(q, false), p = q;
            if (!name.isEmpty())
                (innerClass() >= 0 ? out.classes[innerClass()].constants : out.constants).append(name);
            i = p;
        }
        staticRoutine = lower == QLatin1String("static") || (staticRoutine && lower != QLatin1String("function")
                                                              && (lower == QLatin1String("public")
                                                                  || lower == QLatin1String("private")
                                                                  || lower == QLatin1String("protected")
                                                                  || lower == QLatin1String("final")
                                                                  || lower == QLatin1String("abstract")));
        if (lower == QLatin1String("function"))
            staticRoutine = false;
        lastWord = lower;
    }

    void code()
    {
        const QChar c = t[i];
        if (c == QLatin1Char('?') && i + 1 < n && t[i + 1] == QLatin1Char('>')) {
            inPhp = false;
            i += 2;
        } else if (c == QLatin1Char('#') && !(i + 1 < n && t[i + 1] == QLatin1Char('['))) {
            skipTo(QLatin1String("\n"), true);
        } else if (c == QLatin1Char('/') && i + 1 < n && t[i + 1] == QLatin1Char('/')) {
            skipTo(QLatin1String("\n"), true);
        } else if (c == QLatin1Char('/') && i + 1 < n && t[i + 1] == QLatin1Char('*')) {
            i += 2;
            skipTo(QLatin1String("*/"), false);
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
            skipQuoted(c);
        } else if (at(i, QLatin1String("<<<"))) {
            skipHeredoc();
        } else if (c == QLatin1Char('$') && i + 1 < n && isWordStart(t[i + 1])) {
            variable();
            lastWord.clear();
        } else if (isWordStart(c) || c == QLatin1Char('\\')) {
            word();
        } else if (c == QLatin1Char('(')) {
            ++parens;
            ++i;
        } else if (c == QLatin1Char(')')) {
            parens = qMax(0, parens - 1);
            ++i;
        } else if (c == QLatin1Char('{')) {
            ++depth;
            if (pending >= 0) {
                bodies.append({depth, int(i), pending});
                pending = -1;
            }
            ++i;
        } else if (c == QLatin1Char('}')) {
            if (!bodies.isEmpty() && bodies.last().depth == depth) {
                out.classSpans.append({bodies.last().start, int(i), bodies.last().cls});
                bodies.removeLast();
            }
            depth = qMax(0, depth - 1);
            ++i;
        } else {
            if (c == QLatin1Char(';'))
                pending = -1, lastWord.clear(), staticRoutine = false;
            ++i;
        }
    }

    QStringView t;
    qsizetype n;
    qsizetype i = 0;
    bool inPhp = false;
    int depth = 0;
    int parens = 0;
    int pending = -1; // a class declared, its body not yet open
    QList<Open> bodies;
    QString lastWord;
    bool staticRoutine = false;
    QSet<QString> seenVariables;
    DocumentNames out;
};

} // namespace

DocumentNames scanDocumentNames(QStringView text)
{
    return Scanner(text).run();
}

const PhpClass *DocumentNames::findClass(QStringView name) const
{
    const QString wanted = plainName(name);
    for (const PhpClass &c : classes)
        if (c.name.toLower() == wanted)
            return &c;
    return nullptr;
}

const PhpRoutine *DocumentNames::function(QStringView name) const
{
    const QString wanted = plainName(name);
    for (const PhpRoutine &f : functions)
        if (f.name.toLower() == wanted)
            return &f;
    return nullptr;
}

const PhpClass *DocumentNames::classAt(int position) const
{
    const PhpClass *found = nullptr;
    // Spans nest: the last one that holds the position is the innermost.
    for (const Span &s : classSpans) {
        if (s.start > position)
            break;
        if (position <= s.end)
            found = &classes[s.cls];
    }
    return found;
}

// ---- at the caret ----

CompletionSite completionSite(const QString &line, const QList<SyntaxRange> &ranges, int startContext, int column)
{
    CompletionSite site;
    column = qBound(0, column, int(line.size()));
    int start = column;
    while (start > 0 && (isWordChar(line[start - 1]) || line[start - 1] == QLatin1Char('\\')))
        --start;
    if (start < column && line[start].isDigit())
        return site; // a number
    const bool variable = start > 0 && line[start - 1] == QLatin1Char('$');
    if (variable)
        --start;
    // Where the word starts, or what the caret follows, must be code.
    const int probe = start < column ? start : column - 1;
    bool code = false;
    if (probe < 0) {
        code = startContext == SyntaxState::Code;
    } else {
        for (const SyntaxRange &r : ranges)
            if (probe >= r.start && probe < r.start + r.length) {
                switch (r.kind) {
                case SyntaxKind::Code:
                case SyntaxKind::Keyword:
                case SyntaxKind::Variable:
                case SyntaxKind::Constant:
                case SyntaxKind::Cast: code = true; break;
                default: break;
                }
                break;
            }
    }
    if (!code)
        return site;
    site.start = start;
    site.prefix = line.mid(start, column - start);
    if (variable) {
        site.kind = CompletionSite::Variable;
        return site;
    }
    int p = start;
    while (p > 0 && line[p - 1].isSpace())
        --p;
    if (p >= 2 && line.mid(p - 2, 2) == QLatin1String("->")) {
        int r = p - 2;
        if (r > 0 && line[r - 1] == QLatin1Char('?'))
            --r; // "?->"
        while (r > 0 && line[r - 1].isSpace())
            --r;
        int from = r;
        while (from > 0 && isWordChar(line[from - 1]))
            --from;
        if (from > 0 && line[from - 1] == QLatin1Char('$') && from < r)
            site.receiver = line.mid(from - 1, r - from + 1);
        site.kind = CompletionSite::Member;
        return site;
    }
    if (p >= 2 && line.mid(p - 2, 2) == QLatin1String("::")) {
        int r = p - 2;
        int from = r;
        while (from > 0 && (isWordChar(line[from - 1]) || line[from - 1] == QLatin1Char('\\')))
            --from;
        site.receiver = line.mid(from, r - from);
        site.kind = CompletionSite::Static;
        return site;
    }
    site.kind = CompletionSite::Name;
    return site;
}

namespace {

// A class and its parents, the document's declaration before the catalog's, a bounded chain.
QList<const PhpClass *> lineage(QStringView name, const PhpCatalog *catalog, const DocumentNames &names)
{
    QList<const PhpClass *> out;
    QString next = name.toString();
    for (int step = 0; step < 16 && !next.isEmpty(); ++step) {
        const PhpClass *c = names.findClass(next);
        if (!c && catalog)
            c = catalog->findClass(next);
        if (!c || out.contains(c))
            break;
        out.append(c);
        next = c->parent;
    }
    return out;
}

QString receiverClass(const CompletionSite &site, const PhpClass *enclosing, const DocumentNames &names)
{
    const QString lower = site.receiver.toLower();
    if (site.kind == CompletionSite::Member) {
        if (lower == QLatin1String("$this"))
            return enclosing ? enclosing->name : QString();
        return names.instances.value(site.receiver);
    }
    if (lower == QLatin1String("self") || lower == QLatin1String("static"))
        return enclosing ? enclosing->name : QString();
    if (lower == QLatin1String("parent"))
        return enclosing ? enclosing->parent : QString();
    return site.receiver;
}

} // namespace

QList<CompletionItem> completions(const CompletionSite &site, const PhpCatalog *catalog, const DocumentNames &names,
                                  const PhpClass *enclosing)
{
    QList<CompletionItem> out;
    if (site.kind == CompletionSite::None)
        return out;
    QSet<QString> seen;
    const auto add = [&](const QString &text, CompletionItem::Kind kind, const QString &detail = QString()) {
        if (text.isEmpty() || !text.startsWith(site.prefix, Qt::CaseInsensitive) || seen.contains(text))
            return;
        seen.insert(text);
        out.append({text, kind, detail});
    };
    switch (site.kind) {
    case CompletionSite::None: break;
    case CompletionSite::Variable:
        // The one being typed is among the document's variables already.
        for (const QString &v : names.variables)
            if (v != site.prefix)
                add(v, CompletionItem::Variable);
        for (const QString &v : phpSuperglobals())
            add(v, CompletionItem::Variable);
        if (enclosing)
            add(QStringLiteral("$this"), CompletionItem::Variable);
        break;
    case CompletionSite::Name:
        for (const PhpRoutine &f : names.functions)
            add(f.name, CompletionItem::Function, f.signature());
        for (const PhpClass &c : names.classes)
            add(c.name, CompletionItem::Class);
        for (const QString &c : names.constants)
            add(c, CompletionItem::Constant);
        if (catalog) {
            for (const QString &k : catalog->keywords)
                add(k, CompletionItem::Keyword);
            for (const PhpRoutine &f : catalog->functions)
                add(f.name, CompletionItem::Function, f.signature());
            for (const PhpClass &c : catalog->classes)
                add(c.name, CompletionItem::Class);
            for (const QString &c : catalog->constants)
                add(c, CompletionItem::Constant);
        } else {
            for (const QString &k : phpKeywordCandidates())
                add(k, CompletionItem::Keyword);
        }
        break;
    case CompletionSite::Member:
    case CompletionSite::Static: {
        const bool statics = site.kind == CompletionSite::Static;
        for (const PhpClass *c : lineage(receiverClass(site, enclosing, names), catalog, names)) {
            for (const PhpRoutine &m : c->methods)
                add(m.name, CompletionItem::Method, m.signature());
            if (statics) {
                for (const QString &k : c->constants)
                    add(k, CompletionItem::ClassConstant);
                for (const QString &p : c->staticProperties)
                    add(QLatin1Char('$') + p, CompletionItem::Property);
            } else {
                for (const QString &p : c->properties)
                    add(p, CompletionItem::Property);
            }
        }
        if (statics && !site.receiver.isEmpty())
            add(QStringLiteral("class"), CompletionItem::Keyword);
        break;
    }
    }
    std::stable_sort(out.begin(), out.end(), [](const CompletionItem &a, const CompletionItem &b) {
        return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
    });
    return out;
}

CallSite callSiteBefore(QStringView code)
{
    CallSite call;
    int depth = 0;
    int argument = 0;
    qsizetype p = code.size();
    for (; p > 0; --p) {
        const QChar c = code[p - 1];
        if (c == QLatin1Char(')') || c == QLatin1Char(']') || c == QLatin1Char('}')) {
            ++depth;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('[') || c == QLatin1Char('{')) {
            if (depth == 0) {
                if (c != QLatin1Char('('))
                    return call; // an array or a block, not a call
                break;
            }
            --depth;
        } else if (depth == 0 && c == QLatin1Char(',')) {
            ++argument;
        } else if (depth == 0 && c == QLatin1Char(';')) {
            return call;
        }
    }
    if (p == 0)
        return call;
    qsizetype end = p - 1; // the "("
    while (end > 0 && code[end - 1].isSpace())
        --end;
    qsizetype from = end;
    while (from > 0 && (isWordChar(code[from - 1]) || code[from - 1] == QLatin1Char('\\')))
        --from;
    if (from == end || code[from].isDigit())
        return call;
    call.name = code.mid(from, end - from).toString();
    call.argument = argument;
    qsizetype q = from;
    while (q > 0 && code[q - 1].isSpace())
        --q;
    const QStringView lead = code.left(q);
    if (lead.endsWith(QLatin1String("->"))) {
        qsizetype r = q - 2;
        if (r > 0 && code[r - 1] == QLatin1Char('?'))
            --r;
        while (r > 0 && code[r - 1].isSpace())
            --r;
        qsizetype v = r;
        while (v > 0 && isWordChar(code[v - 1]))
            --v;
        if (v > 0 && code[v - 1] == QLatin1Char('$') && v < r)
            call.receiver = code.mid(v - 1, r - v + 1).toString();
        call.kind = CallSite::Method;
    } else if (lead.endsWith(QLatin1String("::"))) {
        qsizetype v = q - 2;
        while (v > 0 && (isWordChar(code[v - 1]) || code[v - 1] == QLatin1Char('\\')))
            --v;
        call.receiver = code.mid(v, q - 2 - v).toString();
        call.kind = CallSite::Static;
    } else {
        qsizetype v = q;
        while (v > 0 && isWordChar(code[v - 1]))
            --v;
        const QString before = code.mid(v, q - v).toString().toLower();
        if (before == QLatin1String("function") || before == QLatin1String("fn"))
            return CallSite(); // a declaration's own list
        call.kind = before == QLatin1String("new") ? CallSite::New : CallSite::Function;
    }
    return call;
}

std::optional<PhpRoutine> calledRoutine(const CallSite &call, const PhpCatalog *catalog, const DocumentNames &names,
                                        const PhpClass *enclosing)
{
    const auto method = [&](const QString &cls, const QString &name) -> std::optional<PhpRoutine> {
        for (const PhpClass *c : lineage(cls, catalog, names))
            for (const PhpRoutine &m : c->methods)
                if (m.name.compare(name, Qt::CaseInsensitive) == 0)
                    return m;
        return std::nullopt;
    };
    switch (call.kind) {
    case CallSite::None: return std::nullopt;
    case CallSite::Function:
        if (const PhpRoutine *f = names.function(call.name))
            return *f;
        if (const PhpRoutine *f = catalog ? catalog->function(call.name) : nullptr)
            return *f;
        return std::nullopt;
    case CallSite::New: {
        std::optional<PhpRoutine> r = method(call.name, QStringLiteral("__construct"));
        if (r)
            r->name = call.name; // shown as it is written: "new Name("
        return r;
    }
    case CallSite::Method:
    case CallSite::Static: {
        CompletionSite site;
        site.kind = call.kind == CallSite::Method ? CompletionSite::Member : CompletionSite::Static;
        site.receiver = call.receiver;
        return method(receiverClass(site, enclosing, names), call.name);
    }
    }
    return std::nullopt;
}
