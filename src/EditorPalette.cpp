// EditorPalette: colours of the syntax classes and the gutter.
#include "EditorPalette.h"

#include <QGuiApplication>
#include <QPalette>

namespace EditorPalette {

namespace {
struct Entry
{
    SyntaxKind kind;
    const char *color;
    bool bold;
    bool italic;
};

const Entry kEntries[] = {
    {SyntaxKind::HtmlTag, "#800000", false, false},      {SyntaxKind::HtmlAttribute, "#b35c00", false, false},
    {SyntaxKind::HtmlValue, "#1a1aa6", false, false},    {SyntaxKind::HtmlComment, "#6a737d", false, true},
    {SyntaxKind::HtmlEntity, "#8a2be2", false, false},   {SyntaxKind::PhpOpenTag, "#c00000", true, false},
    {SyntaxKind::PhpCloseTag, "#c00000", true, false},
    {SyntaxKind::Keyword, "#0033b3", true, false},       {SyntaxKind::Variable, "#660e7a", false, false},
    {SyntaxKind::String, "#067d17", false, false},       {SyntaxKind::Interpolation, "#660e7a", true, false},
    {SyntaxKind::Number, "#1750eb", false, false},       {SyntaxKind::Comment, "#8c8c8c", false, true},
    {SyntaxKind::Cast, "#0033b3", false, true},          {SyntaxKind::Constant, "#871094", false, true},
};
} // namespace

QTextCharFormat format(SyntaxKind kind)
{
    QTextCharFormat f;
    for (const Entry &e : kEntries) {
        if (e.kind == kind) {
            f.setForeground(QColor(QLatin1String(e.color)));
            if (e.bold)
                f.setFontWeight(QFont::Bold);
            f.setFontItalic(e.italic);
        }
    }
    return f;
}

QColor gutterBackground()
{
    return QGuiApplication::palette().color(QPalette::Window);
}

QColor gutterText()
{
    return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

QColor gutterCurrentText()
{
    return QGuiApplication::palette().color(QPalette::Text);
}

QColor currentLine()
{
    return QColor(QStringLiteral("#f5f8ff"));
}

QColor gutterErrorMark()
{
    return QColor(0xf2, 0x8b, 0x8b);
}

QColor gutterWarningMark()
{
    return QColor(0xf7, 0xd9, 0x8a);
}

} // namespace EditorPalette
