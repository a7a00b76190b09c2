// TextSearch: the search algorithms over plain strings.
#include "core/TextSearch.h"

int toEditorPosition(const QString &plain, int controlPosition)
{
    const int end = qBound(0, controlPosition, int(plain.size()));
    int breaks = 0;
    for (int i = 0; i < end; ++i)
        breaks += plain.at(i) == QLatin1Char('\n');
    return end + breaks;
}

int toControlPosition(const QString &plain, int editorPosition)
{
    int editor = 0;
    for (int i = 0; i < plain.size(); ++i) {
        const int width = plain.at(i) == QLatin1Char('\n') ? 2 : 1;
        // A position between CR and LF belongs to the end of the line.
        if (editor + width > editorPosition)
            return i;
        editor += width;
    }
    return int(plain.size());
}

QString withCrLf(const QString &plain)
{
    QString out = plain;
    out.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return out;
}

std::optional<LineHit> firstInLines(const std::function<std::optional<QString>()> &nextLine, const QString &searchText)
{
    // A line never holds a break: a text with one is found nowhere, and nothing need be read.
    if (searchText.isEmpty() || searchText.contains(QLatin1Char('\n')))
        return std::nullopt;
    for (int i = 0;; ++i) {
        const std::optional<QString> line = nextLine();
        if (!line)
            return std::nullopt;
        const qsizetype p = line->indexOf(searchText, 0, Qt::CaseSensitive);
        if (p >= 0)
            return LineHit{i, int(p)};
    }
}

bool isWordDelimiter(QChar c)
{
    const char16_t u = c.unicode();
    return !((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'));
}

QChar searchUpper(QChar c)
{
    // One character to one, as the code page's upper-casing does: ß stays ß.
    return c.toUpper();
}

std::optional<int> standardSearch(const QString &text, int selStart, int selLength, const QString &searchText,
                                  const SearchOptions &options)
{
    const int bufLen = int(text.size());
    const int len = int(searchText.size());
    if (bufLen <= 0 || len == 0)
        return std::nullopt;

    int dir, start, remaining;
    if (options.down) {
        dir = 1;
        start = selStart + selLength;
        remaining = bufLen - start - len + 1;
        if (remaining < 0 || start + remaining > bufLen)
            return std::nullopt;
    } else {
        dir = -1;
        start = selStart - len;
        remaining = start + 1;
    }
    if (start < 0 || start > bufLen)
        return std::nullopt;

    auto at = [&](int i) { return text.at(i); };
    auto skipWord = [&](int &pos) {
        // Forward: the rest of the word, then the delimiters; backward the other way round,
        // ending on the first character of the word.
        while (remaining > 0 && pos >= 0 && pos < bufLen && ((dir == 1) != isWordDelimiter(at(pos)))) {
            pos += dir;
            --remaining;
        }
        while (remaining > 0 && pos >= 0 && pos < bufLen && ((dir == -1) != isWordDelimiter(at(pos)))) {
            pos += dir;
            --remaining;
        }
        if (dir == -1) {
            // Back onto the word's first character; a word at the very start counts too.
            pos -= dir;
            ++remaining;
        }
        return remaining > 0;
    };

    int pos = start;
    while (remaining > 0) {
        int k = 0;
        if (options.matchCase) {
            while (k < len && at(pos + k) == searchText.at(k))
                ++k;
        } else {
            while (k < len && searchUpper(at(pos + k)) == searchUpper(searchText.at(k)))
                ++k;
        }
        if (k == len) {
            const bool last = remaining == 1;
            if (!options.wholeWord || last || pos + len >= bufLen || isWordDelimiter(at(pos + len)))
                return pos;
        }
        if (options.wholeWord && dir == 1) {
            // The next candidate is the beginning of the next word, counted from this candidate:
            // one step first would skip a word that begins right after a delimiter.
            if (!skipWord(pos))
                break;
            continue;
        }
        pos += dir;
        --remaining;
        if (options.wholeWord && !skipWord(pos))
            break;
    }
    return std::nullopt;
}

bool selectionMatches(const QString &text, int selStart, int selLength, const QString &searchText)
{
    return selLength > 0 && QStringView(text).mid(selStart, selLength).compare(searchText, Qt::CaseInsensitive) == 0;
}

std::optional<ReplacedText> replaceAll(const QString &text, int selStart, int selLength, const QString &searchText,
                                       const QString &replacement, SearchOptions options)
{
    options.down = true;
    const int findLength = int(searchText.size());
    // The selection, when it matches, counts with its own length.
    const bool selectionHit = selectionMatches(text, selStart, selLength, searchText);
    QList<int> hits;
    int from = selStart, fromLength = selLength;
    if (selectionHit) {
        hits << selStart;
        from = selStart + selLength;
        fromLength = 0;
    }
    // The text is searched as it stands: no search looks behind the occurrence before it, so
    // the replaced text would give the same occurrences.
    while (const auto found = standardSearch(text, from, fromLength, searchText, options)) {
        hits << *found;
        from = *found + findLength;
        fromLength = 0;
    }
    if (hits.isEmpty())
        return std::nullopt;

    ReplacedText out;
    out.count = int(hits.size());
    out.text.reserve(text.size() + hits.size() * (replacement.size() - findLength));
    out.pieces.reserve(hits.size());
    // Control positions count the CR LF pairs wholly before an editor position once; the
    // positions asked for only grow, so one walk over the text serves them all.
    int walked = 0, pairs = 0;
    auto controlPosition = [&](int editorPosition) {
        while (walked + 1 < editorPosition) {
            if (text[walked] == QLatin1Char('\r') && text[walked + 1] == QLatin1Char('\n')) {
                ++pairs;
                walked += 2;
            } else {
                ++walked;
            }
        }
        return editorPosition - pairs;
    };
    int copied = 0;
    for (int i = 0; i < hits.size(); ++i) {
        const int length = i == 0 && selectionHit ? selLength : findLength;
        out.text += QStringView(text).mid(copied, hits[i] - copied);
        out.text += replacement;
        copied = hits[i] + length;
        const int start = controlPosition(hits[i]);
        out.pieces.append({start, controlPosition(copied) - start});
    }
    // The caret stands where the unreplaced rest begins.
    out.caret = int(out.text.size());
    out.text += QStringView(text).mid(copied);
    return out;
}
