// TextSearch: the line search and the standard search, in editor positions.
//
// Editor positions count every line break as two characters (CR LF); the editor control
// counts one. The two conversions below are the one place that maps between them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// plain: the editor's text with "\n" line breaks.
int toEditorPosition(const QString &plain, int controlPosition);
int toControlPosition(const QString &plain, int editorPosition);

// The editor's text with CR LF line breaks, as the standard search sees it.
QString withCrLf(const QString &plain);

// The line search: case-sensitive, each line from the first, for the first occurrence; its
// line (0-based) and column, or nothing. An empty text or one with a line break is never found.
// nextLine gives each line in turn (an editor's lines, without copying its whole text) and
// nothing after the last; it is not asked again once the occurrence is found.
struct LineHit
{
    int line = 0;
    int column = 0;
};
std::optional<LineHit> firstInLines(const std::function<std::optional<QString>()> &nextLine, const QString &searchText);

struct SearchOptions
{
    bool down = true;
    bool matchCase = false;
    bool wholeWord = false;
};

// Every character but A-Z, a-z and 0-9.
bool isWordDelimiter(QChar c);

// The standard search from the selection (editor positions over text with CR LF breaks):
// the position of the first match, or nothing.
std::optional<int> standardSearch(const QString &text, int selStart, int selLength, const QString &searchText,
                                  const SearchOptions &options);

// Whether the selection (editor positions) is the search text, whatever its case: Replace
// replaces it before it searches on.
bool selectionMatches(const QString &text, int selStart, int selLength, const QString &searchText);

struct ReplacedText
{
    QString text;  // with CR LF breaks, as it came in
    int caret = 0; // after the replacement made last, in editor positions of the new text
    int count = 0;
    // Each replaced occurrence in the editor control's positions (one character per line
    // break) of the text before: start and length, in order. A line break whose CR LF an
    // occurrence splits stays.
    struct Piece
    {
        int start, length;
    };
    QList<Piece> pieces;
};

// Replace-all downward from the selection (editor positions over text with CR LF breaks):
// a selection that matches the search text is replaced first, with its own length, and then
// each occurrence the standard search finds after the one before. Each search goes on after
// the occurrence just replaced, so a replacement that holds the search text is not found
// again. Nothing when there is no occurrence.
std::optional<ReplacedText> replaceAll(const QString &text, int selStart, int selLength, const QString &searchText,
                                       const QString &replacement, SearchOptions options);

// ANSI-style upper-casing of one character, as the search compares without match case.
QChar searchUpper(QChar c);
