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

// Each class with its colour in the light and in the dark set; the weight and slant are the same in both.
struct SyntaxEntry
{
    SyntaxKind kind;
    const char *light;
    const char *dark;
    bool bold;
    bool italic;
};

const SyntaxEntry kSyntax[] = {
    {SyntaxKind::HtmlTag, "#800000", "#6cb6ff", false, false},
    {SyntaxKind::HtmlAttribute, "#a04f00", "#9cdcfe", false, false},
    {SyntaxKind::HtmlValue, "#1a1aa6", "#ce9178", false, false},
    {SyntaxKind::HtmlComment, "#5a626b", "#8fb07e", false, true},
    {SyntaxKind::HtmlEntity, "#7a1fc2", "#d7ba7d", false, false},
    {SyntaxKind::PhpOpenTag, "#c00000", "#ff7b72", true, false},
    {SyntaxKind::PhpCloseTag, "#c00000", "#ff7b72", true, false},
    {SyntaxKind::Keyword, "#0033b3", "#d2a8ff", true, false},
    {SyntaxKind::Variable, "#660e7a", "#9cdcfe", false, false},
    {SyntaxKind::String, "#067d17", "#a5d6a7", false, false},
    {SyntaxKind::Interpolation, "#660e7a", "#ffcb6b", true, false},
    {SyntaxKind::Number, "#1750eb", "#b5cea8", false, false},
    {SyntaxKind::Comment, "#626262", "#9aa58f", false, true},
    {SyntaxKind::Cast, "#0033b3", "#4ec9b0", false, true},
    {SyntaxKind::Constant, "#871094", "#79c0ff", false, true},
};

EditorColours makeLight()
{
    EditorColours s;
    for (const SyntaxEntry &e : kSyntax)
        s.syntax.append({e.kind, c(e.light), e.bold, e.italic});
    s.background = c("#ffffff");
    s.text = c("#000000");
    s.currentLine = c("#eef3fb");
    s.gutterBackground = c("#f0f0f0");
    s.gutterText = c("#5c5c5c");
    s.gutterCurrentText = c("#000000");
    s.errorMark = c("#c62828");
    s.warningMark = c("#8a5300");
    s.markedNumber = c("#ffffff");
    s.selection = c("#2f65ca");
    s.selectedText = c("#ffffff");
    s.inactiveSelection = c("#d0d7e2");
    s.inactiveSelectedText = c("#000000");
    return s;
}

EditorColours makeDark()
{
    EditorColours s;
    for (const SyntaxEntry &e : kSyntax)
        s.syntax.append({e.kind, c(e.dark), e.bold, e.italic});
    s.background = c("#1e1e1e");
    s.text = c("#d4d4d4");
    s.currentLine = c("#2c313a");
    s.gutterBackground = c("#252526");
    s.gutterText = c("#9a9a9a");
    s.gutterCurrentText = c("#e8e8e8");
    s.errorMark = c("#ff8a80");
    s.warningMark = c("#ffd54f");
    s.markedNumber = c("#000000");
    s.selection = c("#264f78");
    s.selectedText = c("#ffffff");
    s.inactiveSelection = c("#3a3d41");
    s.inactiveSelectedText = c("#e8e8e8");
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
