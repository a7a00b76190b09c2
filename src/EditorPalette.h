// EditorPalette: the editor's colours, one small table that reads well on a light background.
#pragma once

#include "core/PhpSyntax.h"

#include <QColor>
#include <QTextCharFormat>

namespace EditorPalette {

QTextCharFormat format(SyntaxKind kind);

QColor gutterBackground();
QColor gutterText();
QColor gutterCurrentText();
QColor gutterErrorMark();
QColor gutterWarningMark();
QColor currentLine();

} // namespace EditorPalette
