// The preview run with the real interpreter: output, errors, slow and endless scripts, processes.
#include "TestSupport.h"
#include "core/AppError.h"
#include "core/EditTrail.h"
#include "core/PreviewRun.h"
#include "core/ScriptMessages.h"
#include "platform/InterpreterProcess.h"
#include "platform/PreviewRunner.h"
#include "platform/ScratchDir.h"
#include "platform/SyntaxCheck.h"
#include "platform/WebEngineSetup.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QString Php = QStringLiteral("/usr/bin/php");

// A script that leaves a child behind, in the background, which notes its pid in pidFile and
// writes into the run's output a second later.
QString leavesAChild(const QString &pidFile, const char *text = "SPAET")
{
    return QStringLiteral("<?php exec('sh -c \\'echo $$ > %1; sleep 1; echo %2 >&2; sleep 30\\' > /dev/null &'); echo 'erster';")
        .arg(pidFile, QLatin1String(text));
}

// A script whose child (pcntl_fork) runs `child`, where note() writes the calling process's
// pid into pidFile and then sleeps; the script itself ends at once.
QString escapingChild(const QString &pidFile, const QString &child)
{
    return QStringLiteral("<?php function note() { file_put_contents('%1', getmypid()); sleep(60); exit(0); }\n"
                          "if (pcntl_fork() == 0) { %2 } echo 'erster';")
        .arg(pidFile, child);
}

// The process whose number a script wrote into file, as this program sees it; 0 once gone.
qint64 pidIn(const QString &file)
{
    qint64 pid = 0;
    waitUntil([&] { return (pid = readAll(file).trimmed().toLongLong()) > 0; });
    return hostPid(pid);
}

// A run of a text without a file (folder: where it runs without a container), or of a document.
platform::PreviewRequest request(const QString &interpreter, const QString &script, const QString &folder = QString(),
                                 const QString &document = QString())
{
    return platform::PreviewRequest{interpreter, script.toUtf8(), document, folder};
}

// Starts a run and waits until its page is first due: the script has ended, or has run for a
// while. The output file's path.
QString runToPage(platform::PreviewRunner &runner, const platform::PreviewRequest &asked)
{
    QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
    const QString out = runner.start(asked);
    if (ready.isEmpty())
        ready.wait(10000);
    return out;
}

QString runToPage(platform::PreviewRunner &runner, const QString &interpreter, const QString &script,
                  const QString &folder = QString())
{
    return runToPage(runner, request(interpreter, script, folder));
}

// Runs to the run's end; what it showed last.
platform::PreviewOutput runToEnd(platform::PreviewRunner &runner, const platform::PreviewRequest &asked)
{
    QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
    runner.start(asked);
    waitUntil([&] { return !runner.isRunning(); }, 20000);
    if (ready.isEmpty())
        return {};
    return ready.last().first().value<platform::PreviewOutput>();
}

// What `cd FOLDER && php -q FILE > out 2>&1` writes.
QByteArray phpAlone(const QString &file)
{
    QProcess php;
    php.setWorkingDirectory(QFileInfo(file).absolutePath());
    php.setProcessChannelMode(QProcess::MergedChannels);
    php.setStandardInputFile(QProcess::nullDevice());
    php.start(Php, {QStringLiteral("-q"), file});
    php.waitForFinished(20000);
    return php.readAll();
}

// A bubblewrap that the kernel refuses, as where user namespaces are switched off.
QString refusingBwrap(const QString &folder)
{
    QDir().mkpath(folder);
    const QString fake = folder + QStringLiteral("/bwrap");
    writeFile(fake, "#!/bin/sh\necho 'bwrap: No permissions to create a new namespace' >&2\nexit 1\n");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

QString runOrError(platform::PreviewRunner &runner, const QString &interpreter, const QString &script)
{
    try {
        return runToPage(runner, interpreter, script);
    } catch (const AppError &e) {
        return QStringLiteral("error: ") + e.message();
    }
}
} // namespace

class TestPreviewRun : public QObject
{
    Q_OBJECT

private slots:
    // The status bar's word on the output, by what is known of it; the first that applies.
    void outputStateMessages_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("regular");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("scratchFull");
        QTest::addColumn<QString>("message");
        const qint64 limit = 2 * 1024 * 1024;
        const QString other = QStringLiteral("Die Ausgabe ist keine gewöhnliche Datei und wird nicht angezeigt.");
        const QString cut = QStringLiteral("Die Ausgabe wurde nach 2 MB abgeschnitten.");
        const QString full = QStringLiteral("Die Ausgabe ist unvollständig: Im Ordner für temporäre Dateien ist kein Platz mehr.");
        QTest::newRow("whole page") << true << true << qint64(10) << false << QString();
        QTest::newRow("one byte below the bound") << true << true << limit - 1 << false << QString();
        QTest::newRow("at the bound") << true << true << limit << false << cut;
        QTest::newRow("cut beats full disk") << true << true << limit << true << cut;
        QTest::newRow("full disk") << true << true << qint64(10) << true << full;
        QTest::newRow("pipe or link") << true << false << qint64(0) << false << other;
        QTest::newRow("pipe on a full disk") << true << false << qint64(0) << true << other;
        QTest::newRow("nothing written") << false << false << qint64(0) << false << QString();
    }
    void outputStateMessages()
    {
        QFETCH(bool, present);
        QFETCH(bool, regular);
        QFETCH(qint64, size);
        QFETCH(bool, scratchFull);
        QFETCH(QString, message);
        OutputFacts facts;
        facts.present = present;
        facts.regular = regular;
        facts.size = size;
        facts.limit = 2 * 1024 * 1024;
        facts.scratchFull = scratchFull;
        QCOMPARE(outputStateMessage(facts), message);
    }

    // The run's moments on a clock the test sets: when a page shows, what the status bar says,
    // when the state must be asked again, and what a dropped or ended run still does.
    void runMomentsOnAFakeClock()
    {
        using Step = PreviewRunState::Step;
        const QString count1 = PreviewRunState::countText(1), count2 = PreviewRunState::countText(2);
        auto same = [](const Step &s, bool page, std::optional<QString> status, qint64 wake) {
            return s.showPage == page && s.setStatus == status.has_value() && s.status == status.value_or(QString())
                && s.wakeAt == wake;
        };
        {   // fast: one page when it ends, nothing said
            PreviewRunState run;
            QVERIFY(same(run.started(1000), false, {}, 1300));
            QVERIFY(run.running());
            QVERIFY(same(run.ended(), true, {}, -1));
            QVERIFY(!run.running());
            QVERIFY(same(run.tick(1300), false, {}, -1));
        }
        {   // slow: a page after 300 ms, counted from 500 ms, a page and the word taken back at its end
            PreviewRunState run;
            run.started(0);
            QVERIFY(same(run.tick(299), false, {}, 300));
            QVERIFY(same(run.tick(300), true, {}, 500));
            QVERIFY(same(run.tick(499), false, {}, 500));
            QVERIFY(same(run.tick(500), false, count1, 1500));
            QVERIFY(same(run.tick(1499), false, {}, 1500));
            QVERIFY(same(run.tick(1500), false, count2, 2500));
            QVERIFY(same(run.ended(), true, QString(), -1));
        }
        {   // a late tick counts what has passed, once
            PreviewRunState run;
            run.started(0);
            QVERIFY(same(run.tick(3600), true, PreviewRunState::countText(4), 4500));
            QVERIFY(same(run.tick(3700), false, {}, 4500));
        }
        {   // ended between the page and the count: a second page, nothing said
            PreviewRunState run;
            run.started(0);
            run.tick(300);
            QVERIFY(same(run.ended(), true, {}, -1));
        }
        {   // endless, ended by the user: what it wrote shows, and that it was ended
            PreviewRunState run;
            run.started(0);
            run.tick(300);
            run.tick(500);
            QVERIFY(same(run.aborted(), true, PreviewRunState::abortedText(), -1));
            QVERIFY(!run.running());
            QVERIFY(same(run.ended(), false, {}, -1));
            QVERIFY(same(run.aborted(), false, {}, -1));
        }
        {   // dropped by New, Open or a newer run: nothing of it shows, its word goes
            PreviewRunState run;
            run.started(0);
            QVERIFY(same(run.dropped(), false, {}, -1));
            run.started(0);
            run.tick(300);
            run.tick(500);
            QVERIFY(same(run.dropped(), false, QString(), -1));
            QVERIFY(same(run.tick(1500), false, {}, -1));
            QVERIFY(same(run.ended(), false, {}, -1));
        }
        {   // an interpreter that does not start: its empty page at once
            PreviewRunState run;
            QVERIFY(same(run.notStarted(), true, {}, -1));
            QVERIFY(!run.running());
        }
    }

    // A line of the run's text is found again after the edits made while it ran, as a cursor at
    // its start would have moved.
    void linesOfTheRunThroughLaterEdits_data()
    {
        QTest::addColumn<QString>("edits"); // "position,removed,added" each, in order
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("place");     // in "a1\nb22\nc333\n" as edited, or -1
        QTest::newRow("no edit") << QString() << 3 << 7;
        QTest::newRow("line break typed in line 1") << QStringLiteral("1,0,1") << 3 << 8;
        QTest::newRow("typed at a line's start") << QStringLiteral("3,0,2") << 2 << 5;
        QTest::newRow("typed after the line") << QStringLiteral("9,0,5") << 2 << 3;
        QTest::newRow("text before removed") << QStringLiteral("0,3,0") << 3 << 4;
        QTest::newRow("the line's start removed") << QStringLiteral("2,3,1") << 2 << 3;
        QTest::newRow("in order") << QStringLiteral("0,0,4;0,4,0") << 3 << 7;
        QTest::newRow("last line, empty") << QString() << 4 << 12;
        QTest::newRow("past the end") << QString() << 5 << -1;
        QTest::newRow("line 0") << QString() << 0 << -1;
    }
    void linesOfTheRunThroughLaterEdits()
    {
        QFETCH(QString, edits);
        QFETCH(int, line);
        QFETCH(int, place);
        EditTrail trail;
        trail.reset(QStringLiteral("a1\nb22\nc333\n"));
        for (const QString &edit : edits.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList n = edit.split(QLatin1Char(','));
            trail.record(n[0].toInt(), n[1].toInt(), n[2].toInt());
        }
        QCOMPARE(trail.lineStartNow(line), place);
    }

    void initTestCase()
    {
        QVERIFY2(QFile::exists(Php), "the tests need the PHP interpreter at /usr/bin/php");
    }

    void outputAndErrorsReachTheOutputFile()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const QString out = runToPage(runner, Php, QStringLiteral("<h1><?php echo 'Hallo'; ?></h1>\n<?php echo $undefined; undefined_fn();"));
        QCOMPARE(out, env.scratchDir() + QStringLiteral("Output.htm"));
        const QByteArray html = readAll(out);
        QVERIFY2(html.startsWith("<h1>Hallo</h1>"), html.constData());
        // Warnings and fatal errors go to standard error on Debian's PHP; they must be visible.
        QVERIFY2(html.contains("Undefined variable $undefined"), html.constData());
        QVERIFY2(html.contains("undefined_fn"), html.constData());
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")),
                 QByteArray("<h1><?php echo 'Hallo'; ?></h1>\n<?php echo $undefined; undefined_fn();"));
    }

    void textIsRunAsItsBytesWhole()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        QString big = QStringLiteral("<?php echo strlen('");
        const QString line = QStringLiteral("Grüße aus Köln – ");
        while (big.size() < 1024 * 1024)
            big += line;
        big += QStringLiteral("'), \"|äöü€\";");
        const QString out = runToPage(runner, Php, big);
        const QByteArray expected = big.toUtf8();
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")), expected);
        QVERIFY(waitUntil([&] { return readAll(out).endsWith("|äöü€"); }));
        const int literalBytes = expected.indexOf("')") - expected.indexOf("('") - 2;
        QCOMPARE(readAll(out), QByteArray::number(literalBytes) + "|äöü€");
    }

    // A fast script's first page is its whole output, its interpreter gone. (How soon is the
    // latency benchmark's to say.)
    void finishedRunIsCompleteOnItsFirstPage()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const QString out = runToPage(runner, Php, QStringLiteral("<?php echo 6*7;"));
        QCOMPARE(readAll(out), QByteArray("42"));
        QCOMPARE(runner.runningProcessId(), 0);
    }

    // A slow script shows as it stands after a while, and again when it has ended; the window
    // does not wait for it.
    void slowScriptIsShownAgainWhenComplete()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
        QSignalSpy running(&runner, &platform::PreviewRunner::runningChanged);
        const QString out = runner.start(request(Php, QStringLiteral("<?php echo 'first'; flush(); usleep(900000); echo ' last';")));
        QVERIFY(runner.isRunning());
        QVERIFY(ready.isEmpty());
        QVERIFY(ready.wait(5000));
        QCOMPARE(readAll(out), QByteArray("first"));
        QVERIFY(runner.isRunning());
        QVERIFY(ready.wait(5000));
        QCOMPARE(ready.size(), 2);
        QCOMPARE(ready.last().first().value<platform::PreviewOutput>().path, out);
        QCOMPARE(readAll(out), QByteArray("first last"));
        QVERIFY(!runner.isRunning());
        QCOMPARE(running.size(), 2);
        QCOMPARE(running.first().first().toBool(), true);
        QCOMPARE(running.last().first().toBool(), false);
    }

    // While a script runs, the status bar counts its seconds from the first half; a script that
    // ends by itself takes its word back.
    void runningScriptIsCounted()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        QSignalSpy status(&runner, &platform::PreviewRunner::statusChanged);
        QSignalSpy running(&runner, &platform::PreviewRunner::runningChanged);
        runner.start(request(Php, QStringLiteral("<?php usleep(2200000); echo 'fertig';")));
        QVERIFY(running.wait(10000));
        QVERIFY(status.size() >= 2);
        QCOMPARE(status.first().first().toString(), QStringLiteral("Skript läuft seit 1 s – Esc bricht ab"));
        QCOMPARE(status.at(1).first().toString(), QStringLiteral("Skript läuft seit 2 s – Esc bricht ab"));
        QCOMPARE(status.last().first().toString(), QString());
    }

    // Esc ends an endless script with all it started; what it wrote shows, and the status bar
    // says that it was ended.
    void abortEndsTheScriptAndShowsWhatItWrote()
    {
        IsolatedEnvironment env;
        const QString pidFile = env.root() + QStringLiteral("/child.pid");
        platform::PreviewRunner runner;
        QVERIFY(!runner.abort());
        QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
        QSignalSpy status(&runner, &platform::PreviewRunner::statusChanged);
        const QString out = runner.start(request(
            Php, QStringLiteral("<?php exec('sh -c \\'echo $$ > %1; sleep 60\\' > /dev/null 2>&1 &'); echo 'bis hier'; flush();"
                                " while (true) usleep(1000);").arg(pidFile)));
        const qint64 php = runner.runningProcessId();
        const qint64 child = pidIn(pidFile);
        QVERIFY(php > 0 && child > 0);
        QVERIFY(waitUntil([&] { return readAll(out) == "bis hier"; }));
        ready.clear();
        QVERIFY(runner.abort());
        QVERIFY(!runner.isRunning());
        QCOMPARE(ready.size(), 1);
        QCOMPARE(readAll(ready.first().first().value<platform::PreviewOutput>().path), QByteArray("bis hier"));
        QCOMPARE(status.last().first().toString(), QStringLiteral("Skript abgebrochen."));
        QVERIFY(waitUntil([&] { return !processAlive(php) && !processAlive(child); }, 5000));
        QVERIFY(!runner.abort());
        QTest::qWait(400);
        QCOMPARE(ready.size(), 1);
    }

    void nextRunEndsOwnInterpreterOnly()
    {
        IsolatedEnvironment env;
        // A user's unrelated PHP process, say a development server.
        QProcess foreign;
        foreign.start(Php, {QStringLiteral("-r"), QStringLiteral("sleep(30);")});
        QVERIFY(foreign.waitForStarted());

        platform::PreviewRunner runner;
        // An endless script that also started a child of its own.
        runToPage(runner, Php, QStringLiteral("<?php echo 'x'; flush(); exec('sleep 60 > /dev/null 2>&1 &'); while (true) usleep(1000);"));
        const qint64 endless = runner.runningProcessId();
        QVERIFY(endless > 0);
        // The run's group: the interpreter's, or its container's.
        const pid_t group = getpgid(pid_t(endless));
        QVERIFY(group > 0 && group != getpgrp());

        QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
        const QString out = runToPage(runner, Php, QStringLiteral("<?php echo 'second';"));
        QCOMPARE(readAll(out), QByteArray("second"));
        QVERIFY(waitUntil([&] { return !processAlive(endless); }, 2000));
        // Nothing of the ended run's group is left, and it never shows again.
        QVERIFY(waitUntil([&] { return ::kill(-group, 0) != 0; }, 2000));
        QTest::qWait(400);
        QCOMPARE(ready.size(), 1);
        QVERIFY(processAlive(foreign.processId()));
        foreign.kill();
        foreign.waitForFinished();
    }

    void interpreterWithOtherNameAndBlanksInPaths()
    {
        IsolatedEnvironment env;
        // Blanks in the interpreter's path and in the scratch directory reach no shell.
        const QString dir = env.root() + QStringLiteral("/PHP Interpreter; rm -rf x");
        QVERIFY(QDir().mkpath(dir));
        const QString interpreter = dir + QStringLiteral("/my php");
        QVERIFY(QFile::link(Php, interpreter));
        const QString tmp = env.root() + QStringLiteral("/temp dir $HOME");
        QVERIFY(QDir().mkpath(tmp));
        qputenv("TMPDIR", tmp.toLocal8Bit());
        platform::PreviewRunner runner;
        const QString out = runToPage(runner, interpreter, QStringLiteral("<?php echo __FILE__;"));
        QVERIFY(out.startsWith(tmp + QStringLiteral("/korlith-")));
        const QString script = tmp + QStringLiteral("/korlith-%1/%2/temp.php").arg(getuid()).arg(getpid());
        QVERIFY(waitUntil([&] { return !runner.isRunning(); }));
        QCOMPARE(readAll(out), script.toUtf8());
        QCOMPARE(readAll(script), QByteArray("<?php echo __FILE__;"));
    }

    // A document runs as `php -q FILE` runs it in its folder: byte for byte the same output,
    // everything that names the script naming the document's file, standard input empty and
    // the three constants there; the file on the disk is not touched, the text is the editor's.
    void documentRunsAsPhpRunsItsFile()
    {
        IsolatedEnvironment env;
        const QString site = env.root() + QStringLiteral("/site mit Blank");
        QVERIFY(QDir().mkpath(site + QStringLiteral("/inc")));
        writeFile(site + QStringLiteral("/inc/footer.php"), "<?php echo 'FUSS', $fehlt;");
        const QString file = site + QStringLiteral("/seite.php");
        const QByteArray text =
            "<?php fwrite(STDERR, \"an stderr\\n\"); fwrite(STDOUT, \"an stdout\\n\"); var_dump(fgets(STDIN));\n"
            "echo __FILE__, '|', __DIR__, '|', getcwd(), '|', realpath(__FILE__), '|', $argv[0], '|', $argc, '|',\n"
            "  $_SERVER['SCRIPT_FILENAME'], '|', $_SERVER['PHP_SELF'], '|', $_SERVER['SCRIPT_NAME'], \"\\n\";\n"
            "require __DIR__ . '/inc/footer.php'; require 'inc/footer.php';\n"
            "print_r(get_included_files()); echo count(file(__FILE__)), \"\\n\"; highlight_file(__FILE__);\n"
            "echo $undefiniert; echo file_get_contents(__FILE__, false, null, __COMPILER_HALT_OFFSET__);\n"
            "__halt_compiler();DATEN nach dem Ende\n";
        writeFile(file, text);
        const QByteArray alone = phpAlone(file);
        QVERIFY2(alone.contains("an stderr") && alone.contains("DATEN nach dem Ende"), alone.constData());
        platform::PreviewRunner runner;
        const platform::PreviewOutput shown = runToEnd(runner, platform::PreviewRequest{Php, text, file, env.root()});
        QCOMPARE(readAll(shown.path), alone);
        QCOMPARE(shown.scriptPath, file);
        // The messages that name the document, not those about the included file.
        const QList<ScriptMessage> found = findScriptMessages(readAll(shown.path), shown.scriptPath);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().line, 6);

        // The editor's text runs under the file's name; the file keeps its own.
        const QByteArray changed = "<?php echo basename(__FILE__), ':', strlen(file_get_contents(__FILE__));";
        const platform::PreviewOutput again = runToEnd(runner, platform::PreviewRequest{Php, changed, file, env.root()});
        QCOMPARE(readAll(again.path), "seite.php:" + QByteArray::number(changed.size()));
        QCOMPARE(readAll(file), text);
        // Saved meanwhile (a new file under the name, as a save writes it): the next run, whose
        // container stood ready, still runs the editor's text.
        QVERIFY(waitUntil([] { return containerWaits(); }));
        writeFile(file + QStringLiteral(".neu"), "<?php echo 'von der Platte';");
        QVERIFY(::rename(QFile::encodeName(file + QStringLiteral(".neu")).constData(), QFile::encodeName(file).constData()) == 0);
        QCOMPARE(readAll(runToEnd(runner, platform::PreviewRequest{Php, "<?php echo 'aus dem Editor';", file, env.root()}).path),
                 QByteArray("aus dem Editor"));
        // A link to the document runs as PHP runs a link: under the name it leads to.
        const QString link = env.root() + QStringLiteral("/verweis.php");
        QVERIFY(QFile::link(file, link));
        const QByteArray named = "<?php echo __FILE__;";
        QCOMPARE(readAll(runToEnd(runner, platform::PreviewRequest{Php, named, link, env.root()}).path), file.toUtf8());
    }

    // What the program sets for its own libraries (the engine's flags, no GL for the window
    // system) is not the script's: it sees those variables as the program was started with them.
    void programsOwnVariablesStayItsOwn()
    {
        IsolatedEnvironment env;
        const QList<QByteArray> names{"QTWEBENGINE_CHROMIUM_FLAGS", "QT_XCB_GL_INTEGRATION"};
        // The environment as this process began, whatever it set since; the later cases run
        // php alone in it again.
        QFile began(QStringLiteral("/proc/self/environ"));
        QVERIFY(began.open(QIODevice::ReadOnly));
        const QList<QByteArray> entries = began.readAll().split('\0');
        const auto restore = qScopeGuard([&] {
            for (const QByteArray &name : names) {
                qunsetenv(name);
                for (const QByteArray &entry : entries)
                    if (entry.startsWith(name + '='))
                        qputenv(name, entry.mid(name.size() + 1));
            }
        });
        platform::prepareWebEngine(); // as the program does before its window
        QByteArray expected;
        {
            for (const QByteArray &name : names) {
                QVERIFY2(!qgetenv(name).isEmpty(), name.constData()); // the program's own value
                QByteArray value = "false";
                for (const QByteArray &entry : entries)
                    if (entry.startsWith(name + '='))
                        value = "'" + entry.mid(name.size() + 1) + "'";
                expected += value + '|';
            }
        }
        const QString file = env.root() + QStringLiteral("/umgebung.php");
        QByteArray text = "<?php ";
        for (const QByteArray &name : names)
            text += "echo var_export(getenv('" + name + "'), true), '|'; ";
        writeFile(file, text);
        platform::PreviewRunner runner;
        QCOMPARE(readAll(runToEnd(runner, platform::PreviewRequest{Php, text, file, env.root()}).path), expected);
    }

    // The next run's interpreter starts up before its key and waits at its script's open. The
    // script finds the environment and descriptors as php alone has them, the settings as they
    // stand at the key; an interpreter that opens its script otherwise runs the text all the same.
    void interpreterStartsUpBeforeItsKey()
    {
        IsolatedEnvironment env;
        if (!platform::PreviewRunner::containerRefusal().isEmpty())
            QSKIP("the kernel refuses the container here");
        // Programs of their own names: what they read as they start up is asked anew.
        const QString php = env.root() + QStringLiteral("/php");
        QVERIFY(QFile::link(Php, php));
        const QString settings = env.root() + QStringLiteral("/einstellungen");
        QVERIFY(QDir().mkpath(settings));
        writeFile(settings + QStringLiteral("/php.ini"), "precision=7\n");
        qputenv("PHPRC", QFile::encodeName(settings));
        qputenv("LD_PRELOAD", "libm.so.6");
        const auto restore = qScopeGuard([] {
            qunsetenv("PHPRC");
            qunsetenv("LD_PRELOAD");
        });
        const QString file = env.root() + QStringLiteral("/umgebung.php");
        const QByteArray text = "<?php echo ini_get('precision'), '|', getenv('LD_PRELOAD'), '|', $_SERVER['LD_PRELOAD'], '|',"
                                " var_export(getenv('KORLITH_HOLD'), true), '|', implode(',', array_keys(getenv())), '|',"
                                " implode(',', array_keys($_SERVER));";
        writeFile(file, text);
        const QByteArray alone = phpAlone(file);
        QVERIFY2(alone.startsWith("7|libm.so.6|libm.so.6|false|"), alone.constData());
        platform::PreviewRunner runner;
        const platform::PreviewRequest asked{php, text, file, env.root()};
        QCOMPARE(readAll(runToEnd(runner, asked).path), alone);
        QVERIFY(waitUntil([] { return interpreterHolds(); }));
        QCOMPARE(readAll(runToEnd(runner, asked).path), alone);
        // Changed in its place while the next interpreter waits: that one goes.
        QVERIFY(waitUntil([] { return interpreterHolds(); }));
        writeFile(settings + QStringLiteral("/php.ini"), "precision=9\n");
        const QByteArray changed = phpAlone(file);
        QVERIFY2(changed.startsWith("9|"), changed.constData());
        QCOMPARE(readAll(runToEnd(runner, asked).path), changed);
        // The program replaced by one that cannot start, while the next one waits: said so.
        QVERIFY(waitUntil([] { return interpreterHolds(); }));
        QVERIFY(QFile::remove(php));
        writeFile(php, "#!/nonexistent/interpreter\n");
        QFile::setPermissions(php, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const platform::PreviewOutput broken = runToEnd(runner, asked);
        QVERIFY2(broken.notice.endsWith(QStringLiteral("Das Programm, das sie ausführen soll, gibt es nicht.")),
                 qPrintable(broken.notice));
        QCOMPARE(readAll(broken.path), QByteArray());

        // One that reads its script under another name, before the key: it runs again, and
        // waits before it starts.
        const QString other = env.root() + QStringLiteral("/anderer");
        writeFile(other, "#!/bin/sh\nif [ \"$1\" = --ini ]; then echo 'Loaded Configuration File:         (none)'; exit 0; fi\n"
                         "cd / && t=$(cat \"./${2#/}\") && sleep 1 && printf %s \"$t\"\n");
        QFile::setPermissions(other, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const platform::PreviewRequest read{other, "erster Lauf", file, env.root()};
        QCOMPARE(readAll(runToEnd(runner, read).path), QByteArray("erster Lauf"));
        QVERIFY(waitUntil([] { return containerHolds(); }));
        const platform::PreviewRequest again{other, "zweiter Lauf", file, env.root()};
        QCOMPARE(readAll(runToEnd(runner, again).path), QByteArray("zweiter Lauf"));
    }

    // A text without a file runs from a script of its own, in a folder of its own, where the
    // scratch folder's other files do not lie; a document whose file has gone runs so too, and
    // nothing appears in its file's place.
    void textWithoutFileRunsInAFolderOfItsOwn()
    {
        IsolatedEnvironment env;
        if (!platform::PreviewRunner::containerRefusal().isEmpty())
            QSKIP("the kernel refuses the container here");
        platform::PreviewRunner runner;
        const QByteArray script = "<?php echo __FILE__, '|', getcwd(), '|', implode(',', scandir(__DIR__)), '|',"
                                  " var_export(file_exists(dirname(__DIR__) . '/" + QByteArray::number(getpid() + 1) + ".lock'), true),"
                                  " '|', @file_put_contents(__DIR__ . '/Output.htm', 'GEPFLANZT') > 0 ? 'geschrieben' : 'nicht';";
        const platform::PreviewOutput shown = runToEnd(runner, platform::PreviewRequest{Php, script, QString(), env.root()});
        const QString own = env.scratchDir() + QStringLiteral("temp.php");
        QCOMPARE(shown.scriptPath, own);
        QCOMPARE(readAll(shown.path), (own + QLatin1Char('|') + env.scratchDir().chopped(1) + QStringLiteral("|.,..,temp.php|false|geschrieben")).toUtf8());
        const QString gone = env.root() + QStringLiteral("/weg.php");
        const platform::PreviewOutput moved = runToEnd(runner, platform::PreviewRequest{Php, "<?php echo __FILE__;", gone, env.root()});
        QCOMPARE(readAll(moved.path), own.toUtf8());
        QVERIFY(!QFileInfo::exists(gone));
    }

    // A container made ahead of a run that never comes ends with the runner, as it ends when
    // the run it waited for is another one.
    void unusedContainerEnds()
    {
        IsolatedEnvironment env;
        if (!platform::PreviewRunner::containerRefusal().isEmpty())
            QSKIP("the kernel refuses the container here");
        {
            platform::PreviewRunner runner;
            QCOMPARE(readAll(runToEnd(runner, platform::PreviewRequest{Php, "<?php echo 'a';", QString(), env.root()}).path),
                     QByteArray("a"));
            QVERIFY(waitUntil([] { return containerWaits(); }));
        }
        QVERIFY(waitUntil([] { return !containerWaits(); }));
        QVERIFY(waitUntil([] { return runningPreviews().isEmpty(); }));
    }

    // The start is kept off the window's core; the script then has every core this program has.
    void interpreterHasEveryCore()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const QByteArray script = "<?php preg_match('/^Cpus_allowed_list:\\s*(\\S+)/m', file_get_contents('/proc/self/status'), $m); echo $m[1];";
        const QByteArray first = readAll(runToEnd(runner, platform::PreviewRequest{Php, script, QString(), env.root()}).path);
        QVERIFY(waitUntil([] { return containerWaits() || !platform::PreviewRunner::containerRefusal().isEmpty(); }));
        const QByteArray prepared = readAll(runToEnd(runner, platform::PreviewRequest{Php, script, QString(), env.root()}).path);
        QRegularExpression own(QStringLiteral("^Cpus_allowed_list:\\s*(\\S+)"), QRegularExpression::MultilineOption);
        const QString cores = own.match(QString::fromLatin1(readAll(QStringLiteral("/proc/self/status")))).captured(1);
        QVERIFY(!cores.isEmpty());
        QCOMPARE(QString::fromLatin1(first), cores);
        QCOMPARE(QString::fromLatin1(prepared), cores);
    }

    // What the script writes into its own files is not bounded; only its output is.
    void scriptsOwnFilesAreWhole()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const QString big = env.root() + QStringLiteral("/gross.bin");
        const platform::PreviewOutput shown = runToEnd(runner, request(Php,
            QStringLiteral("<?php var_dump(file_put_contents('%1', str_repeat('y', 3 << 20)));").arg(big)));
        QCOMPARE(readAll(shown.path), QByteArray("int(3145728)\n"));
        QCOMPARE(QFileInfo(big).size(), qint64(3 << 20));
        QVERIFY(!shown.cut);
    }

    void missingOrEmptyInterpreterGivesEmptyOutput()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const QString out = runToPage(runner, Php, QStringLiteral("<?php echo 'old';"));
        QCOMPARE(readAll(out), QByteArray("old"));
        const QString plain = env.root() + QStringLiteral("/kein-programm");
        writeFile(plain, "<?php");
        // Executable, but nothing that starts: bytes of no program, a script for a missing one.
        const QString garbage = env.root() + QStringLiteral("/kaputt");
        writeFile(garbage, QByteArray("\x7f" "ELF\x02\x01\x01", 7) + QByteArray(64, '\0'));
        const QString orphan = env.root() + QStringLiteral("/verwaist");
        writeFile(orphan, "#!/nonexistent/interpreter\n");
        for (const QString &file : {garbage, orphan})
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString lead = QStringLiteral("Der PHP-Interpreter %1 konnte nicht gestartet werden: ");
        const QList<QPair<QString, QString>> rows{
            {QString(), QStringLiteral("Es ist kein PHP-Interpreter eingestellt (Einstellungen).")},
            {QStringLiteral("/nonexistent/php"), lead.arg(QStringLiteral("/nonexistent/php")) + QStringLiteral("Die Datei gibt es nicht.")},
            {env.root(), lead.arg(env.root()) + QStringLiteral("Das ist ein Ordner.")},
            {plain, lead.arg(plain) + QStringLiteral("Die Datei ist nicht ausführbar.")},
            {QStringLiteral("kein-php-hier"), lead.arg(QStringLiteral("kein-php-hier")) + QStringLiteral("Er ist im Suchpfad (PATH) nicht zu finden.")},
            {garbage, lead.arg(garbage) + QStringLiteral("Die Datei ist kein Programm, das sich starten lässt.")},
            {orphan, lead.arg(orphan) + QStringLiteral("Das Programm, das sie ausführen soll, gibt es nicht.")},
        };
        for (const auto &[path, notice] : rows) {
            QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
            QCOMPARE(runToPage(runner, path, QStringLiteral("<?php echo 'new';")), out);
            QVERIFY(QFile::exists(out));
            QCOMPARE(readAll(out), QByteArray());
            QCOMPARE(ready.size(), 1);
            QCOMPARE(ready.first().first().value<platform::PreviewOutput>().notice, notice);
        }
        // A run that starts says nothing of it any more.
        QCOMPARE(runToEnd(runner, request(Php, QStringLiteral("<?php echo 1;"))).notice, QString());
    }

    void endlessOutputIsBounded()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const QString out = runToPage(runner, Php, QStringLiteral("<?php $s = str_repeat('x', 65536); while (true) echo $s;"));
        QVERIFY(waitUntil([&] { return runner.runningProcessId() == 0; }, 20000));
        QCOMPARE(QFileInfo(out).size(), platform::InterpreterProcess::OutputLimit);
    }

    // A background child ends with its run: at the script's end, never writing into a page.
    void leftoverChildrenEndWithTheirRun()
    {
        IsolatedEnvironment env;
        const QString pidFile = env.root() + QStringLiteral("/child.pid");
        platform::PreviewRunner runner;
        const QString script = leavesAChild(pidFile).replace(QStringLiteral("echo 'erster';"),
            QStringLiteral("while (!file_exists('%1')) usleep(1000); echo 'erster';").arg(pidFile));
        const QString out = runToPage(runner, Php, script);
        QVERIFY(waitUntil([&] { return !runner.isRunning(); }));
        QVERIFY(QFileInfo::exists(pidFile));
        // The child's command names its pid file.
        QVERIFY(waitUntil([&] { return processesNaming(pidFile).isEmpty(); }, 5000));
        QTest::qWait(1200);
        QCOMPARE(readAll(out), QByteArray("erster"));
    }

    void escapedChildrenEndWithTheRun_data()
    {
        QTest::addColumn<QString>("child");
        QTest::newRow("own group") << QStringLiteral("posix_setpgid(0, 0); note();");
        QTest::newRow("own session") << QStringLiteral("posix_setsid(); note();");
        QTest::newRow("daemon") << QStringLiteral("posix_setsid(); if (pcntl_fork() == 0) note(); exit(0);");
    }
    void escapedChildrenEndWithTheRun()
    {
        QFETCH(QString, child);
        IsolatedEnvironment env;
        const QString pidFile = env.root() + QStringLiteral("/child.pid");
        // The script ends once its child is under way.
        const QString script = escapingChild(pidFile, child).replace(QStringLiteral("echo 'erster';"),
            QStringLiteral("while (!file_exists('%1')) usleep(1000); echo 'erster';").arg(pidFile));
        platform::PreviewRunner runner;
        runToPage(runner, Php, script);
        QVERIFY(waitUntil([&] { return !runner.isRunning(); }));
        QVERIFY(QFileInfo::exists(pidFile));
        // The forks run the run's own script.
        QVERIFY(waitUntil([&] { return processesNaming(env.scratchDir()).isEmpty(); }, 5000));
        // An endless one that has left: Esc ends it too.
        QFile::remove(pidFile);
        runner.start(request(Php, script + QStringLiteral(" while (true) usleep(1000);")));
        const qint64 second = pidIn(pidFile);
        QVERIFY(second > 0 && processAlive(second));
        QVERIFY(runner.abort());
        QVERIFY(waitUntil([&] { return !processAlive(second); }, 5000));
    }

    // A script that fights its fence: it kills and stops whatever it can see, its parent
    // first, and leaves a daemon. Nothing of it survives the run's end, and no zombie is left.
    void scriptCannotBreakItsFence()
    {
        IsolatedEnvironment env;
        if (!platform::PreviewRunner::containerRefusal().isEmpty())
            QSKIP("the kernel refuses the container here");
        const QString pidFile = env.root() + QStringLiteral("/daemon.pid");
        const QString script = QStringLiteral(
            "<?php if (pcntl_fork() == 0) { posix_setsid(); if (pcntl_fork() == 0) {"
            " file_put_contents('%1', getmypid()); sleep(60); } exit(0); }\n"
            "while (!file_exists('%1')) usleep(1000);\n"
            "posix_kill(posix_getppid(), SIGSTOP); posix_kill(posix_getppid(), SIGKILL);\n"
            // Everything it can reach, once it is sure that this is its own namespace alone.
            "if (posix_getppid() == 1) posix_kill(-1, SIGSTOP);\n"
            "echo 'Ende';").arg(pidFile);
        platform::PreviewRunner runner;
        const platform::PreviewOutput shown = runToEnd(runner, request(Php, script));
        QVERIFY(!runner.isRunning());
        QCOMPARE(readAll(shown.path), QByteArray("Ende"));
        // The daemon as the run saw it; by name, since its number in the run is the run's own.
        QVERIFY(QFileInfo::exists(pidFile));
        QVERIFY(waitUntil([&] { return processesNaming(env.scratchDir()).isEmpty(); }, 5000));
        // Nothing this program started is left unreaped, once the container has gone (which the
        // run does not wait for).
        QByteArray zombie;
        const auto zombies = [&] {
            zombie.clear();
            for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(entry));
                const qsizetype close = stat.lastIndexOf(')');
                const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
                if (fields.size() > 1 && fields.at(1).toLongLong() == getpid() && fields.at(0) == "Z")
                    zombie = stat;
            }
            return !zombie.isEmpty();
        };
        QVERIFY2(waitUntil([&] { return !zombies(); }, 5000), zombie.constData());
    }

    // What each run cost, as the kernel counted it for the interpreter: its time, its peak
    // memory, its exit status or signal; in its container (its first run started at once, the
    // next ones in containers made ahead) and without one.
    void whatARunCost_data()
    {
        QTest::addColumn<bool>("contained");
        QTest::newRow("container") << true;
        QTest::newRow("no container") << false;
    }
    void whatARunCost()
    {
        QFETCH(bool, contained);
        IsolatedEnvironment env;
        const QByteArray oldPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        if (!contained)
            qputenv("PATH", (refusingBwrap(env.root() + QStringLiteral("/bin")) + QStringLiteral(":/usr/bin:/bin")).toLocal8Bit());
        platform::PreviewRunner runner;
        const auto costOf = [&](const QString &script) {
            const platform::PreviewOutput output = runToEnd(runner, request(Php, script, env.root()));
            // The next run's container is made meanwhile.
            QTest::qWait(platform::PreviewRunner::PrepareAfterMs + 200);
            return output.cost;
        };
        const RunCost sleeper = costOf(QStringLiteral("<?php usleep(300000); exit(3);"));
        QVERIFY(sleeper.known);
        QVERIFY2(sleeper.wallUs >= 300000, qPrintable(QString::number(sleeper.wallUs)));
        QVERIFY(sleeper.exited);
        QCOMPARE(sleeper.code, 3);
        const RunCost big = costOf(QStringLiteral("<?php $s = str_repeat('x', 50 * 1024 * 1024); echo strlen($s);"));
        QVERIFY(big.known);
        QVERIFY2(big.peakKiB >= 50 * 1024, qPrintable(QString::number(big.peakKiB)));
        QVERIFY(big.exited);
        QCOMPARE(big.code, 0);
        const RunCost small = costOf(QStringLiteral("<?php echo 1;"));
        QVERIFY(small.known);
        QVERIFY2(small.peakKiB > 0 && small.peakKiB < big.peakKiB - 40 * 1024,
                 qPrintable(QStringLiteral("%1 / %2").arg(small.peakKiB).arg(big.peakKiB)));
        const RunCost killed = costOf(QStringLiteral("<?php echo 'x'; posix_kill(posix_getpid(), 9);"));
        QVERIFY(killed.known);
        QVERIFY(!killed.exited);
        QCOMPARE(killed.code, 9);
        QCOMPARE(runCostMessage(killed).section(QStringLiteral(" · "), 2), QStringLiteral("Signal 9"));
    }

    // The status bar's form of it.
    void runCostMessages()
    {
        RunCost cost;
        QCOMPARE(runCostMessage(cost), QString());
        cost.known = true;
        cost.wallUs = 123456;
        cost.peakKiB = 2048;
        QCOMPARE(runCostMessage(cost), QStringLiteral("Fertig in 0,12 s · 2,1 MB · Exit 0"));
        cost.wallUs = 61500000;
        cost.peakKiB = 204800;
        cost.code = 255;
        QCOMPARE(runCostMessage(cost), QStringLiteral("Fertig in 61,5 s · 210 MB · Exit 255"));
    }

    // Where the kernel refuses the container, or bubblewrap is missing, the run goes on
    // without it, on the scratch file, and the status bar is told why once.
    void runWithoutContainerWhereItIsRefused_data()
    {
        QTest::addColumn<QString>("bwrap");
        QTest::addColumn<QString>("notice");
        QTest::newRow("refused") << QStringLiteral("refusing")
                                 << QStringLiteral("Vorschau ohne Abschirmung: Der Container ließ sich nicht anlegen "
                                                   "(No permissions to create a new namespace).");
        QTest::newRow("missing") << QStringLiteral("missing")
                                 << QStringLiteral("Vorschau ohne Abschirmung: bubblewrap (bwrap) ist nicht installiert.");
    }
    void runWithoutContainerWhereItIsRefused()
    {
        QFETCH(QString, bwrap);
        QFETCH(QString, notice);
        IsolatedEnvironment env;
        const QByteArray oldPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        const QString bin = bwrap == QLatin1String("refusing") ? refusingBwrap(env.root() + QStringLiteral("/bin"))
                                                                : env.root() + QStringLiteral("/leer");
        // Without bubblewrap, PATH leads to nothing: the interpreter is named by its path.
        qputenv("PATH", bwrap == QLatin1String("missing") ? bin.toLocal8Bit() : (bin + QStringLiteral(":/usr/bin:/bin")).toLocal8Bit());
        const QString pidFile = env.root() + QStringLiteral("/child.pid");
        const QString site = env.root() + QStringLiteral("/site");
        QVERIFY(QDir().mkpath(site));
        platform::PreviewRunner runner;
        const QString script = QStringLiteral("<?php if (pcntl_fork() == 0) { posix_setsid(); file_put_contents('%1', getmypid()); sleep(60); }"
                                              " while (!file_exists('%1')) usleep(1000); echo __FILE__, '|', getcwd();").arg(pidFile);
        const platform::PreviewOutput first = runToEnd(runner, request(Php, script, site));
        QCOMPARE(first.notice, notice);
        QCOMPARE(platform::PreviewRunner::containerRefusal(), notice.mid(27));
        QCOMPARE(readAll(first.path), (env.scratchDir() + QStringLiteral("temp.php|") + site).toUtf8());
        QCOMPARE(first.scriptPath, env.scratchDir() + QStringLiteral("temp.php"));
        // Without the container the supervisor ends what the script left.
        QVERIFY(QFileInfo::exists(pidFile));
        QVERIFY(waitUntil([&] { return processesNaming(env.scratchDir()).isEmpty(); }, 5000));
        QCOMPARE(runToEnd(runner, request(Php, QStringLiteral("<?php echo 2;"))).notice, QString());
    }


    // A request of the page runs as a web server runs the document through PHP's CGI
    // interpreter: in the document's folder and in the fence, the body on standard input, the
    // variables in a clean environment; the page is the answer's body, its log kept apart.
    // The syntax check parses with the user's interpreter in the run's container and never
    // runs the code: a parse error comes with its line, under the document's name; a text that
    // parses says nothing and its code has done nothing.
    void syntaxCheckParsesAndNeverRuns()
    {
        IsolatedEnvironment env;
        const QString file = env.root() + QStringLiteral("/seite.php");
        writeFile(file, "<?php echo 'von der Platte';");
        const QString mark = env.root() + QStringLiteral("/gelaufen");
        platform::SyntaxCheck check;
        QSignalSpy checked(&check, &platform::SyntaxCheck::checked);
        const auto checkOf = [&](const QByteArray &script, const QString &document) {
            checked.clear();
            if (!check.start(Php, script, document) || !checked.wait(20000))
                return QList<ScriptMessage>{{-1, true, QStringLiteral("no check")}};
            return checked.first().first().value<QList<ScriptMessage>>();
        };
        const QByteArray runs = "<?php file_put_contents('" + mark.toUtf8() + "', 'x'); echo 1;\n";
        QCOMPARE(checkOf(runs, file).size(), 0);
        QVERIFY(!QFileInfo::exists(mark));

        const QList<ScriptMessage> errors = checkOf("<?php\necho 1;\necho 2 3;\necho 4;\n", file);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().line, 3);
        QVERIFY2(errors.first().text.contains(QLatin1String("syntax error")), qPrintable(errors.first().text));
        const QList<ScriptMessage> tokenNamed = checkOf("<?php\necho 1;\n<?php ( ?>\n", file);
        QCOMPARE(tokenNamed.size(), 1);
        QCOMPARE(tokenNamed.first().line, 3);
        // Without a file: the text as a scratch file of its own.
        const QList<ScriptMessage> unnamed = checkOf("<?php\n\n\nfunction ( {", QString());
        QCOMPARE(unnamed.size(), 1);
        QCOMPARE(unnamed.first().line, 4);
        QCOMPARE(readAll(file), QByteArray("<?php echo 'von der Platte';"));
    }

    // The check's start does not wait for its container (the window would, while the user
    // types): the check is under way while the container is still being made, and its answer
    // comes once the container stands.
    void syntaxCheckDoesNotWaitForItsContainer()
    {
        IsolatedEnvironment env;
        if (!platform::PreviewRunner::containerRefusal().isEmpty())
            QSKIP("the kernel refuses the container here");
        const QString bwrap = QStandardPaths::findExecutable(QStringLiteral("bwrap"));
        const QString bin = env.root() + QStringLiteral("/bin");
        const QString release = env.root() + QStringLiteral("/weiter");
        QDir().mkpath(bin);
        writeFile(bin + QStringLiteral("/bwrap"), "#!/bin/sh\nwhile [ ! -e '" + release.toUtf8()
                                                     + "' ]; do sleep 0.02; done\nexec '" + bwrap.toUtf8() + "' \"$@\"\n");
        QFile::setPermissions(bin + QStringLiteral("/bwrap"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        qputenv("PATH", bin.toLocal8Bit() + ':' + oldPath);
        platform::SyntaxCheck check;
        QSignalSpy checked(&check, &platform::SyntaxCheck::checked);
        QVERIFY(check.start(Php, "<?php\n\necho 2 3;\n", QString()));
        QVERIFY(check.isRunning());
        QVERIFY(checked.isEmpty());
        writeFile(release, "");
        QVERIFY(checked.wait(20000));
        const QList<ScriptMessage> errors = checked.first().first().value<QList<ScriptMessage>>();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().line, 3);
    }

    void requestRunsAsAWebServerRunsIt()
    {
        const QString cgi = QStringLiteral("/usr/bin/php-cgi");
        if (!QFileInfo(cgi).isExecutable())
            QSKIP("php-cgi is not installed (scripts/install-deps.sh --tests installs it)");
        QCOMPARE(platform::PreviewRunner::cgiInterpreterFor(Php, QString()), cgi);
        QCOMPARE(platform::PreviewRunner::cgiInterpreterFor(QStringLiteral("php"), QString()), cgi);
        QCOMPARE(platform::PreviewRunner::cgiInterpreterFor(Php, QStringLiteral("/nirgends/php-cgi")), QString());
        IsolatedEnvironment env;
        const QString site = env.root() + QStringLiteral("/site");
        QVERIFY(QDir().mkpath(site));
        const QString file = site + QStringLiteral("/index.php");
        writeFile(file, "<?php echo 'von der Platte';");
        const QByteArray text = QStringLiteral(
            "<?php http_response_code(201); header('X-A: 1');\n"
            "echo $_SERVER['REQUEST_METHOD'], '|', $_POST['a'] ?? '-', '|', file_get_contents('php://input'), '|',\n"
            "  $_GET['q'] ?? '-', '|', getcwd() === __DIR__ ? 'dir' : getcwd(), '|', __FILE__, '|',\n"
            "  var_export(getenv('DISPLAY'), true), '|', var_export(file_exists('%1'), true), '|', $_COOKIE['c'] ?? '-';\n"
            "file_put_contents('php://stderr', \"ins Protokoll\\n\"); echo $u;\n").arg(env.scratchDir()).toUtf8();
        platform::PreviewRequest asked{Php, text, file, env.root()};
        asked.web = WebRequest{"POST", "q=9", "application/x-www-form-urlencoded", "a=%C3%A4+b", 1};
        asked.cgiInterpreter = cgi;
        asked.cookie = "c=keks";
        platform::PreviewRunner runner;
        const platform::PreviewOutput out = runToEnd(runner, asked);
        QVERIFY(out.response);
        QCOMPARE(out.response->status, 201);
        QCOMPARE(out.scriptPath, file);
        // The page is the body alone, its charset from the header kept by the mark.
        QCOMPARE(readAll(out.path), "\xEF\xBB\xBFPOST|\xC3\xA4 b|a=%C3%A4+b|9|dir|" + file.toUtf8() + "|false|false|keks");
        QVERIFY2(out.errors.contains("ins Protokoll"), out.errors.constData());
        const QList<ScriptMessage> logged = findScriptMessages(out.errors, out.scriptPath);
        QCOMPARE(logged.size(), 1);
        QCOMPARE(logged.first().line, 5);
        QCOMPARE(readAll(file), QByteArray("<?php echo 'von der Platte';"));

        // Without a container: the scratch copy, in its own folder (the CGI interpreter goes to
        // its script's folder).
        const QByteArray oldPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        qputenv("PATH", (refusingBwrap(env.root() + QStringLiteral("/bin")) + QStringLiteral(":/usr/bin:/bin")).toLocal8Bit());
        asked.script = "<?php echo $_SERVER['REQUEST_METHOD'], '|', getcwd(), '|', $_POST['a'];";
        const platform::PreviewOutput bare = runToEnd(runner, asked);
        QVERIFY(bare.response);
        QCOMPARE(readAll(bare.path), "\xEF\xBB\xBFPOST|" + env.scratchDir().chopped(1).toUtf8() + "|\xC3\xA4 b");
        QCOMPARE(bare.scriptPath, env.scratchDir() + QStringLiteral("temp.php"));
    }

    // The interpreter gets standard input, output and error, and nothing else of the program.
    void interpreterInheritsNoOtherDescriptor()
    {
        IsolatedEnvironment env;
        // As the web engine opens its sockets: without close-on-exec.
        const int open = ::open("/dev/null", O_RDONLY);
        QVERIFY(open > 2);
        platform::PreviewRunner runner;
        // Also where the interpreter started up before the key, with what let it wait.
        runToEnd(runner, request(Php, QStringLiteral("<?php echo 1;")));
        QVERIFY(waitUntil([] { return interpreterHolds(); }));
        // Beside 0, 1 and 2, PHP holds its script and the listed folder.
        const QString out = runToPage(runner, Php, QStringLiteral(
            "<?php foreach (scandir('/proc/self/fd') as $f) { $l = (string) @readlink(\"/proc/self/fd/$f\");"
            " if ($f[0] != '.' && $f > 2 && $l != '' && !str_ends_with($l, '/temp.php') && !str_starts_with($l, '/proc/')) echo \"$f=$l \"; }"
            " echo 'ende';"));
        ::close(open);
        QCOMPARE(readAll(out), QByteArray("ende"));
    }

    // A scratch folder that fills up during a run is told apart from one with room left, so
    // that a page cut by the full disk is not shown as complete.
    void fullScratchFolderIsSeen()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        IsolatedEnvironment env;
        const QString scratch = env.scratchDir().chopped(1);
        QVERIFY(platform::scratchDirectory().usable);
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=256k,mode=0700"), QStringLiteral("tmpfs"), scratch});
        QVERIFY(mount.waitForFinished(10000) && mount.exitCode() == 0);
        const auto unmount = qScopeGuard([&] {
            QProcess umount;
            umount.start(QStringLiteral("umount"), {QStringLiteral("-l"), scratch});
            umount.waitForFinished(10000);
        });
        platform::PreviewRunner runner;
        runToPage(runner, Php, QStringLiteral("<?php for ($i = 1; $i <= 20000; $i++) echo \"<p>Zeile $i</p>\\n\";"));
        QVERIFY(waitUntil([&] { return runner.runningProcessId() == 0; }, 10000));
        QVERIFY(platform::scratchSpaceExhausted());
        const QString out = runToPage(runner, Php, QStringLiteral("<?php echo 'kurz';"));
        QCOMPARE(readAll(out), QByteArray("kurz"));
        QVERIFY(!platform::scratchSpaceExhausted());
    }

    // A late page belongs to its run: stop() cancels it, and the run's word with it.
    void stoppedRunSendsNoLatePage()
    {
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        QSignalSpy ready(&runner, &platform::PreviewRunner::outputReady);
        QSignalSpy status(&runner, &platform::PreviewRunner::statusChanged);
        runner.start(request(Php, QStringLiteral("<?php echo 'a'; flush(); usleep(600000); echo 'b';")));
        const qint64 pid = runner.runningProcessId();
        QVERIFY(pid > 0);
        runner.stop();
        QVERIFY(!runner.isRunning());
        QVERIFY(waitUntil([&] { return !processAlive(pid); }, 2000));
        QTest::qWait(800);
        QVERIFY(ready.isEmpty());
        QVERIFY(status.isEmpty());
        // Stopped while counted, the count goes too.
        runner.start(request(Php, QStringLiteral("<?php sleep(30);")));
        QVERIFY(status.wait(5000));
        runner.stop();
        QCOMPARE(status.last().first().toString(), QString());
    }

    // Names planted in the scratch folder (a script may leave them there): nothing is written
    // through them, nothing blocks; a link or a pipe gives way to a file, a folder is refused.
    void plantedScratchFilesAreReplacedNeverFollowed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        for (const QString &name : {QStringLiteral("temp.php"), QStringLiteral("Output.htm")}) {
            QTest::newRow(qPrintable(name + QStringLiteral(" symbolic link"))) << name << QStringLiteral("link");
            QTest::newRow(qPrintable(name + QStringLiteral(" dangling link"))) << name << QStringLiteral("dangling");
            QTest::newRow(qPrintable(name + QStringLiteral(" named pipe"))) << name << QStringLiteral("fifo");
            QTest::newRow(qPrintable(name + QStringLiteral(" folder"))) << name << QStringLiteral("dir");
            QTest::newRow(qPrintable(name + QStringLiteral(" hard link"))) << name << QStringLiteral("hard");
        }
    }

    void plantedScratchFilesAreReplacedNeverFollowed()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        IsolatedEnvironment env;
        const platform::ScratchDirectory dir = platform::scratchDirectory();
        QVERIFY(dir.usable);
        const QString planted = dir.path + name;
        const QString target = env.root() + QStringLiteral("/target.txt");
        writeFile(target, "unberuehrt");
        const QByteArray p = QFile::encodeName(planted);
        if (kind == QLatin1String("link"))
            QVERIFY(symlink(QFile::encodeName(target).constData(), p.constData()) == 0);
        else if (kind == QLatin1String("dangling"))
            QVERIFY(symlink(QFile::encodeName(env.root() + QStringLiteral("/neu.txt")).constData(), p.constData()) == 0);
        else if (kind == QLatin1String("fifo"))
            QVERIFY(mkfifo(p.constData(), 0600) == 0);
        else if (kind == QLatin1String("dir"))
            QVERIFY(QDir().mkdir(planted));
        else
            QVERIFY(link(QFile::encodeName(target).constData(), p.constData()) == 0);

        platform::PreviewRunner runner;
        const QString result = runOrError(runner, Php, QStringLiteral("<?php echo 'neu';"));
        if (kind == QLatin1String("dir")) {
            QCOMPARE(result, QStringLiteral("error: Cannot create file ") + planted);
        } else {
            // The name gets a file of its own.
            QCOMPARE(result, dir.path + OutputFileName);
            QCOMPARE(readAll(result), QByteArray("neu"));
        }
        QCOMPARE(readAll(target), QByteArray("unberuehrt"));
        QVERIFY(!QFile::exists(env.root() + QStringLiteral("/neu.txt")));
    }

    void relativeTmpdirGivesAnAbsoluteOutput()
    {
        IsolatedEnvironment env;
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(env.root()));
        qputenv("TMPDIR", "tmp");
        platform::PreviewRunner runner;
        const QString out = runOrError(runner, Php, QStringLiteral("<?php echo 'relativ';"));
        QDir::setCurrent(old);
        QCOMPARE(out, env.scratchDir() + OutputFileName);
        QVERIFY(QFileInfo(out).isAbsolute());
        QCOMPARE(readAll(out), QByteArray("relativ"));
    }

    // The program ends by a signal: its interpreter ends with it, and only that.
    void interpreterEndsWithTheProgram_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGSEGV") << int(SIGSEGV);
        QTest::newRow("SIGKILL") << int(SIGKILL);
        QTest::newRow("SIGQUIT") << int(SIGQUIT);
        QTest::newRow("SIGUSR1") << int(SIGUSR1);
        QTest::newRow("SIGALRM") << int(SIGALRM);
    }

    // The interpreter and a child that left its session end with the program however it ends.
    void interpreterEndsWithTheProgram()
    {
        QFETCH(int, sig);
        IsolatedEnvironment env;
        QProcess foreign;
        foreign.start(Php, {QStringLiteral("-r"), QStringLiteral("sleep(30);")});
        QVERIFY(foreign.waitForStarted());
        QProcess program;
        const QString pidFile = env.root() + QStringLiteral("/child.pid");
        program.start(QStringLiteral(PREVIEW_CHILD),
                      {Php, escapingChild(pidFile, QStringLiteral("posix_setsid(); note();")) + QStringLiteral(" while (true) usleep(1000);")});
        QVERIFY(program.waitForStarted());
        QVERIFY(waitUntil([&] { return program.canReadLine(); }, 10000));
        const qint64 php = program.readLine().trimmed().toLongLong();
        QVERIFY(php > 0 && processAlive(php));
        const qint64 escaped = pidIn(pidFile);
        QVERIFY(escaped > 0 && processAlive(escaped));
        ::kill(pid_t(program.processId()), sig);
        QVERIFY(program.waitForFinished(5000));
        QVERIFY(waitUntil([&] { return !processAlive(php); }, 2000));
        QVERIFY(waitUntil([&] { return !processAlive(escaped); }, 2000));
        QVERIFY(processAlive(foreign.processId()));
        foreign.kill();
        foreign.waitForFinished();
    }

    // Two instances of one user run at once, each into its own output.
    void instancesKeepTheirOwnOutput()
    {
        IsolatedEnvironment env;
        QProcess a, b;
        a.start(QStringLiteral(PREVIEW_CHILD), {Php, QStringLiteral("<?php sleep(3); echo 'AAAA';")});
        QVERIFY(waitUntil([&] { return a.canReadLine(); }, 10000));
        const auto stop = qScopeGuard([&] {
            for (QProcess *p : {&a, &b}) {
                p->kill();
                p->waitForFinished();
            }
        });
        QTest::qWait(600);
        b.start(QStringLiteral(PREVIEW_CHILD), {Php, QStringLiteral("<?php echo 'BBBB';")});
        // Each names its output on its second line.
        const auto outputOf = [](QProcess &p) {
            QString out;
            waitUntil([&] {
                const QList<QByteArray> lines = p.peek(4096).split('\n');
                out = lines.size() > 2 ? QString::fromLocal8Bit(lines.at(1)) : QString();
                return !out.isEmpty();
            }, 10000);
            return out;
        };
        const QString outA = outputOf(a), outB = outputOf(b);
        QVERIFY(!outA.isEmpty() && !outB.isEmpty());
        QVERIFY(outA != outB);
        QVERIFY(waitUntil([&] { return readAll(outB) == "BBBB"; }, 10000));
        QVERIFY(waitUntil([&] { return readAll(outA) == "AAAA"; }, 15000));
        QCOMPARE(readAll(outB), QByteArray("BBBB"));
    }

    // PHP's own messages, in every form it writes them, found on their lines.
    void messagesPointAtTheirLines_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("start");
        QTest::newRow("warning") << "<?php\n\necho $nirgends;\n" << 3 << false << "Warning: Undefined variable $nirgends";
        QTest::newRow("warning, html") << "<?php ini_set('display_errors', '1'); ini_set('html_errors', '1');\necho $x;"
                                       << 2 << false << "Warning: Undefined variable $x";
        QTest::newRow("warning, stderr") << "<?php ini_set('display_errors', 'stderr');\n\n\necho $y;" << 4 << false
                                         << "Warning: Undefined variable $y";
        QTest::newRow("notice") << "<?php\n$x = array_pop(explode(',', 'a,b'));" << 2 << false
                                << "Notice: Only variables should be passed by reference";
        QTest::newRow("deprecated") << "<?php error_reporting(E_ALL);\n\n$n = strlen(null);" << 3 << false
                                    << "Deprecated: strlen(): Passing null";
        QTest::newRow("parse error") << "<?php\n$a = ;\n" << 2 << true << "Parse error: syntax error";
        QTest::newRow("parse error naming \"<\"") << "<?php\necho 1;\n<?php ( ?>\n" << 3 << true
                                               << "Parse error: syntax error, unexpected token \"<\"";
        QTest::newRow("after the page's own \"<\"") << "<?php echo '1 < 2 <b';\n\necho $z;" << 3 << false
                                                << "Warning: Undefined variable $z";
        QTest::newRow("fatal error") << "<?php\nclass A {}\nclass A {}" << 3 << true << "Fatal error: Cannot declare class A";
        QTest::newRow("uncaught exception") << "<?php\n\nthrow new Exception('boom');" << 3 << true
                                            << "Fatal error: Uncaught Exception: boom";
        QTest::newRow("uncaught, html") << "<?php ini_set('display_errors', '1'); ini_set('html_errors', '1');\n\n"
                                           "function g() { throw new RuntimeException('tief'); }\ng();"
                                        << 3 << true << "Fatal error: Uncaught RuntimeException: tief";
    }

    void messagesPointAtTheirLines()
    {
        QFETCH(QString, script);
        QFETCH(int, line);
        QFETCH(bool, error);
        QFETCH(QString, start);
        IsolatedEnvironment env;
        platform::PreviewRunner runner;
        const platform::PreviewOutput shown = runToEnd(runner, request(Php, script));
        const QString out = shown.path;
        const QList<ScriptMessage> found = findScriptMessages(readAll(out), shown.scriptPath);
        QVERIFY2(!found.isEmpty(), readAll(out).constData());
        QCOMPARE(found.first().line, line);
        QCOMPARE(found.first().error, error);
        QVERIFY2(found.first().text.startsWith(start), qPrintable(found.first().text));
        // Only messages about the script itself.
        QVERIFY(findScriptMessages(readAll(out), env.scratchDir() + QStringLiteral("other.php")).isEmpty());
    }

    void scratchDirectoryIsPrivate()
    {
        IsolatedEnvironment env;
        platform::ScratchDirectory dir = platform::scratchDirectory();
        QVERIFY(dir.usable);
        QCOMPARE(dir.path, env.scratchDir());
        struct stat st;
        QCOMPARE(lstat(QFile::encodeName(dir.path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);

        // A trailing delimiter in TMPDIR gives no second one.
        qputenv("TMPDIR", (env.tmpDir() + QStringLiteral("//")).toLocal8Bit());
        QCOMPARE(platform::scratchDirectory().path, env.scratchDir());
    }

    void unsafeScratchDirectoryIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason"); // how the error says why
        QTest::newRow("open to others") << QStringLiteral("mode") << 0777 << QStringLiteral("anderen zugänglich (Rechte 777)");
        QTest::newRow("others may plant files") << QStringLiteral("mode") << 0703 << QStringLiteral("(Rechte 703)");
        QTest::newRow("the group may plant files") << QStringLiteral("mode") << 0730 << QStringLiteral("(Rechte 730)");
        QTest::newRow("others may read the scripts") << QStringLiteral("mode") << 0704 << QStringLiteral("(Rechte 704)");
        QTest::newRow("symbolic link") << QStringLiteral("link") << 0 << QStringLiteral("ist ein symbolischer Verweis");
        QTest::newRow("plain file") << QStringLiteral("file") << 0 << QStringLiteral("ist kein Ordner");
        QTest::newRow("TMPDIR missing") << QStringLiteral("missing") << 0 << QStringLiteral("No such file or directory");
    }

    void unsafeScratchDirectoryIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(int, mode);
        IsolatedEnvironment env;
        const QString scratch = env.scratchRoot().chopped(1);
        if (kind == QLatin1String("mode")) {
            QVERIFY(QDir().mkpath(scratch));
            QCOMPARE(chmod(QFile::encodeName(scratch).constData(), mode_t(mode)), 0);
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QDir().mkpath(env.root() + QStringLiteral("/elsewhere")));
            chmod(QFile::encodeName(env.root() + QStringLiteral("/elsewhere")).constData(), 0700);
            QVERIFY(QFile::link(env.root() + QStringLiteral("/elsewhere"), scratch));
        } else if (kind == QLatin1String("file")) {
            writeFile(scratch, "planted");
        } else {
            qputenv("TMPDIR", (env.root() + QStringLiteral("/does/not/exist")).toLocal8Bit());
        }
        QFETCH(QString, reason);
        const QString expectedDir = platform::scratchDirectory().path;
        platform::PreviewRunner runner;
        QCOMPARE(runOrError(runner, Php, QStringLiteral("<?php echo 1;")),
                 QStringLiteral("error: Cannot create file %1temp.php").arg(expectedDir));
        try {
            runner.start(platform::PreviewRequest{Php, "<?php echo 1;", QString(), env.root()});
            QFAIL("the run started");
        } catch (const AppError &e) {
            QVERIFY2(e.reason().contains(reason), qPrintable(e.reason()));
        }
        QVERIFY(!QFile::exists(env.root() + QStringLiteral("/elsewhere/temp.php")));
        QCOMPARE(runner.runningProcessId(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPreviewRun)
#include "tst_previewrun.moc"
