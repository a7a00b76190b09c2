// Benchmark: Enter key in the editor to the output page loaded in the pane, against php alone.
#include "BenchSupport.h"
#include "Unit1.h"
#include "WebBrowser.h"
#include "platform/InterpreterProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *kScript = "<html><body><h1><?php echo 'Hallo ' . (6 * 7); ?></h1>\n"
                      "<?php for ($i = 0; $i < 20; $i++) echo \"<p>Zeile $i</p>\"; ?></body></html>";

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(20, atoi(argv[1])) : 25;
    const QString phpPath = QStringLiteral("/usr/bin/php");

    BenchProgram program(argc, argv);
    QPlainTextEdit *memo = Form1->memo1();
    memo->setFocus();

    auto waitLoaded = [&](int timeoutMs) {
        QEventLoop loop;
        bool ok = false;
        auto c = QObject::connect(Form1->WebBrowser1(), &QWebEngineView::loadFinished, &loop, [&](bool success) {
            ok = success && Form1->WebBrowser1()->url().fileName() == QLatin1String("Output.htm");
            if (ok)
                loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(c);
        return ok;
    };
    auto pressEnter = [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(memo, &press);
        QApplication::sendEvent(memo, &release);
    };

    // Warm-up: the engine's first page costs far more than any later one.
    memo->setPlainText(QString::fromUtf8(kScript));
    pressEnter();
    waitLoaded(20000);

    // The editor's first paint after the key: the line break drawn.
    struct PaintClock : QObject
    {
        QElapsedTimer *since = nullptr;
        double drawnMs = -1;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && since && drawnMs < 0)
                drawnMs = since->nsecsElapsed() / 1e6;
            return false;
        }
    } paintClock;
    memo->viewport()->installEventFilter(&paintClock);

    const QString script = program.dir.path() + "/alone.php";
    {
        QFile f(script);
        f.open(QIODevice::WriteOnly);
        f.write(kScript);
    }
    // A pause as between two keystrokes before each measurement: the editor and the engine have
    // painted by then, and each of the three starts as idle as the others.
    auto pause = [] {
        QEventLoop idle;
        QTimer::singleShot(150, &idle, &QEventLoop::quit);
        idle.exec();
    };
    // The three side by side, in turn within each round, so that the machine's drift over the
    // run (other guests, clock) weighs on all three alike.
    std::vector<double> latency, drawn, alone, load;
    for (int i = 0; i < runs; ++i) {
        memo->setPlainText(QString::fromUtf8(kScript));
        memo->moveCursor(QTextCursor::End);
        pause();
        QElapsedTimer t;
        paintClock.since = &t;
        paintClock.drawnMs = -1;
        t.start();
        pressEnter();
        if (!waitLoaded(5000)) {
            std::fprintf(stderr, "run %d: output page did not load\n", i);
            return 1;
        }
        latency.push_back(t.nsecsElapsed() / 1e6);
        drawn.push_back(paintClock.drawnMs);
        paintClock.since = nullptr;

        pause();
        QProcess php;
        php.setStandardOutputFile(QProcess::nullDevice());
        t.start();
        php.start(phpPath, {QStringLiteral("-q"), script});
        php.waitForFinished();
        alone.push_back(t.nsecsElapsed() / 1e6);

        // The page load alone: from the output page to the output page, the file written anew,
        // as a run sends the pane there.
        pause();
        const QString output = Form1->WebBrowser1()->url().toLocalFile();
        const QByteArray page = [&] {
            QFile f(output);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QFile::remove(output);
        {
            QFile f(output);
            f.open(QIODevice::WriteOnly);
            f.write(page);
        }
        t.start();
        Form1->WebBrowser1()->Navigate(output);
        if (!waitLoaded(5000))
            return 1;
        load.push_back(t.nsecsElapsed() / 1e6);
    }
    memo->viewport()->removeEventFilter(&paintClock);

    // Output at the bound: the output's pipe closes there, which ends a script that goes on
    // writing, and the pane must still show the page soon after.
    const std::pair<const char *, const char *> floods[] = {
        {"one line", "<?php while (true) echo str_repeat('x', 65536);"},
        {"many lines", "<?php while (true) echo str_repeat(\"<p>Zeile mit etwas Text</p>\\n\", 2048);"}};
    std::vector<std::pair<const char *, double>> bound;
    for (const auto &[name, flood] : floods) {
        memo->setPlainText(QString::fromLatin1(flood));
        memo->moveCursor(QTextCursor::End);
        QElapsedTimer t;
        t.start();
        pressEnter();
        const bool shown = waitLoaded(60000);
        bound.emplace_back(name, shown ? t.nsecsElapsed() / 1e6 : -1);
    }

    // What a keystroke's repaint costs: a line break drawn, the window brought up to date.
    std::vector<double> paint;
    for (int i = 0; i < runs; ++i) {
        memo->textCursor().insertText(QStringLiteral("\n"));
        QElapsedTimer t;
        t.start();
        QCoreApplication::sendPostedEvents(Form1, QEvent::UpdateRequest);
        paint.push_back(t.nsecsElapsed() / 1e6);
        QEventLoop idle;
        QTimer::singleShot(30, &idle, &QEventLoop::quit);
        idle.exec();
    }

    const double l = median(latency), a = median(alone);
    const double p = median(load);
    std::printf("php alone %.1f ms | page load alone %.1f ms | Enter to page loaded %.1f ms | difference %.1f ms\n",
                a, p, l, l - a - p);
    std::printf("%d runs, the three in turn in each; load %s; medians and ranges\n", runs, machineLoad().constData());
    std::printf("preview latency (Enter to page loaded): %s ms\n", spread(latency).constData());
    std::printf("php -q alone, same script:              %s ms\n", spread(alone).constData());
    std::printf("page load alone, same output:           %s ms\n", spread(load).constData());
    // The limit: the interpreter's own run and the page's own load, one after the other.
    std::printf("ratio to php alone + page load alone:   %.2f\n", l / (a + p));
    std::printf("a line break drawn in the window:       %s ms\n", spread(paint).constData());
    std::printf("Enter to its line break drawn:          median %.1f ms, longest %.1f ms (php alone %.1f ms)\n",
                median(drawn), *std::max_element(drawn.begin(), drawn.end()), a);
    for (const auto &[name, ms] : bound)
        std::printf("output at the %lld MiB bound, %-10s  %s\n", platform::InterpreterProcess::OutputLimit >> 20, name,
                    ms < 0 ? "not shown within 60 s" : qPrintable(QStringLiteral("shown after %1 ms").arg(ms, 0, 'f', 0)));
    return 0;
}
