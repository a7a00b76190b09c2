// EditorPalette: every colour reaches a contrast of 4.5:1 against what it stands on, in both
// sets (WCAG's level for text), so that nothing fades into a light or a dark desktop.
#include "EditorPalette.h"

#include <QGuiApplication>
#include <QtMath>

namespace EditorPalette {

namespace {

QColor c(const char *hex)
{
    return QColor(QLatin1String(hex));
}

EditorColours makeLight()
{
    EditorColours s;
    s.syntax = {
        {SyntaxKind::HtmlTag, c("#800000"), false, false},     {SyntaxKind::HtmlAttribute, c("#a04f00"), false, false},
        {SyntaxKind::HtmlValue, c("#1a1aa6"), false, false},   {SyntaxKind::HtmlComment, c("#5a626b"), false, true},
        {SyntaxKind::HtmlEntity, c("#7a1fc2"), false, false},  {SyntaxKind::PhpOpenTag, c("#c00000"), true, false},
        {SyntaxKind::PhpCloseTag, c("#c00000"), true, false},  {SyntaxKind::Keyword, c("#0033b3"), true, false},
        {SyntaxKind::Variable, c("#660e7a"), false, false},    {SyntaxKind::String, c("#067d17"), false, false},
        {SyntaxKind::Interpolation, c("#660e7a"), true, false}, {SyntaxKind::Number, c("#1750eb"), false, false},
        {SyntaxKind::Comment, c("#626262"), false, true},      {SyntaxKind::Cast, c("#0033b3"), false, true},
        {SyntaxKind::Constant, c("#871094"), false, true},
    };
    s.background = c("#ffffff");
    s.text = c("#000000");
    s.currentLine = c("#eef3fb");
    s.gutterBackground = c("#f0f0f0");
    s.gutterText = c("#5c5c5c");
    s.gutterCurrentText = c("#000000");
    s.errorMark = c("#c62828");
    s.warningMark = c("#8a5300");
    s.markedNumber = c("#ffffff");
    return s;
}

EditorColours makeDark()
{
    EditorColours s;
    s.syntax = {
        {SyntaxKind::HtmlTag, c("#6cb6ff"), false, false},     {SyntaxKind::HtmlAttribute, c("#9cdcfe"), false, false},
        {SyntaxKind::HtmlValue, c("#ce9178"), false, false},   {SyntaxKind::HtmlComment, c("#8fb07e"), false, true},
        {SyntaxKind::HtmlEntity, c("#d7ba7d"), false, false},  {SyntaxKind::PhpOpenTag, c("#ff7b72"), true, false},
        {SyntaxKind::PhpCloseTag, c("#ff7b72"), true, false},  {SyntaxKind::Keyword, c("#d2a8ff"), true, false},
        {SyntaxKind::Variable, c("#9cdcfe"), false, false},    {SyntaxKind::String, c("#a5d6a7"), false, false},
        {SyntaxKind::Interpolation, c("#ffcb6b"), true, false}, {SyntaxKind::Number, c("#b5cea8"), false, false},
        {SyntaxKind::Comment, c("#9aa58f"), false, true},      {SyntaxKind::Cast, c("#4ec9b0"), false, true},
        {SyntaxKind::Constant, c("#79c0ff"), false, true},
    };
    s.background = c("#1e1e1e");
    s.text = c("#d4d4d4");
    s.currentLine = c("#2c313a");
    s.gutterBackground = c("#252526");
    s.gutterText = c("#9a9a9a");
    s.gutterCurrentText = c("#e8e8e8");
    s.errorMark = c("#ff8a80");
    s.warningMark = c("#ffd54f");
    s.markedNumber = c("#000000");
    return s;
}

double luminance(const QColor &colour)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : qPow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

const EditorColours &light()
{
    static const EditorColours set = makeLight();
    return set;
}

const EditorColours &dark()
{
    static const EditorColours set = makeDark();
    return set;
}

const EditorColours &forPalette(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightnessF() < 0.5 ? dark() : light();
}

const EditorColours &current()
{
    return forPalette(QGuiApplication::palette());
}

QTextCharFormat format(const EditorColours &colours, SyntaxKind kind)
{
    QTextCharFormat f;
    for (const EditorColours::Syntax &e : colours.syntax) {
        if (e.kind == kind) {
            f.setForeground(e.colour);
            if (e.bold)
                f.setFontWeight(QFont::Bold);
            f.setFontItalic(e.italic);
        }
    }
    return f;
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

} // namespace EditorPalette
