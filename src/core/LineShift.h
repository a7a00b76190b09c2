// LineShift: where the lines of a text stand after one edit of it.
#pragma once

// The edit replaced the text between two places with new text. A line keeps its number before
// the edit's start; a line whose start the edit removed, or whose start the new text went in
// at, moves to where the new text ends; every later line moves by the lines the edit added.
// This is where a cursor at the line's start stands after the edit.
struct LineShift
{
    int firstLine = 1;   // the edit's start, before it: line (1-based) and column
    int firstColumn = 0;
    int lastLine = 1;    // the line of the edit's end, before it
    int landingLine = 1; // the line where the new text ends, after it
    int lineDelta = 0;   // lines after the edit minus lines before

    int lineAfter(int line) const;
};
