// Stand-ins for the characters a text document cannot hold.
#include "core/EditorText.h"

namespace {

constexpr char16_t kEscape = EditorEscape;
constexpr char16_t kHeld[] = {0x2029, 0xFDD0, 0xFDD1};
constexpr char16_t kStandIn[] = {0xF8E1, 0xF8E2, 0xF8E3};

int heldIndex(char16_t c)
{
    for (int i = 0; i < 3; ++i)
        if (kHeld[i] == c)
            return i;
    return -1;
}

int standInIndex(char16_t c)
{
    for (int i = 0; i < 3; ++i)
        if (kStandIn[i] == c)
            return i;
    return -1;
}

bool special(char16_t c)
{
    return c == kEscape || (c >= 0xF8E1 && c <= 0xF8E3) || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
}

} // namespace

char16_t heldByStandIn(char16_t c)
{
    const int s = standInIndex(c);
    return s < 0 ? 0 : kHeld[s];
}

QString toEditorForm(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && !special(text.at(i).unicode()))
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    out.reserve(text.size() + 16);
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (const int h = heldIndex(c); h >= 0) {
            out += QChar(kStandIn[h]);
        } else {
            if (c == kEscape || standInIndex(c) >= 0)
                out += QChar(kEscape);
            out += QChar(c);
        }
    }
    return out;
}

QString fromEditorForm(const QString &held)
{
    qsizetype i = 0;
    while (i < held.size() && !special(held.at(i).unicode()))
        ++i;
    if (i == held.size())
        return held;
    QString out = held.left(i);
    out.reserve(held.size());
    for (; i < held.size(); ++i) {
        const char16_t c = held.at(i).unicode();
        if (c == kEscape && i + 1 < held.size()
            && (held.at(i + 1).unicode() == kEscape || standInIndex(held.at(i + 1).unicode()) >= 0)) {
            out += held.at(++i);
        } else if (const int s = standInIndex(c); s >= 0) {
            out += QChar(kHeld[s]);
        } else {
            out += QChar(c);
        }
    }
    return out;
}
