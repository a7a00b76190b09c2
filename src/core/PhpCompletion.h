// PhpCompletion: what the interpreter says it knows (its catalog), the names a document declares,
// and from both what fits at the caret: the words to complete and the call whose parameters
// the caret is in.
#pragma once

#include "core/PhpSyntax.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct PhpParameter
{
    QString name; // without "$"
    QString type;
    QString defaultValue; // as PHP writes it; empty: none known
    bool byReference = false;
    bool variadic = false;
    bool optional = false;

    // "array|string $search", "&$count = null", "mixed ...$values".
    QString text() const;
};

struct PhpRoutine
{
    QString name;
    QList<PhpParameter> parameters;
    QString returnType;
    bool isStatic = false;

    // "str_replace(array|string $search, …): array|string"; the parameter numbered current
    // (from 0; -1 none) between the markers given, everything else as it is.
    QString signature(int current = -1, const QString &before = QString(), const QString &after = QString()) const;
};

struct PhpClass
{
    QString name;
    QString kind; // class, interface, trait, enum
    QString parent;
    QList<PhpRoutine> methods;
    QStringList constants;
    QStringList properties;       // without "$"
    QStringList staticProperties; // without "$"
};

// What one interpreter knows, as it answered the catalog script.
class PhpCatalog
{
public:
    // The answer's version of its format; an answer or cache of another is not read.
    static constexpr int Format = 1;

    // Reads the catalog script's answer (JSON); nothing, with why, when it is not one.
    static std::optional<PhpCatalog> fromAnswer(const QByteArray &answer, QString *why = nullptr);
    // The cache file: a first line naming the interpreter as it was asked (its identity), then
    // the answer. Read back only when that line is the same and the answer reads.
    static QByteArray cacheFile(const QString &identity, const QByteArray &answer);
    static std::optional<PhpCatalog> fromCacheFile(const QByteArray &file, const QString &identity);

    QString version;
    QList<PhpRoutine> functions;
    QList<PhpClass> classes;
    QStringList constants;
    QStringList keywords;

    // Found as PHP finds them: without regard to case, with or without a leading "\".
    const PhpRoutine *function(QStringView name) const;
    const PhpClass *findClass(QStringView name) const;

private:
    void index();
    QHash<QString, int> m_functions; // lower-case name -> index
    QHash<QString, int> m_classes;
};

// The words PHP's syntax has, in the syntax table's order; the catalog script keeps those that
// the interpreter reads as its own words.
QStringList phpKeywordCandidates();
// The variables PHP defines for every script.
const QStringList &phpSuperglobals();

// What a document declares, read in one pass over its text (strings and comments skipped).
struct DocumentNames
{
    QList<PhpRoutine> functions;
    QList<PhpClass> classes;
    QStringList variables; // with "$", each once
    QStringList constants;
    QHash<QString, QString> instances; // "$x" -> the class of its `new`
    struct Span
    {
        int start;
        int end;
        int cls; // index in classes
    };
    QList<Span> classSpans; // class bodies, in order of their start

    const PhpClass *findClass(QStringView name) const;
    const PhpRoutine *function(QStringView name) const;
    // The class whose body holds this position, or nothing.
    const PhpClass *classAt(int position) const;
};
DocumentNames scanDocumentNames(QStringView text);

// What the caret stands after, where something can be completed.
struct CompletionSite
{
    enum Kind { None, Name, Variable, Member, Static };
    Kind kind = None;
    int start = 0;    // column where the word being completed starts
    QString prefix;   // what of it is typed ("$" included for a variable)
    QString receiver; // Member: the variable before "->"; Static: the class before "::"
};
// The caret's line, its colours as the highlighter made them, the PHP context the line starts
// in (SyntaxState::php), the caret's column.
CompletionSite completionSite(const QString &line, const QList<SyntaxRange> &ranges, int startContext, int column);

struct CompletionItem
{
    enum Kind { Keyword, Function, Class, Constant, Variable, Method, Property, ClassConstant };
    QString text;
    Kind kind;
    QString detail; // a routine's signature
};
// What fits the site, sorted without regard to case, each word once; enclosing is the class
// whose body the caret is in (for $this, self and static), or nothing. catalog may be null.
QList<CompletionItem> completions(const CompletionSite &site, const PhpCatalog *catalog, const DocumentNames &names,
                                  const PhpClass *enclosing);

// The call whose argument list the caret is in: the text before the caret with everything not
// code (strings, comments, HTML) blanked. Looks back no further than its statement.
struct CallSite
{
    enum Kind { None, Function, Method, Static, New };
    Kind kind = None;
    QString name;
    QString receiver;
    int argument = 0; // the argument the caret is in, from 0
};
CallSite callSiteBefore(QStringView code);
// The routine such a call calls, looked up in the document first, then in the catalog.
std::optional<PhpRoutine> calledRoutine(const CallSite &call, const PhpCatalog *catalog, const DocumentNames &names,
                                        const PhpClass *enclosing);
