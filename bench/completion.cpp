// Benchmark: in a 50,000-line script, the completion list from the second typed letter until it
// is painted, beside a display frame (60 Hz) and a plain key in the same place; the catalog's
// first question of the interpreter and its read from the cache; the document's names read from
// a 10 MB script and from a line of 20,000 characters.
#include "BenchSupport.h"
#include "CodeCompletion.h"
#include "CodeEdit.h"
#include "core/PhpCompletion.h"
#include "platform/PhpCatalogSource.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>

#include <cstdio>

namespace {

const char Lines[] = "<?php\n"
                     "function rechne_%1(int $a, string $b = 'x') { return $a . $b; }\n"
                     "class Zaehler%1 extends ArrayObject { public $wert%1 = 0; }\n"
                     "$z%1 = new Zaehler%1();\n"
                     "echo rechne_%1(3, \"Wert {$z%1->wert%1}\"); // Ausgabe\n"
                     "?>\n<p>Absatz %1</p>\n";

// Counts the paints of a widget.
struct Paints : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

void key(QWidget *to, QChar c)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(to, &press);
    QApplication::sendEvent(to, &release);
}

// Runs the window's events until done() holds; the time from start, in ms.
template <typename Done>
double until(const QElapsedTimer &start, Done done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return ms(start.nsecsElapsed());
}

// The longest the window's thread went without turning its event loop, while it runs.
struct Holds : QObject
{
    QTimer tick;
    QElapsedTimer since;
    double longest = 0;
    Holds()
    {
        tick.setInterval(1);
        tick.setTimerType(Qt::PreciseTimer);
        connect(&tick, &QTimer::timeout, this, [this] {
            longest = std::max(longest, ms(since.nsecsElapsed()));
            since.start();
        });
    }
    void begin()
    {
        longest = 0;
        since.start();
        tick.start();
    }
    double end()
    {
        tick.stop();
        return longest;
    }
};

// As until, but the loop waits for events between looks, as the program's own loop does: the
// window's timers (the check's pause) do not come due in until's spin.
template <typename Done>
double waitFor(const QElapsedTimer &start, Done done)
{
    while (!done())
        idle(1);
    return ms(start.nsecsElapsed());
}

struct Figure
{
    std::vector<double> runs;
    void print(const char *what) const
    {
        const auto [low, high] = std::minmax_element(runs.begin(), runs.end());
        std::printf("%-44s median %7.2f ms  (%.2f–%.2f, %zu runs)\n", what, median(runs), *low, *high, runs.size());
    }
};

} // namespace

int main(int argc, char *argv[])
{
    BenchProgram program(argc, argv);
    auto *memo = static_cast<TCodeEdit *>(Form1->memo1());
    Form1->show();
    idle(1500);

    // The catalog: asked of the interpreter once, then read from its cache.
    Figure asked, cached;
    for (int i = 0; i < 5; ++i) {
        QFile::remove(platform::PhpCatalogSource::cachePath(QStringLiteral("/usr/bin/php")));
        for (Figure *f : {&asked, &cached}) {
            platform::PhpCatalogSource source;
            QElapsedTimer t;
            t.start();
            f->runs.push_back(until(t, [&] { return source.catalog(QStringLiteral("/usr/bin/php")) != nullptr; }));
        }
    }

    QString text;
    for (int i = 0; i < 50000 / 7; ++i)
        text += QString::fromLatin1(Lines).arg(i);
    memo->setPlainText(text);
    const int lines = memo->blockCount();
    memo->setFocus();
    idle(500);
    // Once, for the window's catalog to come in: the list after "st".
    QTextCursor at(memo->document()->findBlockByNumber(lines / 2));
    at.movePosition(QTextCursor::StartOfBlock);
    at.insertText(QStringLiteral("<?php st ?>"));
    at.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, 3);
    memo->setTextCursor(at);
    auto *completion = memo->findChild<TCodeCompletion *>();
    completion->openList();
    QElapsedTimer warm;
    warm.start();
    // The interpreter's str* functions are in: more than the document's few.
    until(warm, [&] { return completion->listShown() && completion->list()->count() > 50; });
    completion->closeList();

    Paints listPaints, editorPaints;
    completion->list()->viewport()->installEventFilter(&listPaints);
    memo->viewport()->installEventFilter(&editorPaints);
    Figure list, plain;
    for (int i = 0; i < 15; ++i) {
        // A plain key where nothing opens: a blank.
        QElapsedTimer t;
        const int before = editorPaints.count;
        t.start();
        key(memo, QLatin1Char(' '));
        plain.runs.push_back(until(t, [&] { return editorPaints.count > before; }));
        // "st": the second letter opens the list.
        key(memo, QLatin1Char('s'));
        idle(20);
        const int shown = listPaints.count;
        t.start();
        key(memo, QLatin1Char('t'));
        list.runs.push_back(until(t, [&] { return completion->listShown() && listPaints.count > shown; }));
        completion->closeList();
        for (int k = 0; k < 3; ++k)
            memo->textCursor().deletePreviousChar();
        idle(20);
    }

    // The syntax check of the whole document: a parse error put in, marked, taken out, gone.
    // The window's longest hold meanwhile, beside its longest in as long a time of nothing.
    Figure marked, markHold, mended, mendHold, quiet;
    Holds holds;
    for (int i = 0; i < 5; ++i) {
        QTextCursor broken(memo->document()->findBlockByNumber(lines / 3 + i));
        broken.movePosition(QTextCursor::StartOfBlock);
        const int errorLine = broken.blockNumber() + 1;
        QElapsedTimer t;
        holds.begin();
        t.start();
        broken.insertText(QStringLiteral("<?php ( ?>"));
        marked.runs.push_back(waitFor(t, [&] { return memo->checkMarkLine() == errorLine; }));
        markHold.runs.push_back(holds.end());
        holds.begin();
        t.start();
        for (int k = 0; k < 10; ++k)
            broken.deletePreviousChar();
        mended.runs.push_back(waitFor(t, [&] { return memo->checkMarkLine() == 0; }));
        mendHold.runs.push_back(holds.end());
        holds.begin();
        idle(int(marked.runs.back()));
        quiet.runs.push_back(holds.end());
    }

    // What the window's thread gives the names' scan once typing pauses: the text, copied.
    Figure handed;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const QString copy = memo->editorFormText();
        handed.runs.push_back(ms(t.nsecsElapsed()));
    }

    // The document's names: 10 MB, and one line of 20,000 characters.
    QString large;
    for (int i = 0; large.size() < 10 * 1000 * 1000; ++i)
        large += QString::fromLatin1(Lines).arg(i);
    QString line = QStringLiteral("<?php $a = array(");
    for (int i = 0; line.size() < 20000; ++i)
        line += QStringLiteral("'s%1', %1, ").arg(i);
    line += QStringLiteral(");");
    Figure scanLarge, scanLine, siteLine;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const DocumentNames names = scanDocumentNames(large);
        scanLarge.runs.push_back(ms(t.nsecsElapsed()));
        t.start();
        const DocumentNames one = scanDocumentNames(line);
        scanLine.runs.push_back(ms(t.nsecsElapsed()));
        PhpSyntax syntax;
        QList<SyntaxRange> ranges;
        t.start();
        syntax.highlightLine(line, -1, ranges);
        completionSite(line, ranges, SyntaxState::Html, int(line.size()) - 2);
        siteLine.runs.push_back(ms(t.nsecsElapsed()));
    }

    std::printf("Completion (%d lines in the editor)\n", lines);
    list.print("second letter until the list is painted:");
    plain.print("a plain key in the same place, painted:");
    std::printf("%-44s %7.2f ms  (the list takes %.2f frames)\n", "a display frame at 60 Hz:", 1000.0 / 60,
                median(list.runs) / (1000.0 / 60));
    handed.print("the text handed to the names' scan:");
    marked.print("a parse error put in, until marked:");
    markHold.print("  the window's longest hold meanwhile:");
    mended.print("mended, until its mark is gone:");
    mendHold.print("  the window's longest hold meanwhile:");
    quiet.print("the window's longest hold, nothing to do:");
    asked.print("catalog asked of the interpreter:");
    cached.print("catalog read from its cache:");
    scanLarge.print("names of a 10 MB script:");
    scanLine.print("names of a 20,000-character line:");
    siteLine.print("site on that line (its colours included):");
    return 0;
}
