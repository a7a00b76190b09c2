// EditorPalette: the editor's colours, a light and a dark set, chosen by the system palette.
#pragma once

#include "core/PhpSyntax.h"

#include <QColor>
#include <QPalette>
#include <QTextCharFormat>

struct EditorColours
{
    struct Syntax
    {
        SyntaxKind kind;
        QColor colour;
        bool bold;
        bool italic;
    };
    QList<Syntax> syntax; // the classes with a colour of their own; the rest is text
    QColor background, text, currentLine;
    QColor gutterBackground, gutterText, gutterCurrentText;
    QColor errorMark, warningMark, markedNumber; // a marked line's number stands on its mark
    // Selected text has a colour of its own on the selection (the desktop's pair may read at
    // less than 4.5:1); the inactive pair while another window has the keyboard.
    QColor selection, selectedText, inactiveSelection, inactiveSelectedText;
};

namespace EditorPalette {

const EditorColours &light();
const EditorColours &dark();
// The set for a palette: dark where its text background is dark.
const EditorColours &forPalette(const QPalette &palette);
// The set for the application's palette now.
const EditorColours &current();

QTextCharFormat format(const EditorColours &colours, SyntaxKind kind);

// WCAG's contrast ratio of two colours, 1 to 21.
double contrast(const QColor &a, const QColor &b);

} // namespace EditorPalette
