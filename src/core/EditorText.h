// The editor's exact text: the characters that Qt's text document cannot hold as they are.
#pragma once

#include <QString>

// A text document turns U+2029 and its frame marks U+FDD0 and U+FDD1 into line breaks, so they
// are held as stand-ins from the private use area; the stand-ins themselves (and the escape)
// are held behind an escape. Both directions are linear and exact inverses.
QString toEditorForm(const QString &text);
QString fromEditorForm(const QString &held);

// The escape before a stand-in (or another escape) that stands for itself.
constexpr char16_t EditorEscape = 0xF8E0;
// The character a stand-in holds; 0 when c is none.
char16_t heldByStandIn(char16_t c);
