// Start-up, first-run prompt, settings dialog and the preview keys on the real windows.
#include "TestMain.h"
#include "TestHttpServer.h"
#include "TestSupport.h"
#include "CodeEdit.h"
#include "FormSupport.h"
#include "EditorPalette.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "WebBrowser.h"
#include "core/AppSettings.h"
#include "platform/ErrorBox.h"
#include "platform/PreviewRunner.h"

#include <QClipboard>
#include <QLocale>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QtTest/qtestspontaneevent.h>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QMimeData>
#include <QSignalSpy>
#include <QTextBlock>
#include <QToolBar>
#include <QWindow>
#include <QKeyEvent>
#include <unistd.h>
#include <QScopeGuard>

namespace {
// The five windows of one program run.
struct Run
{
    ProgramForms forms;
    void show()
    {
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
    }
    QPlainTextEdit *memo() const { return Form1->memo1(); }
    QString paneText() const { return pageText(Form1->WebBrowser1()); }
    bool paneShows(const QString &text) const
    {
        return waitUntil([&] { return paneText() == text; }, 10000);
    }
};

// Whether an interpreter runs on this environment's scratch script (a text without a file):
// a process below this one runs `php -q` on it (one that waits for the next run aside).
bool scriptRuns(const IsolatedEnvironment &env)
{
    const QByteArray script = QFile::encodeName(env.scratchDir() + QStringLiteral("temp.php"));
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QList<QByteArray> args = readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0');
        if (args.size() >= 3 && args.at(args.size() - 3) == "-q" && args.at(args.size() - 2) == script
            && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget().contains(QLatin1String("php"))
            && !waitsForItsRun(pid.toLongLong(), true))
            return true;
    }
    return false;
}

QPushButton *button(QWidget *form, const char *name)
{
    return form->findChild<QPushButton *>(QString::fromLatin1(name));
}

// Minimise and restore as the user does it through the window manager; without one, the
// restore's show event as the window system sends it.
bool minimiseAndRestore(QWidget *window)
{
    if (!windowManagerRuns()) {
        QShowEvent shown;
        QSpontaneKeyEvent::setSpontaneous(&shown);
        QApplication::instance()->notify(window, &shown); // sendEvent would clear the flag
        return true;
    }
    const QString id = QString::number(window->winId());
    if (xdotool({QStringLiteral("windowminimize"), id}) != 0)
        return false;
    if (!waitUntil([&] { return window->isMinimized(); }))
        return false;
    if (xdotool({QStringLiteral("windowactivate"), id}) != 0)
        return false;
    return waitUntil([&] { return !window->isMinimized() && window->isActiveWindow(); });
}

// A window's properties as xprop prints them.
QString windowProperties(QWidget *window, const QStringList &names)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), QStringList{QStringLiteral("-id"), QString::number(window->winId())} + names);
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

// The shown windows from bottom to top, as the window manager stacks them.
QList<WId> stacking()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    xprop.waitForFinished(5000);
    QList<WId> ids;
    const QByteArray out = xprop.readAllStandardOutput();
    for (const QByteArray &part : out.mid(out.indexOf('#') + 1).split(','))
        ids << WId(part.trimmed().toULongLong(nullptr, 16));
    return ids;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void windowHasItsControlsAndMenu()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Korlith"));
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005"));
        QCOMPARE(Form1->size(), QSize(794, 625));
        QStringList menus;
        for (QAction *a : Form1->menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, QStringList({"&Datei", "Bearbeiten", "&Optionen", "&Hilfe"}));
        const QList<QAction *> edit = Form1->menuBar()->actions()[1]->menu()->actions();
        QCOMPARE(edit.last()->text(), QStringLiteral("Jetzt \"compilieren\""));
        QCOMPARE(edit.last()->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(Form1->action("ffnnen1")->text(), QStringLiteral("Ö&ffnen..."));
        QCOMPARE(Form1->action("Beenden1")->shortcut(), QKeySequence(QStringLiteral("Alt+F4")));
        QCOMPARE(Form1->findChild<QToolBar *>(QStringLiteral("ToolBar1"))->actions().size(), 9);
        for (const char *name : {"EditCut1", "EditCopy1", "EditPaste1", "EditUndo1", "Neu1", "ffnnen1", "Speichern1",
                                 "SearchFind1", "Einstellungen1", "PrintDlg1", "Info1", "Hilfe2", "KorlithOnline1",
                                 "SearchReplace1"})
            QVERIFY2(!Form1->action(name)->icon().isNull(), name);
        auto *status = Form1->findChild<QLabel *>(QStringLiteral("StatusBar1Panel"));
        QVERIFY(status->text().startsWith(QStringLiteral("Korlith by Tolvane - ")));
        QVERIFY(Form1->memo1()->tabChangesFocus());
        QCOMPARE(Form2->windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(Form4->windowTitle(), QStringLiteral("Achtung"));
        QCOMPARE(button(Form4, "Button1")->text(), QStringLiteral("Ja "));
    }

    // What the window manager draws is what it is given: exactly the captions, nothing added.
    void windowManagerTitlesAreTheCaptions()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto titleBecomes = [](QWidget *window, const QString &expected) {
            if (!waitUntil([&] { return windowManagerTitle(window) == expected; }))
                qWarning("window manager title: %s", qPrintable(windowManagerTitle(window)));
            return windowManagerTitle(window) == expected;
        };
        QVERIFY(titleBecomes(Form1, QStringLiteral("Korlith 2005")));

        // A file name is shown as it is written, Qt's modified marker "[*]" included.
        for (const QString &name : {QStringLiteral("datei.php"), QStringLiteral("a[*]b [*][*].php")}) {
            const QString script = env.root() + QLatin1Char('/') + name;
            writeFile(script, "<?php echo 1;");
            FileDialogAnswerer answers({script});
            Form1->action("ffnnen1")->trigger();
            QCOMPARE(answers.answered(), 1);
            QCOMPARE(Form1->caption(), QStringLiteral("Korlith 2005 - ") + name);
            QVERIFY(titleBecomes(Form1, QStringLiteral("Korlith 2005 - ") + name));
        }

        const std::pair<QWidget *, QString> dialogs[] = {{Form2, QStringLiteral("Einstellungen")},
                                                         {Form3, QStringLiteral("Info")},
                                                         {Form4, QStringLiteral("Achtung")},
                                                         {Form5, QStringLiteral("Update")}};
        for (const auto &[dialog, caption] : dialogs) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QVERIFY(titleBecomes(dialog, caption));
            dialog->hide();
        }

        // The error box carries the application's title.
        QString errorTitle;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !QTest::qWaitForWindowExposed(box))
                return;
            watcher.stop();
            titleBecomes(box, QStringLiteral("Korlith"));
            errorTitle = windowManagerTitle(box);
            box->done(QMessageBox::Ok);
        });
        watcher.start(10);
        platform::showErrorBox(QStringLiteral("Cannot open file x"));
        QCOMPARE(errorTitle, QStringLiteral("Korlith"));
    }

    void firstRunFlow()
    {
        IsolatedEnvironment env;
        {
            Run run;
            QCOMPARE(AppSettings::instance().configured(), false);
            QCOMPARE(AppSettings::instance().interpreterPath(), QString());
            // The key exists before anything is written.
            QVERIFY(env.readRegistry().contains("[HKEY_LOCAL_MACHINE\\Software\\Korlith]"));
            run.show();
            QVERIFY(Form4->isVisible());
            // "configured" is stored as soon as the prompt shows, before the answer.
            QVERIFY(env.readRegistry().contains("\"configured\"=\"1\""));
            QVERIFY(Form4->windowFlags() & Qt::WindowStaysOnTopHint);

            QTest::mouseClick(button(Form4, "Button1"), Qt::LeftButton);
            QVERIFY(!Form4->isVisible());
            QVERIFY(Form2->isVisible());
            QVERIFY(!Form2->isModal());

            // The menu entry refuses a modal showing of the open dialog.
            MessageBoxCatcher boxes;
            Form1->action("Einstellungen1")->trigger();
            QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Cannot make a visible window modal.")));
            QVERIFY(Form2->isVisible());

            Form2->findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(QStringLiteral("/usr/bin/php"));
            QTest::mouseClick(button(Form2, "Button1"), Qt::LeftButton);
            QVERIFY(!Form2->isVisible());
            QCOMPARE(AppSettings::instance().interpreterPath(), QStringLiteral("/usr/bin/php"));

            // Used at once, without a restart.
            QTest::keyClicks(run.memo(), QStringLiteral("<?php echo \"<h1>Hallo</h1>\";"));
            QTest::keyClick(run.memo(), Qt::Key_Return);
            QVERIFY(run.paneShows(QStringLiteral("Hallo")));
        }
        {
            Run run;
            run.show();
            QVERIFY(AppSettings::instance().configured());
            QCOMPARE(AppSettings::instance().interpreterPath(), QStringLiteral("/usr/bin/php"));
            QTest::qWait(50);
            QVERIFY(!Form4->isVisible());
        }
    }

    void promptAnswersAndConfiguredValues_data()
    {
        QTest::addColumn<QByteArray>("configured");
        QTest::addColumn<bool>("prompt");
        QTest::newRow("1") << QByteArray("\"1\"") << false;
        QTest::newRow("1 blank") << QByteArray("\"1 \"") << true;
        QTest::newRow("01") << QByteArray("\"01\"") << true;
        QTest::newRow("true") << QByteArray("\"true\"") << true;
    }

    void promptAnswersAndConfiguredValues()
    {
        QFETCH(QByteArray, configured);
        QFETCH(bool, prompt);
        IsolatedEnvironment env;
        env.writeRegistry("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=" + configured + "\n");
        Run run;
        run.show();
        QTest::qWait(20);
        QCOMPARE(Form4->isVisible(), prompt);
        if (!prompt)
            return;
        QVERIFY(env.readRegistry().contains("\"configured\"=\"1\"\n"));
        // "Nein" closes the prompt and stores nothing else.
        const QByteArray before = env.readRegistry();
        QTest::mouseClick(button(Form4, "Button2"), Qt::LeftButton);
        QVERIFY(!Form4->isVisible());
        QVERIFY(!Form2->isVisible());
        QCOMPARE(env.readRegistry(), before);
    }

    void settingsDialogCancelAndFailures()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto *edit = Form2->findChild<QLineEdit *>(QStringLiteral("Edit1"));

        // "Abbrechen" stores nothing; the next showing starts from the stored value.
        QString shownText;
        QWidget *focused = nullptr;
        QTimer::singleShot(0, [&] {
            shownText = edit->text();
            focused = Form2->focusWidget();
            edit->setText(QStringLiteral("/elsewhere/php"));
            QTest::mouseClick(button(Form2, "Button3"), Qt::LeftButton);
        });
        Form1->action("Einstellungen1")->trigger();
        QCOMPARE(shownText, QStringLiteral("/usr/bin/php"));
        QCOMPARE(focused, button(Form2, "Button1"));
        QCOMPARE(AppSettings::instance().interpreterPath(), QStringLiteral("/usr/bin/php"));
        QCOMPARE(env.readRegistry(), ConfiguredWithPhp);

        // A store that cannot be written: the dialog stays open and nothing changes.
        const QByteArray corrupt = "garbage\n";
        env.writeRegistry(corrupt);
        MessageBoxCatcher boxes;
        bool stayedOpen = false;
        QTimer::singleShot(0, [&] {
            edit->setText(QStringLiteral("/opt/php"));
            QTest::mouseClick(button(Form2, "Button1"), Qt::LeftButton);
            stayedOpen = Form2->isVisible();
            QTest::mouseClick(button(Form2, "Button3"), Qt::LeftButton);
        });
        Form1->action("Einstellungen1")->trigger();
        QVERIFY(stayedOpen);
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Failed to set data for 'Interpreter'")));
        QCOMPARE(AppSettings::instance().interpreterPath(), QStringLiteral("/usr/bin/php"));
        QCOMPARE(env.readRegistry(), corrupt);

        // An empty field is stored as an existing empty value.
        env.writeRegistry(ConfiguredWithPhp);
        QTimer::singleShot(0, [&] {
            edit->clear();
            QTest::mouseClick(button(Form2, "Button1"), Qt::LeftButton);
        });
        Form1->action("Einstellungen1")->trigger();
        QCOMPARE(AppSettings::instance().interpreterPath(), QString());
        QVERIFY(env.readRegistry().contains("\"Interpreter\"=\"\"\n"));
    }

    void wrongTypeAtStartUpIsReported()
    {
        IsolatedEnvironment env;
        env.writeRegistry("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n"
                          "\"configured\"=\"1\"\n\"Interpreter\"=dword:00000001\n");
        MessageBoxCatcher boxes;
        Run run;
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Invalid data type for 'Interpreter'")));
        QVERIFY(AppSettings::instance().configured());
        QCOMPARE(AppSettings::instance().interpreterPath(), QString());
        run.show();
        QVERIFY(Form1->isVisible());
    }

    void enterRunsThePreviewBeforeTheLineBreak()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        run.memo()->setFocus();
        QTest::keyClicks(run.memo(), QStringLiteral("<?php echo 'Ä'.'b';"));
        QTest::keyClick(run.memo(), Qt::Key_Return);
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")), QByteArray("<?php echo 'Ä'.'b';"));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("<?php echo 'Ä'.'b';\n"));
        QVERIFY(run.paneShows(QStringLiteral("Äb")));

        // Numeric keypad Enter runs too; Ctrl+Enter does not.
        QTest::keyClicks(run.memo(), QStringLiteral("echo 'c';"));
        QTest::keyClick(run.memo(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")), QByteArray("<?php echo 'Ä'.'b';\necho 'c';"));
        QVERIFY(run.paneShows(QStringLiteral("Äbc")));
        QTest::keyClicks(run.memo(), QStringLiteral("echo 'd';"));
        QTest::keyClick(run.memo(), Qt::Key_Return, Qt::ControlModifier);
        QTest::qWait(50);
        QVERIFY(!readAll(env.scratchDir() + QStringLiteral("temp.php")).contains("'d'"));

        // F5 runs the text as it stands.
        QTest::keyClick(run.memo(), Qt::Key_F5);
        QVERIFY(run.paneShows(QStringLiteral("Äbcd")));
    }

    // Shift+Enter is Enter: it runs the text as it stood and puts in a real line break, indented
    // as the line it splits.
    void shiftEnterRunsAndIndents()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        run.memo()->setFocus();
        run.memo()->setPlainText(QStringLiteral("<?php\n    echo 'e';"));
        run.memo()->moveCursor(QTextCursor::End);
        QTest::keyClick(run.memo(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")), QByteArray("<?php\n    echo 'e';"));
        QVERIFY(run.paneShows(QStringLiteral("e")));
        QTest::keyClicks(run.memo(), QStringLiteral("echo 'f';"));
        QTest::keyClick(run.memo(), Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
        QVERIFY(run.paneShows(QStringLiteral("ef")));
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")), QByteArray("<?php\n    echo 'e';\n    echo 'f';"));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("<?php\n    echo 'e';\n    echo 'f';\n    "));
        QCOMPARE(run.memo()->blockCount(), 4);
    }

    void slowScriptArrivesWithoutSecondKeypress()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        run.memo()->setPlainText(QStringLiteral("<?php echo 'a'; flush(); usleep(800000); echo 'z';"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("az")));
    }

    // The window is painted before the web engine starts, and a run asked for before the engine
    // runs is shown once it does; the keys typed meanwhile reach the editor.
    void windowIsPaintedBeforeTheEngineStarts()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        ProgramForms forms;
        struct FirstPaint : QObject
        {
            bool painted = false, engineRan = false;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Paint && !painted) {
                    painted = true;
                    engineRan = Form1->WebBrowser1()->engineStarted();
                }
                return false;
            }
        } firstPaint;
        Form1->memo1()->viewport()->installEventFilter(&firstPaint);
        QVERIFY(!Form1->WebBrowser1()->engineStarted());
        Form1->memo1()->setPlainText(QStringLiteral("<?php echo 'früh';"));
        Form1->Aktualisieren();
        Form1->show();
        QTest::keyClicks(Form1->memo1(), QStringLiteral("// "));
        QVERIFY(waitUntil([&] { return firstPaint.painted; }));
        QVERIFY(!firstPaint.engineRan);
        // Nor were the file dialogs made for it: they are made when first shown.
        for (QWidget *window : QApplication::allWidgets())
            QVERIFY2(!qobject_cast<QFileDialog *>(window), qPrintable(window->objectName()));
        QVERIFY(waitUntil([&] { return Form1->WebBrowser1()->engineStarted(); }));
        QVERIFY(waitUntil([&] { return pageText(Form1->WebBrowser1()) == QStringLiteral("früh"); }, 10000));
        QCOMPARE(Form1->memo1()->toPlainText(), QStringLiteral("// <?php echo 'früh';"));
        Form1->memo1()->viewport()->removeEventFilter(&firstPaint);
    }

    // A window nobody has typed into holds no engine: the empty pane is the empty page's
    // colour without it. The first key brings the engine up, and the run after it shows.
    void engineStartsWithTheFirstKey()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        // Twice the longest the engine waits after a paint where a page is asked for.
        QTest::qWait(500);
        QVERIFY(!Form1->WebBrowser1()->engineStarted());
        QCOMPARE(Form1->WebBrowser1()->grab().toImage().pixelColor(10, 10),
                 Form1->memo1()->palette().color(QPalette::Base));
        // A file dragged over the empty pane and dropped there is no page asked for.
        QMimeData dragged;
        dragged.setUrls({QUrl::fromLocalFile(env.root() + QStringLiteral("/fremd.htm"))});
        const QPoint inside = Form1->WebBrowser1()->rect().center();
        QDragEnterEvent enter(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form1->WebBrowser1(), &enter);
        QDragMoveEvent move(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form1->WebBrowser1(), &move);
        QDropEvent drop(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form1->WebBrowser1(), &drop);
        QTest::qWait(300);
        QVERIFY(!Form1->WebBrowser1()->engineStarted());
        Form1->memo1()->setFocus();
        QTest::keyClicks(Form1->memo1(), QStringLiteral("<?php echo 'erst';"));
        QVERIFY(waitUntil([&] { return Form1->WebBrowser1()->engineStarted(); }));
        QTest::keyClick(Form1->memo1(), Qt::Key_F5);
        QVERIFY(waitUntil([&] { return pageText(Form1->WebBrowser1()) == QStringLiteral("erst"); }, 10000));
    }

    // The window takes keys while a script runs: the line break and what is typed after it
    // are in the editor at once, the status bar counts the run's seconds, and the page is the
    // output of the text as it stood at the key; messages land on their lines as they are now.
    void typingGoesOnWhileAScriptRuns()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto *memo = static_cast<TCodeEdit *>(run.memo());
        memo->setPlainText(QStringLiteral("<?php usleep(1500000); echo 'A';\necho $spaet;"));
        memo->setFocus();
        QVERIFY(waitUntil([&] { return memo->hasFocus(); }));
        QTextCursor first(memo->document()->firstBlock());
        first.movePosition(QTextCursor::EndOfBlock);
        memo->setTextCursor(first);
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("echo 'B';"));
        // The interpreter may be a moment into its own start.
        QVERIFY(waitUntil([&] { return scriptRuns(env); }));
        QCOMPARE(memo->toPlainText(), QStringLiteral("<?php usleep(1500000); echo 'A';\necho 'B';\necho $spaet;"));
        QVERIFY(waitUntil([&] { return Form1->statusBar()->currentMessage() == QStringLiteral("Skript läuft seit 1 s – Esc bricht ab"); }));
        QVERIFY(scriptRuns(env));
        // A line pasted above while it runs.
        QGuiApplication::clipboard()->setText(QStringLiteral("// neu\n"));
        QTextCursor top(memo->document()->firstBlock());
        memo->setTextCursor(top);
        memo->paste();
        QVERIFY(waitUntil([&] { return !scriptRuns(env); }, 10000));
        // The output of the text at the key: 'B' was typed after it.
        QVERIFY2(waitUntil([&] { return run.paneText().startsWith(QLatin1Char('A')) && run.paneText().contains(QStringLiteral("$spaet")); }, 10000),
                 qPrintable(run.paneText()));
        // (The message names the script's path, which may hold any letter.)
        QVERIFY(!run.paneText().startsWith(QStringLiteral("AB")));
        QVERIFY(waitUntil([&] { return Form1->statusBar()->currentMessage().isEmpty(); }));
        QVERIFY(waitUntil([&] { return memo->lineMarks().size() == 1; }));
        QCOMPARE(std::get<0>(memo->lineMarks().first()), 4);
    }

    // Esc in the editor or the pane ends a running script with all it started; the pane keeps
    // what it wrote, and the status bar says that it was ended. Esc without a run does nothing.
    void escEndsARunningScript_data()
    {
        QTest::addColumn<bool>("inPane");
        QTest::newRow("editor") << false;
        QTest::newRow("pane") << true;
    }
    void escEndsARunningScript()
    {
        QFETCH(bool, inPane);
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        const QString pidFile = env.root() + QStringLiteral("/child.pid");
        run.memo()->setPlainText(
            QStringLiteral("<?php exec('sh -c \\'echo $$ > %1; sleep 60\\' > /dev/null 2>&1 &'); echo 'bis hier'; flush();"
                           " echo '<input autofocus>'; while (true) usleep(1000);").arg(pidFile));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("bis hier")));
        qint64 child = 0;
        // The child by the number the script saw, in its container's numbers or not.
        QVERIFY(waitUntil([&] { return (child = hostPid(readAll(pidFile).trimmed().toLongLong())) > 0; }));
        QWidget *target = inPane ? Form1->WebBrowser1()->focusProxy() : run.memo();
        QVERIFY(target);
        target->setFocus();
        QVERIFY(waitUntil([&] { return target->hasFocus(); }));
        QVERIFY(scriptRuns(env));
        // Which Esc keys reach the editor itself.
        struct EscapesSeen : QObject
        {
            int count = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
                    ++count;
                return false;
            }
        } escapes;
        run.memo()->installEventFilter(&escapes);
        QTest::keyClick(target, Qt::Key_Escape);
        QCOMPARE(escapes.count, 0);
        QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("Skript abgebrochen."));
        QVERIFY(waitUntil([&] { return !scriptRuns(env) && !processAlive(child); }));
        QCOMPARE(run.paneText(), QStringLiteral("bis hier"));
        QTest::qWait(400);
        QCOMPARE(run.paneText(), QStringLiteral("bis hier"));
        QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("Skript abgebrochen."));
        // Without a run, Esc is the editor's and the page's again.
        run.memo()->setFocus();
        QTest::keyClicks(run.memo(), QStringLiteral("x"));
        QTest::keyClick(run.memo(), Qt::Key_Escape);
        QCOMPARE(escapes.count, 1);
        QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("Skript abgebrochen."));
        run.memo()->removeEventFilter(&escapes);
    }

    // The window system's own showings after a restore are not the program's: nothing reloads
    // or stores again.
    void restoreKeepsWhatWasTyped()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto *edit = Form2->findChild<QLineEdit *>(QStringLiteral("Edit1"));
        Form2->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form2));
        QVERIFY(activate(Form2));
        QCOMPARE(edit->text(), QStringLiteral("/usr/bin/php"));
        edit->setText(QStringLiteral("/opt/getippt/php"));
        QVERIFY(minimiseAndRestore(Form2));
        QCOMPARE(edit->text(), QStringLiteral("/opt/getippt/php"));
        Form2->hide();

        const QByteArray changed = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"x\"\n";
        Form4->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form4));
        env.writeRegistry(changed);
        QVERIFY(minimiseAndRestore(Form4));
        QCOMPARE(env.readRegistry(), changed);
        Form4->hide();
    }

    // Every dialog belongs to the main window, so that each window system keeps it above it; the
    // prompt comes after the main window, on top of it, with the keyboard on "Ja ".
    void dialogsBelongToTheMainWindowAndThePromptHasTheKeyboard()
    {
        IsolatedEnvironment env;
        Run run;
        for (QWidget *dialog : {static_cast<QWidget *>(Form2), static_cast<QWidget *>(Form3),
                                static_cast<QWidget *>(Form4), static_cast<QWidget *>(Form5)}) {
            QCOMPARE(dialog->parentWidget(), static_cast<QWidget *>(Form1));
            QVERIFY(dialog->isWindow());
        }
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QVERIFY(waitUntil([] { return Form4->isVisible(); }));
        QVERIFY2(waitUntil([] { return QApplication::focusWidget() == button(Form4, "Button1"); }),
                 qPrintable(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QStringLiteral("none")));
        QCOMPARE(Form4->windowHandle()->transientParent(), Form1->windowHandle());
        if (windowManagerRuns()) {
            QVERIFY(waitUntil([] {
                const QList<WId> ids = stacking();
                return ids.contains(Form1->winId()) && ids.indexOf(Form4->winId()) > ids.indexOf(Form1->winId());
            }));
        }
        // Typing goes to the prompt, not into the editor.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
        QCOMPARE(run.memo()->toPlainText(), QString());
    }

    // The dialogs of fixed size ask the window system for a close box alone: a dialog window of
    // fixed size, the Motif hints without minimise and maximise. A window manager that draws its
    // buttons anyway (openbox) at least may not maximise or resize it.
    void fixedDialogsAskForTheCloseBoxAlone()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        for (QWidget *dialog : {static_cast<QWidget *>(Form2), static_cast<QWidget *>(Form3),
                                static_cast<QWidget *>(Form4), static_cast<QWidget *>(Form5)}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            const QString props = windowProperties(dialog, {QStringLiteral("_NET_WM_WINDOW_TYPE"), QStringLiteral("_MOTIF_WM_HINTS"),
                                                            QStringLiteral("WM_NORMAL_HINTS")});
            const QString title = dialog->windowTitle();
            QVERIFY2(props.contains(QLatin1String("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DIALOG")), qPrintable(title + props));
            // flags, functions, decorations: functions and decorations given, neither "all" nor
            // minimise (functions 8, decorations 32) nor maximise (16, 64).
            const QRegularExpressionMatch mwm =
                QRegularExpression(QStringLiteral("_MOTIF_WM_HINTS\\(_MOTIF_WM_HINTS\\) = (\\w+), (\\w+), (\\w+)")).match(props);
            QVERIFY2(mwm.hasMatch(), qPrintable(title + props));
            const uint flags = mwm.captured(1).toUInt(nullptr, 0), functions = mwm.captured(2).toUInt(nullptr, 0),
                       decorations = mwm.captured(3).toUInt(nullptr, 0);
            QCOMPARE(flags & 3, 3u);
            QCOMPARE(functions & (1 | 8 | 16), 0u);
            QVERIFY(functions & 32); // close
            QCOMPARE(decorations & (1 | 32 | 64), 0u);
            const QRegularExpression sizes(QStringLiteral("program specified (minimum|maximum) size: (\\d+) by (\\d+)"));
            QStringList found;
            for (const QRegularExpressionMatch &m : sizes.globalMatch(props))
                found << m.captured(2) + QLatin1Char('x') + m.captured(3);
            QCOMPARE(found.size(), 2);
            QCOMPARE(found[0], found[1]);
            QCOMPARE(found[0], QStringLiteral("%1x%2").arg(dialog->width()).arg(dialog->height()));
            if (windowManagerRuns()) {
                QString actions;
                QVERIFY(waitUntil([&] {
                    actions = windowProperties(dialog, {QStringLiteral("_NET_WM_ALLOWED_ACTIONS")});
                    return actions.contains(QLatin1String("_NET_WM_ACTION_CLOSE"));
                }));
                QVERIFY2(!actions.contains(QLatin1String("MAXIMIZE")) && !actions.contains(QLatin1String("_NET_WM_ACTION_RESIZE")),
                         qPrintable(title + actions));
            }
            dialog->hide();
        }
    }

    // The settings dialog stays on top only while it is shown modally over the prompt; shown by
    // "Ja " afterwards, it is an ordinary dialog.
    void settingsStayOnTopOnlyWhileModal()
    {
        IsolatedEnvironment env;
        Run run;
        run.show();
        QVERIFY(waitUntil([] { return Form4->isVisible(); }));
        bool onTopWhileModal = false;
        QTimer::singleShot(0, [&] {
            waitUntil([] { return Form2->isVisible(); });
            onTopWhileModal = Form2->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            Form2->reject();
        });
        Form1->action("Einstellungen1")->trigger();
        QVERIFY(onTopWhileModal);
        QTest::mouseClick(button(Form4, "Button1"), Qt::LeftButton);
        QVERIFY(Form2->isVisible());
        QVERIFY(!Form2->isModal());
        QVERIFY(!Form2->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(QTest::qWaitForWindowExposed(Form2));
        if (windowManagerRuns()) {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(Form2->winId()), QStringLiteral("_NET_WM_STATE")});
            QVERIFY(xprop.waitForFinished(5000));
            QVERIFY2(!xprop.readAllStandardOutput().contains("_NET_WM_STATE_ABOVE"), "still above every window");
        }
        Form2->reject();
    }

    // Return while the browse dialog's completion list shows: nothing of it stays, the chosen
    // interpreter is in the field, and the keyboard reaches the settings dialog again.
    void browseCompletionListGoesWithTheDialog()
    {
        if (!windowManagerRuns())
            QSKIP("the keyboard reaches the file dialog through a window manager");
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        for (const char *name : {"php7.4", "php8.2"})
            writeFile(env.root() + QLatin1Char('/') + QLatin1String(name), "#!/bin/sh\n");
        Form2->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form2));
        // As a click on it would: the window manager activates it.
        QCOMPARE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(Form2->winId())}), 0);
        QVERIFY(waitUntil([] { return QApplication::activeWindow() == Form2; }));
        Form2->OpenDialog1()->setDirectory(env.root());
        CompletionPick pick;
        pickFromCompletionList(QStringLiteral("php"), &pick);
        QTest::mouseClick(button(Form2, "Button2"), Qt::LeftButton);
        pick.closeDialogs();
        QVERIFY2(pick.listShown, qPrintable(pick.notShown));
        auto *field = Form2->findChild<QLineEdit *>(QStringLiteral("Edit1"));
        QCOMPARE(field->text(), env.root() + QStringLiteral("/php7.4"));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || w == Form1 || w == Form2, qPrintable(w->metaObject()->className()));
        // Without a click, a window of the program has the keyboard again (the window manager
        // chooses which) and the next key reaches it.
        QVERIFY(waitUntil([] { return QApplication::activeWindow() && QApplication::focusWidget(); }));
        struct KeySeen : QObject
        {
            bool seen = false;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_F12)
                    seen = true;
                return false;
            }
        } keys;
        qApp->installEventFilter(&keys);
        QCOMPARE(xdotool({QStringLiteral("key"), QStringLiteral("F12")}), 0);
        QVERIFY(waitUntil([&] { return keys.seen; }));
        qApp->removeEventFilter(&keys);
        Form2->reject();
    }

    // With the prompt on screen, the settings dialog opens above it and takes the input.
    void settingsOpenAboveThePrompt()
    {
        IsolatedEnvironment env;
        Run run;
        run.show();
        QVERIFY(Form4->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(Form4));
        // The prompt has the keyboard, as the user sees it, before the menu is used: its own
        // activation must not arrive after the settings dialog's.
        QVERIFY(QTest::qWaitForWindowActive(Form4));
        const bool wm = windowManagerRuns();
        bool above = false, active = false, filterPlain = false;
        QTimer::singleShot(0, [&] {
            if (QTest::qWaitForWindowExposed(Form2) && QTest::qWaitForWindowActive(Form2)) {
                // The application's active window follows the window system's a moment later.
                active = waitUntil([] { return QApplication::activeWindow() == Form2; });
                if (wm) {
                    waitUntil([&] {
                        const QList<WId> ids = stacking();
                        return ids.indexOf(Form2->winId()) > ids.indexOf(Form4->winId()) && ids.contains(Form4->winId());
                    });
                    const QList<WId> ids = stacking();
                    above = ids.indexOf(Form2->winId()) > ids.indexOf(Form4->winId()) && ids.contains(Form4->winId());
                } else {
                    above = true; // no window manager, no stacking layers
                }
                // The browse dialog's filter reads as its caption, without its patterns.
                QTimer::singleShot(0, [&] {
                    for (QWidget *w : QApplication::topLevelWidgets())
                        if (auto *dialog = qobject_cast<QFileDialog *>(w); dialog && dialog->isVisible()) {
                            auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
                            filterPlain = types && types->currentText() == QLatin1String("PHP.exe");
                            dialog->reject();
                        }
                });
                QTest::mouseClick(button(Form2, "Button2"), Qt::LeftButton);
            }
            Form2->reject();
        });
        Form1->action("Einstellungen1")->trigger();
        QVERIFY(active);
        QVERIFY(above);
        QVERIFY(filterPlain);
    }

    // At the bar's right end, what the last run cost, beside every message and the panel; a
    // run that is ended says nothing of it, New forgets it.
    void runCostAtTheBarsEnd()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto *cost = Form1->findChild<QLabel *>(QStringLiteral("RunCostPanel"));
        QVERIFY(cost);
        const QRegularExpression form(QStringLiteral("^Fertig in (\\d+,\\d+) s · \\d+,\\d MB · Exit 4$"));
        run.memo()->setPlainText(QStringLiteral("<?php echo 'schlief'; usleep(400000); exit(4);"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("schlief")));
        QRegularExpressionMatch said;
        QVERIFY2(waitUntil([&] { return (said = form.match(cost->text())).hasMatch(); }), qPrintable(cost->text()));
        QVERIFY2(QLocale(QLocale::German).toDouble(said.captured(1)) >= 0.4, qPrintable(cost->text()));
        QVERIFY(cost->isVisible());
        // A message of the bar covers its panel, not this.
        Form1->statusBar()->showMessage(QStringLiteral("eine Meldung"));
        QVERIFY(cost->isVisible());
        Form1->statusBar()->clearMessage();
        // Ended by Esc: no word on what it cost.
        run.memo()->setPlainText(QStringLiteral("<?php echo 'lang'; flush(); sleep(30);"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("lang")));
        QVERIFY(activate(Form1));
        run.memo()->setFocus();
        QTest::keyClick(run.memo(), Qt::Key_Escape);
        QVERIFY(waitUntil([&] { return Form1->statusBar()->currentMessage() == QLatin1String("Skript abgebrochen."); }));
        QCOMPARE(cost->text(), QString());
        run.memo()->setPlainText(QStringLiteral("<?php exit(4);"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(waitUntil([&] { return form.match(cost->text()).hasMatch(); }));
        Form1->action("Neu1")->trigger();
        QCOMPARE(cost->text(), QString());
    }

    // Enter when the run fails: the error, and nothing else changes; New forgets a late page;
    // output cut at the bound says so.
    void runFailuresLatePagesAndCutOutput()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        run.memo()->setFocus();
        QVERIFY(waitUntil([&] { return run.memo()->hasFocus(); }));
        {
            writeFile(env.scratchRoot().chopped(1), "planted");
            MessageBoxCatcher boxes;
            QTest::keyClicks(run.memo(), QStringLiteral("abc"));
            QTest::keyClick(run.memo(), Qt::Key_Return);
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(run.memo()->toPlainText(), QStringLiteral("abc"));
            QFile::remove(env.scratchRoot().chopped(1));
        }

        // A run that outlives the wait, then New: its page never comes back.
        run.memo()->setPlainText(QStringLiteral("<?php echo 'alt'; flush(); usleep(700000); echo 'ende';"));
        Form1->action("Jetztaktualisieren1")->trigger();
        Form1->action("Neu1")->trigger();
        QVERIFY(run.paneShows(QString()));
        // Until the interpreter would have ended, and a little after.
        QVERIFY(waitUntil([&] { return !scriptRuns(env); }, 5000));
        QTest::qWait(900);
        QCOMPARE(run.paneText(), QString());

        run.memo()->setPlainText(QStringLiteral("<?php while (true) echo str_repeat('x', 65536);"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(waitUntil([&] { return Form1->statusBar()->currentMessage().contains(QStringLiteral("abgeschnitten")); }));
        run.memo()->setPlainText(QStringLiteral("<?php echo 'kurz';"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("kurz")));
        // The pane may read the new output under the cut page's address (it is the same file
        // name) before the new run is shown: its word goes with the new run's showing.
        QVERIFY2(waitUntil([] { return Form1->statusBar()->currentMessage().isEmpty(); }),
                 qPrintable(Form1->statusBar()->currentMessage()));
    }

    // A script that puts a pipe or a link to an endless device in its output's place: in its
    // container it cannot reach the output, which shows as written; without a container the
    // window reads neither, shows an empty pane and says why; the next run is shown as usual.
    void outputThatIsNoFile_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::newRow("named pipe") << QStringLiteral("posix_mkfifo($o, 0600);");
        QTest::newRow("link to /dev/zero") << QStringLiteral("symlink('/dev/zero', $o);");
        // The link's target could be any file of the user's: it is not shown either.
        QTest::newRow("link to a regular file") << QStringLiteral("$g = dirname($o, 3) . '/geheim.htm'; "
                                                                  "file_put_contents($g, 'geheim'); symlink($g, $o);");
    }
    void outputThatIsNoFile()
    {
        QFETCH(QString, plant);
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        run.memo()->setPlainText(QStringLiteral("<?php echo 'vorher';"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("vorher")));
        run.memo()->setPlainText(QStringLiteral("<?php $o = '%1Output.htm'; echo 'x'; @unlink($o); %2")
                                     .arg(env.scratchDir(), plant));
        if (platform::PreviewRunner::containerRefusal().isEmpty()) {
            Form1->action("Jetztaktualisieren1")->trigger();
            QVERIFY(run.paneShows(QStringLiteral("x")));
            QCOMPARE(Form1->statusBar()->currentMessage(), QString());
        }
        // Without bubblewrap on PATH (the interpreter is named by its path).
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(env.root()));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(waitUntil([&] { return Form1->statusBar()->currentMessage().contains(QStringLiteral("keine gewöhnliche Datei")); }));
        QVERIFY(run.paneShows(QString()));
        run.memo()->setPlainText(QStringLiteral("<?php echo 'kurz';"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(run.paneShows(QStringLiteral("kurz")));
        QCOMPARE(Form1->statusBar()->currentMessage(), QString());
    }

    // The window's own pane keeps to the output: a link to another local page or to a remote
    // one named like the output is not followed (the window's guard stops it before it loads),
    // and the remote server is never asked.
    void linksInTheOutputAreNotFollowed()
    {
        TestHttpServer server;
        if (!server.isListening())
            QSKIP("port 80 of 127.0.0.2 is not available (needs root)");
        server.route("/p:Output.htm", TestHttpServer::ok("<p>entfernt</p>"));
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        writeFile(env.root() + QStringLiteral("/anders.htm"), "<p>anders</p>");
        const QString page = env.root() + QStringLiteral("/seite.php");
        writeFile(page, "<?php echo \"<p>ausgabe</p><a id='l' href='file://" + QFile::encodeName(env.root())
                            + "/anders.htm'>l</a><a id='r' href='http://127.0.0.2/p:Output.htm'>r</a>\";");
        {
            FileDialogAnswerer answers({page});
            Form1->action("ffnnen1")->trigger();
        }
        QVERIFY(waitUntil([&] { return run.paneText().startsWith(QStringLiteral("ausgabe")); }, 10000));
        for (const char *id : {"l", "r"}) {
            // The page may be shown again as the run ends: the link is clicked once it is there.
            const QString click = QStringLiteral("(() => { const a = document.getElementById('%1'); if (a) a.click(); return !!a; })()")
                                      .arg(QLatin1String(id));
            QVERIFY2(waitUntil([&] { return pageScript(Form1->WebBrowser1(), click).toBool(); }), id);
            // Not even for a moment: the pane would come back to the output on its own.
            QVERIFY2(!waitUntil([&] { return !run.paneText().startsWith(QStringLiteral("ausgabe")); }, 1000), id);
            QCOMPARE(Form1->WebBrowser1()->url().fileName(), QStringLiteral("Output.htm"));
        }
        QCOMPARE(server.requestCount(), 0);
    }

    // The main window is centred on the screen as the user sees it: its frame, title bar and all.
    void mainWindowIsCentredWithItsFrame()
    {
        Run run;
        run.show();
        const QRect area = Form1->screen()->availableGeometry();
        QVERIFY(waitUntil([&] { return !windowManagerRuns() || Form1->frameGeometry() != Form1->geometry(); }));
        QVERIFY2(waitUntil([&] { return (Form1->frameGeometry().center() - area.center()).manhattanLength() <= 2; }),
                 qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                .arg(Form1->frameGeometry().x())
                                .arg(Form1->frameGeometry().y())
                                .arg(Form1->frameGeometry().width())
                                .arg(Form1->frameGeometry().height())));
    }

    // A window larger than the screen (a small screen, a large scale factor) is made to fit on
    // its first showing, and its title bar and menus stay on the screen.
    void windowsLargerThanTheScreenFit()
    {
        QWidget big;
        QScreen *screen = QGuiApplication::primaryScreen();
        const QRect area = screen->availableGeometry();
        big.resize(area.width() * 2, area.height() * 2);
        bool shownBefore = false;
        centreOnFirstShow(&big, shownBefore);
        big.show();
        QVERIFY(QTest::qWaitForWindowExposed(&big));
        // Once the window manager has framed it, title bar and all.
        QVERIFY(waitUntil([&] { return !windowManagerRuns() || big.frameGeometry() != big.geometry(); }));
        QVERIFY(waitUntil([&] { return area.contains(big.frameGeometry()); }));
        // A fixed one cannot shrink; its top-left corner is on the screen.
        QWidget fixed;
        fixed.setFixedSize(area.width() + 200, area.height() + 200);
        shownBefore = false;
        centreOnFirstShow(&fixed, shownBefore);
        QVERIFY(area.contains(fixed.frameGeometry().topLeft()));
    }

    // A panel that takes room from the screen (as a dock or a smaller screen would) leaves no
    // window of the program in the lost room: a resizable one shrinks to the work area, a fixed
    // one moves back into it, and the update notice cuts its message for the narrower screen.
    void windowsStayOnTheScreenWhenItChanges()
    {
        if (!windowManagerRuns())
            QSKIP("the work area comes from a window manager");
        QScreen *screen = QGuiApplication::primaryScreen();
        const QRect area = screen->availableGeometry();
        auto framedInside = [](QWidget *window, const QRect &in) {
            return window->frameGeometry() != window->geometry() && in.contains(window->frameGeometry());
        };
        QWidget wide;
        wide.resize(area.width() - 80, area.height() / 2);
        bool shownBefore = false;
        centreOnFirstShow(&wide, shownBefore);
        wide.show();
        QWidget fixed;
        fixed.setFixedSize(200, 150);
        fixed.move(area.right() - 260, area.top() + 100);
        fixed.show();
        Run run;
        Form5->setMessage(QStringLiteral("Neue Version: ") + QStringLiteral("x").repeated(400));
        Form5->show();
        QVERIFY(waitUntil([&] { return framedInside(&wide, area) && framedInside(&fixed, area) && framedInside(Form5, area); }));
        const int noticeWidth = Form5->width();

        // A panel on the right, 500 pixels wide, as a dock's strut asks for room.
        QWidget panel;
        panel.setWindowTitle(QStringLiteral("Leiste"));
        panel.setGeometry(area.right() - 499, area.top(), 500, 200);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QString id = QString::number(panel.winId());
        const QString strut = QStringLiteral("0, 500, 0, 0, 0, 0, %1, %2, 0, 0, 0, 0").arg(area.top()).arg(area.bottom());
        QCOMPARE(QProcess::execute(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("-f"),
                                                             QStringLiteral("_NET_WM_STRUT_PARTIAL"), QStringLiteral("32c"),
                                                             QStringLiteral("-set"), QStringLiteral("_NET_WM_STRUT_PARTIAL"), strut}),
                 0);
        QVERIFY(waitUntil([&] { return screen->availableGeometry().width() == area.width() - 500; }));
        const QRect smaller = screen->availableGeometry();
        QVERIFY2(waitUntil([&] { return framedInside(&wide, smaller) && framedInside(&fixed, smaller) && framedInside(Form5, smaller); }),
                 qPrintable(QStringLiteral("wide %1, fixed %2, notice %3 in %4")
                                .arg(wide.frameGeometry().right()).arg(fixed.frameGeometry().right())
                                .arg(Form5->frameGeometry().right()).arg(smaller.right())));
        QCOMPARE(fixed.size(), QSize(200, 150));
        QVERIFY(Form5->width() < noticeWidth);
        QVERIFY(Form5->findChild<QLabel *>(QStringLiteral("Label1"))->text().endsWith(QChar(0x2026)));
        Form5->close();
    }

    // Messages about the script mark their lines in the gutter, follow them while editing, and
    // go with the next run or New.
    void messagesMarkTheirLines()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto *memo = static_cast<TCodeEdit *>(run.memo());
        memo->setPlainText(QStringLiteral("<?php\necho $nirgends;\necho 'gut';\nthrow new Exception('boom');"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(waitUntil([&] { return memo->lineMarks().size() == 2; }, 10000));
        QCOMPARE(std::get<0>(memo->lineMarks().at(0)), 4);
        QVERIFY(std::get<1>(memo->lineMarks().at(0)));
        QCOMPARE(std::get<0>(memo->lineMarks().at(1)), 2);
        QVERIFY(!std::get<1>(memo->lineMarks().at(1)));
        // As drawn: the warning's row in its colour, the unmarked row without it.
        QWidget *gutter = memo->gutter();
        const QImage drawn = gutter->grab().toImage();
        auto rowOf = [&](int line) {
            QTextCursor c(memo->document()->findBlockByNumber(line - 1));
            return memo->cursorRect(c).center().y();
        };
        QCOMPARE(drawn.pixelColor(1, rowOf(2)), EditorPalette::current().warningMark);
        QCOMPARE(drawn.pixelColor(1, rowOf(4)), EditorPalette::current().errorMark);
        QVERIFY(drawn.pixelColor(1, rowOf(3)) != EditorPalette::current().warningMark);
        QVERIFY(memo->lineMarkAt(QPoint(1, rowOf(2))).startsWith(QStringLiteral("Warning: Undefined variable $nirgends")));
        // A line typed above moves the marks with their lines.
        QTextCursor top(memo->document());
        top.insertText(QStringLiteral("\n"));
        QCOMPARE(std::get<0>(memo->lineMarks().at(1)), 3);
        // The next run has its own marks; New has none.
        memo->setPlainText(QStringLiteral("<?php echo 'ok';"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(waitUntil([&] { return memo->lineMarks().isEmpty(); }));
        memo->setPlainText(QStringLiteral("<?php\necho $x;"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(waitUntil([&] { return memo->lineMarks().size() == 1; }, 10000));
        Form1->action("Neu1")->trigger();
        QVERIFY(memo->lineMarks().isEmpty());
    }

    // Enter runs the text as it stood before its line break, and the line break moves the marks
    // with their lines, as any later edit does.
    void enterMovesTheMarksWithItsLineBreak_data()
    {
        QTest::addColumn<int>("line"); // where the cursor stands: line (1-based) and column
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("selectTo"); // a selection to the end of this line; 0: none
        QTest::addColumn<int>("warningAt");
        QTest::addColumn<int>("errorAt");
        QTest::newRow("inside the warning's line") << 2 << 6 << 0 << 2 << 5;
        QTest::newRow("start of the error's line") << 4 << 0 << 0 << 2 << 5;
        QTest::newRow("end of the error's line") << 4 << 28 << 0 << 2 << 4;
        QTest::newRow("selection over two lines") << 2 << 0 << 3 << 3 << 4;
    }

    void enterMovesTheMarksWithItsLineBreak()
    {
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(int, selectTo);
        QFETCH(int, warningAt);
        QFETCH(int, errorAt);
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        auto *memo = static_cast<TCodeEdit *>(run.memo());
        const QString script = QStringLiteral("<?php\necho $nirgends;\necho 'gut';\nthrow new Exception('boom');");
        memo->setPlainText(script);
        QTextCursor at(memo->document()->findBlockByNumber(line - 1));
        at.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
        if (selectTo) {
            at.setPosition(memo->document()->findBlockByNumber(selectTo - 1).position(), QTextCursor::KeepAnchor);
            at.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        }
        memo->setTextCursor(at);
        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_Return);
        QCOMPARE(readAll(env.scratchDir() + QStringLiteral("temp.php")), script.toUtf8());
        QCOMPARE(memo->blockCount(), selectTo ? 4 : 5);
        QVERIFY(waitUntil([&] { return memo->lineMarks().size() == 2; }, 10000));
        QList<int> warnings, errors;
        for (const auto &[markLine, error, text] : memo->lineMarks())
            (error ? errors : warnings).append(markLine);
        QCOMPARE(warnings, QList<int>{warningAt});
        QCOMPARE(errors, QList<int>{errorAt});
    }

    void scratchFileErrorIsReported()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        writeFile(env.scratchRoot().chopped(1), "planted");
        Run run;
        run.show();
        MessageBoxCatcher boxes;
        run.memo()->setPlainText(QStringLiteral("<?php echo 1;"));
        Form1->action("Jetztaktualisieren1")->trigger();
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Cannot create file %1temp.php.").arg(env.scratchDir())));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("<?php echo 1;"));
    }

    void editActionsFollowTheFocusedEditor()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Run run;
        run.show();
        Form1->activateWindow();
        run.memo()->setFocus();
        QVERIFY(waitUntil([&] { return run.memo()->hasFocus(); }));
        QVERIFY(!Form1->action("SearchFind1")->isEnabled());
        QVERIFY(!Form1->action("EditCopy1")->isEnabled());
        QTest::keyClicks(run.memo(), QStringLiteral("abc"));
        QVERIFY(Form1->action("SearchFind1")->isEnabled());
        QVERIFY(Form1->action("EditUndo1")->isEnabled());
        Form1->action("EditSelectAll1")->trigger();
        QVERIFY(Form1->action("EditCut1")->isEnabled());
        Form1->action("EditCut1")->trigger();
        QCOMPARE(run.memo()->toPlainText(), QString());
        QVERIFY(!Form1->action("SearchReplace1")->isEnabled());
        Form1->action("EditPaste1")->trigger();
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("abc"));
        Form1->action("EditUndo1")->trigger();
        QCOMPARE(run.memo()->toPlainText(), QString());

        // With the focus in the pane the actions do not act on the editor.
        run.memo()->setPlainText(QStringLiteral("keep"));
        Form1->WebBrowser1()->setFocus();
        QVERIFY(waitUntil([&] { return !run.memo()->hasFocus(); }));
        QVERIFY(!Form1->action("SearchFind1")->isEnabled());
        QVERIFY(!Form1->action("EditSelectAll1")->isEnabled());
        Form1->action("EditPaste1")->trigger();
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("keep"));
    }

    void errorBoxText()
    {
        QCOMPARE(platform::errorBoxText(QStringLiteral("Cannot open file x")), QStringLiteral("Cannot open file x."));
        QCOMPARE(platform::errorBoxText(QStringLiteral("Failed to set data for 'x'")), QStringLiteral("Failed to set data for 'x'"));
        QCOMPARE(platform::errorBoxText(QStringLiteral("done.")), QStringLiteral("done."));
        QCOMPARE(platform::errorBoxText(QStringLiteral("Wrong!")), QStringLiteral("Wrong!"));
        QCOMPARE(platform::errorBoxText(QStringLiteral("12")), QStringLiteral("12."));
        QCOMPARE(platform::errorBoxText(QString()), QString());
    }
};

KORLITH_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
