// EditTrail: places carried through the edits in the order they were made.
#include "core/EditTrail.h"

void EditTrail::reset(const QString &text)
{
    m_text = text;
    m_edits.clear();
    m_lineStarts.clear();
}

void EditTrail::record(int position, int removed, int added)
{
    m_edits.append({position, removed, added});
}

int EditTrail::lineStartNow(int line) const
{
    if (m_lineStarts.isEmpty()) {
        m_lineStarts.append(0);
        for (qsizetype i = m_text.indexOf(QLatin1Char('\n')); i >= 0; i = m_text.indexOf(QLatin1Char('\n'), i + 1))
            m_lineStarts.append(int(i + 1));
    }
    if (line < 1 || line > m_lineStarts.size())
        return -1;
    int place = m_lineStarts[line - 1];
    for (const Edit &e : m_edits) {
        if (place < e.position)
            continue;
        if (place >= e.position + e.removed)
            place += e.added - e.removed;
        else
            place = e.position + e.added;
    }
    return place;
}
