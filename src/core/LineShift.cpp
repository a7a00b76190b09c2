// LineShift: a line's number before an edit, mapped to its number after it.
#include "core/LineShift.h"

int LineShift::lineAfter(int line) const
{
    if (line < firstLine || (line == firstLine && firstColumn > 0))
        return line;
    if (line <= lastLine)
        return landingLine;
    return line + lineDelta;
}
