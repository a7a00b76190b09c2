// EditTrail: where a line of a text stands after the edits made to it since a moment.
#pragma once

#include <QList>
#include <QString>

// The text as it stood at that moment, and each edit since as the editor reports it: at a place,
// so many characters removed and so many put in. A place moves as a cursor there would: text
// put in before it or at it pushes it on, and a place whose character an edit removed goes to
// where that edit's new text ends.
class EditTrail
{
public:
    // Starts anew from this text (lines joined by "\n").
    void reset(const QString &text);
    void record(int position, int removed, int added);

    // Where the start of this line (1-based) of the text at the start stands now, as a place in
    // the text of now; -1 for a line that text did not have.
    int lineStartNow(int line) const;

private:
    struct Edit
    {
        int position, removed, added;
    };
    QString m_text;
    QList<Edit> m_edits;
    mutable QList<int> m_lineStarts; // of m_text, found on the first question
};
