// Benchmark: loading and highlighting a 10,000-line script, and one keystroke in it.
// With --screenshot FILE [SCRIPT] it saves a picture of the main window showing a mixed PHP/HTML script.
#include "CodeEdit.h"
#include "BenchSupport.h"
#include "Unit1.h"
#include "WebBrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *kSample = R"(<!DOCTYPE html>
<html lang="de">
<head><title>Beispiel &amp; Test</title></head>
<body class="seite">
<!-- Eine Liste aus PHP -->
<?php
/* Mehrzeiliger
   Kommentar */
$namen = ['Anna', 'Bernd', "Clara"];
$anzahl = (int) count($namen);
define('MAXIMUM', 0x10);
foreach ($namen as $i => $name) {
    echo "<p>Nummer {$i}: $name</p>\n"; // Ausgabe
}
$text = <<<EOT
Es sind $anzahl Namen, höchstens {$namen[0]} ?> bleibt Text
EOT;
?>
<p>Summe: <?= 3.5e2 + MAXIMUM ?></p>
</body>
</html>
)";

} // namespace

int main(int argc, char *argv[])
{
    BenchProgram program(argc, argv);
    QPlainTextEdit *memo = Form1->memo1();

    const QStringList args = program.app.arguments();
    const int shot = int(args.indexOf(QStringLiteral("--screenshot")));
    if (shot > 0 && shot + 1 < args.size()) {
        // An optional script to show instead of the built-in one.
        QFile source(shot + 2 < args.size() ? args[shot + 2] : QString());
        memo->setPlainText(source.open(QIODevice::ReadOnly) ? QString::fromUtf8(source.readAll()) : QString::fromUtf8(kSample));
        memo->setFocus();
        Form1->Aktualisieren();
        idle(2500);
        Form1->grab().save(args[shot + 1]);
            return 0;
    }

    QString big;
    for (int i = 0; big.count(QLatin1Char('\n')) < 10000; ++i)
        big += QString::fromUtf8(kSample);

    std::vector<double> loads;
    for (int i = 0; i < 5; ++i) {
        memo->clear();
        QElapsedTimer t;
        t.start();
        memo->setPlainText(big);
        loads.push_back(ms(t.nsecsElapsed()));
    }

    // A keystroke in the middle of the text, and one that turns everything after it into a heredoc.
    std::vector<double> keys, comment;
    QTextCursor c(memo->document()->findBlockByNumber(5000));
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer t;
        t.start();
        c.insertText(QStringLiteral("x"));
        keys.push_back(ms(t.nsecsElapsed()));
    }
    QTextCursor top(memo->document()->findBlockByNumber(9));
    QElapsedTimer t;
    t.start();
    top.insertText(QStringLiteral("$x = <<<NIEMALS_ZU\n"));
    comment.push_back(ms(t.nsecsElapsed()));

    std::sort(loads.begin(), loads.end());
    std::sort(keys.begin(), keys.end());
    std::printf("10,000-line script (%d lines, %lld characters)\n", memo->blockCount(), qlonglong(big.size()));
    std::printf("load and highlight:   median %.1f ms over %zu loads\n", loads[loads.size() / 2], loads.size());
    std::printf("keystroke mid-file:   median %.3f ms, max %.3f ms over %zu keys\n", keys[keys.size() / 2], keys.back(),
                keys.size());
    std::printf("edit that changes the state of every later line:  %.1f ms\n", comment[0]);
    return 0;
}
