// Recovery copies: their format, their owners, and a real Korlith ended by a signal or a crash
// whose unsaved text the next start offers back; the user's own Exit, New and Save leave none.
#include "TestMain.h"
#include "TestSupport.h"
#include "CodeEdit.h"
#include "FileDialog.h"
#include "Unit1.h"
#include "Unit4.h"
#include "core/EditorText.h"
#include "core/RecoveryStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSet>
#include <QTextCursor>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <ctime>
#include <sys/types.h>

namespace {
QStringList copiesIn(const IsolatedEnvironment &env)
{
    return QDir(env.stateHome() + QStringLiteral("/Korlith")).entryList({QStringLiteral("*.recovery")}, QDir::Files);
}

// The texts of the copies in this environment.
QStringList copiedTexts(const IsolatedEnvironment &env)
{
    QStringList texts;
    for (const QString &name : copiesIn(env))
        if (const auto copy = parseRecovery(readAll(env.stateHome() + QStringLiteral("/Korlith/") + name)))
            texts << copy->text;
    return texts;
}

// The real program, started as from a terminal in this environment.
struct Program
{
    QProcess process;
    QString window;
    bool start(const QStringList &arguments, const QString &title)
    {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setProcessEnvironment(userEnvironment());
        process.start(QStringLiteral(KORLITH_BUILD_DIR "/korlith"), arguments);
        if (!process.waitForStarted())
            return false;
        QStringList ids;
        if (!waitUntil([&] { return !(ids = windowsNamed(title)).isEmpty(); }, 30000))
            return false;
        window = ids.first();
        return true;
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

// The five windows of a start in this process.
using Start = ProgramForms;
} // namespace

class TestRecovery : public QObject
{
    Q_OBJECT

private slots:
    // A signal while a start-up message box waits ends the program; it does not run on after OK.
    void signalDuringAStartUpMessageEndsTheProgram_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalDuringAStartUpMessageEndsTheProgram()
    {
        QFETCH(int, sig);
        IsolatedEnvironment env;
        env.writeRegistry("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n"
                          "\"configured\"=\"1\"\n\"Interpreter\"=dword:00000001\n");
        Program program;
        QVERIFY(program.start({}, QStringLiteral("Korlith")));
        ::kill(pid_t(program.process.processId()), sig);
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    }

    void copiesReadBackExactlyAndRefuseDamage()
    {
        RecoveredText copy;
        copy.text = QStringLiteral("<?php echo 'Grüße';\n\u2029\u2028\uF8E1 ") + QChar(0xD800); // even a lone surrogate
        copy.fileName = QStringLiteral("/home/x/ein skript.php");
        copy.caption = QStringLiteral("Korlith 2005 - ein skript.php");
        copy.format.encoding = TextFormat::Windows1252;
        copy.format.lineEnd = TextFormat::CrLf;
        copy.lineEnds = {TextFormat::Cr};
        const QByteArray bytes = serialiseRecovery(copy);
        const auto back = parseRecovery(bytes);
        QVERIFY(back);
        QCOMPARE(back->text, copy.text);
        QCOMPARE(back->fileName, copy.fileName);
        QCOMPARE(back->caption, copy.caption);
        QCOMPARE(back->format.encoding, TextFormat::Windows1252);
        QCOMPARE(back->format.lineEnd, TextFormat::CrLf);
        QCOMPARE(back->lineEnds, copy.lineEnds);
        QVERIFY(!parseRecovery(bytes.left(bytes.size() - 1)));
        QVERIFY(!parseRecovery(bytes + "x"));
        QVERIFY(!parseRecovery("<?php echo 1;"));
    }

    // A copy is private to its user and owned by its instance while that runs.
    // The writer does the newest order: the last write handed over, or a removal, which is
    // done when it returns; its end waits for what it was given. The text handed over, in the
    // document's own form, becomes the user's text.
    void writerKeepsTheNewestOrder()
    {
        IsolatedEnvironment env;
        RecoveryStore store;
        const auto copyText = [&] {
            const auto copy = parseRecovery(readAll(store.copyPath()));
            return copy ? copy->text : QStringLiteral("(keine)");
        };
        {
            RecoveryWriter writer(store);
            for (int i = 0; i < 20; ++i)
                writer.write({QStringLiteral("Fassung %1").arg(i), {}, QStringLiteral("Korlith 2005"), {}, {}});
            writer.finish();
            QCOMPARE(copyText(), QStringLiteral("Fassung 19"));
            writer.write({QStringLiteral("weg"), {}, QStringLiteral("Korlith 2005"), {}, {}});
            writer.remove();
            QVERIFY(!QFile::exists(store.copyPath()));
            const QString held = QStringLiteral("a") + QChar::ParagraphSeparator + toEditorForm(QStringLiteral("b\u2029c"));
            writer.write({held, {}, QStringLiteral("Korlith 2005"), {}, {}});
        }
        QCOMPARE(copyText(), QStringLiteral("a\nb\u2029c"));
    }

    void copiesArePrivateAndOwned()
    {
        IsolatedEnvironment env;
        auto first = std::make_unique<RecoveryStore>();
        QVERIFY(first->write({QStringLiteral("eins"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
        QCOMPARE(QFileInfo(first->copyPath()).path(), env.stateHome() + QStringLiteral("/Korlith"));
        auto mode = [](const QString &path) {
            struct stat st = {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        QCOMPARE(mode(first->copyPath()), 0600);
        QCOMPARE(mode(RecoveryStore::folder()), 0700);
        // Stores made in the same millisecond have copies of their own.
        {
            QSet<QString> paths;
            for (int i = 0; i < 50; ++i)
                paths.insert(RecoveryStore().copyPath());
            QCOMPARE(paths.size(), 50);
        }
        // Another instance does not take a running one's copy.
        RecoveryStore second;
        QVERIFY(!second.claimOrphan());
        // Once the first is gone without removing it, the copy is offered, once.
        const QString path = first->copyPath();
        first.reset();
        const auto orphan = second.claimOrphan();
        QVERIFY(orphan);
        QCOMPARE(orphan->text, QStringLiteral("eins"));
        RecoveryStore third;
        QVERIFY(!third.claimOrphan()); // claimed by the second while it is offered
        second.discardClaimed();
        QVERIFY(!QFile::exists(path));
        QVERIFY(!third.claimOrphan());

        // Without XDG_STATE_HOME: the home folder's state folder.
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qunsetenv("XDG_STATE_HOME");
        QCOMPARE(RecoveryStore::folder(), QDir::homePath() + QStringLiteral("/.local/state/Korlith"));
        qputenv("XDG_STATE_HOME", state);
    }

    // A real Korlith ended without the user's Exit: the next start offers its text back with
    // its caption and runs nothing.
    void textSurvivesTheProgramsEnd_data()
    {
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("atOnce"); // the signal comes before typing has paused
        QTest::newRow("SIGKILL") << int(SIGKILL) << false;
        QTest::newRow("SIGSEGV") << int(SIGSEGV) << false;
        QTest::newRow("SIGTERM at once") << int(SIGTERM) << true;
        QTest::newRow("SIGHUP at once") << int(SIGHUP) << true;
        QTest::newRow("SIGUSR1 at once") << int(SIGUSR1) << true;
        QTest::newRow("SIGALRM at once") << int(SIGALRM) << true;
    }

    void textSurvivesTheProgramsEnd()
    {
        QFETCH(int, sig);
        QFETCH(bool, atOnce);
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        const QString script = env.root() + QStringLiteral("/rettung.php");
        writeFile(script, "<?php echo 'alt';\n");
        const QString typed = QStringLiteral("echo 'neu';");
        const QString text = typed + QStringLiteral("<?php echo 'alt';\n");
        Program program;
        QVERIFY(program.start({script}, QStringLiteral("Korlith 2005 - rettung.php")));
        // That instance's own scratch script.
        const QString programScript = env.scratchRoot() + QString::number(program.process.processId()) + QStringLiteral("/temp.php");
        QVERIFY(typeInto(program.window, typed));
        if (atOnce) {
            // F5 shows when the keys have arrived: the run writes the text as the editor holds it.
            QVERIFY(pressKeysIn(program.window, QStringLiteral("F5")));
            QVERIFY(waitUntil([&] { return readAll(programScript) == text.toUtf8(); }, 10000));
        } else {
            QVERIFY(waitUntil([&] { return copiedTexts(env) == QStringList(text); }, 10000));
            // A start while that instance runs does not take its copy.
            Start other;
            MessageBoxCatcher boxes(QMessageBox::Yes);
            QVERIFY(!Form1->RecoverAtStart());
            QVERIFY(boxes.seen.isEmpty());
        }
        QFile::remove(programScript);
        ::kill(pid_t(program.process.processId()), sig);
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(copiedTexts(env), QStringList(text));

        Start next;
        MessageBoxCatcher boxes(QMessageBox::Yes);
        QVERIFY(Form1->RecoverAtStart());
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Korlith wurde nicht ordnungsgemäß beendet. "
                                                        "Möchten Sie den nicht gespeicherten Text wiederherstellen?")));
        QCOMPARE(static_cast<TCodeEdit *>(Form1->memo1())->userText(), text);
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - rettung.php"));
        QCOMPARE(Form1->OpenDialog1->FileName, script);
        // Nothing ran, and the copy is now this instance's.
        QVERIFY(!QFile::exists(env.scratchDir() + QStringLiteral("temp.php")));
        QCOMPARE(copiedTexts(env), QStringList(text));
        QVERIFY(!Form1->RecoverAtStart());
        // Saved, it needs no copy.
        Form1->action("Speichern1")->trigger();
        QCOMPARE(readAll(script), text.toUtf8());
        QCOMPARE(copiesIn(env), QStringList());
    }

    // What is planted under a copy's name is never read, and a lock that names no owner does not
    // hide its copy: the start neither waits nor fills the memory, and offers the real copy.
    void plantedCopiesAndOwnerlessLocks()
    {
        IsolatedEnvironment env;
        QString lockOfReal;
        {
            RecoveryStore gone;
            QVERIFY(gone.write({QStringLiteral("echt"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
            lockOfReal = gone.copyPath().chopped(QStringLiteral("recovery").size()) + QStringLiteral("lock");
        }
        // What a crash between the lock's making and its writing leaves, some time ago.
        writeFile(lockOfReal, "");
        const QByteArray old = QFile::encodeName(lockOfReal);
        const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, old.constData(), times, 0), 0);
        const QByteArray folder = QFile::encodeName(RecoveryStore::folder());
        QCOMPARE(::symlink("/dev/zero", (folder + "/1-1.recovery").constData()), 0);
        const QByteArray fifo = folder + "/2-2.fifo";
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(::symlink(fifo.constData(), (folder + "/3-3.recovery").constData()), 0);
        QCOMPARE(::mkfifo((folder + "/4-4.recovery").constData(), 0600), 0);
        Start start;
        MessageBoxCatcher boxes(QMessageBox::Yes);
        QVERIFY(Form1->RecoverAtStart());
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(Form1->memo1()->toPlainText(), QStringLiteral("echt"));
        // Offered once: nothing else under a copy's name was taken for one.
        QVERIFY(!Form1->RecoverAtStart());
        QCOMPARE(boxes.seen.size(), 1);
    }

    void declinedCopyIsDiscarded()
    {
        IsolatedEnvironment env;
        {
            RecoveryStore gone;
            QVERIFY(gone.write({QStringLiteral("weg"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
        }
        Start start;
        MessageBoxCatcher boxes(QMessageBox::No);
        QVERIFY(!Form1->RecoverAtStart());
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(Form1->memo1()->toPlainText(), QString());
        QCOMPARE(copiesIn(env), QStringList());
    }

    // Only "Nein" lets the copy go: Esc or the question's close box answer nothing, and the
    // next start asks again. The buttons read as a German user presses them.
    void closingTheQuestionKeepsTheCopy_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Esc") << true;
        QTest::newRow("close box") << false;
    }
    void closingTheQuestionKeepsTheCopy()
    {
        QFETCH(bool, escape);
        IsolatedEnvironment env;
        {
            RecoveryStore gone;
            QVERIFY(gone.write({QStringLiteral("bleibt"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
        }
        Start start;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            QWidget *box = nullptr;
            if (!waitUntil([&] { return (box = QApplication::activeModalWidget()) != nullptr; }))
                return;
            for (QAbstractButton *button : box->findChildren<QAbstractButton *>())
                if (button->isVisible())
                    buttons << button->text();
            if (escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->close();
        });
        QVERIFY(!Form1->RecoverAtStart());
        buttons.sort();
        QCOMPARE(buttons, QStringList({QStringLiteral("&Ja"), QStringLiteral("&Nein")}));
        QCOMPARE(Form1->memo1()->toPlainText(), QString());
        QCOMPARE(copiedTexts(env), QStringList(QStringLiteral("bleibt")));
        MessageBoxCatcher boxes(QMessageBox::No);
        QVERIFY(!Form1->RecoverAtStart());
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(copiesIn(env), QStringList());
    }

    // With the first-run prompt due too, one question at a time: the unsaved text first, on top
    // and with the keyboard (its Esc is its own), the prompt only once it is answered.
    void startAsksOneThingAtATime()
    {
        IsolatedEnvironment env; // no settings file: the prompt is due
        {
            RecoveryStore gone;
            QVERIFY(gone.write({QStringLiteral("bleibt"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
        }
        Start start;
        Form1->StartUp(QString());
        bool answered = false, questionHadKeys = false, promptWaited = false;
        // Looked at from inside the question's own event loop once it is there: the start asks
        // once its window is on the screen, and a wait of the test's below it would hold it.
        QTimer question;
        question.setInterval(10);
        connect(&question, &QTimer::timeout, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            if (!box)
                return;
            question.stop();
            questionHadKeys = waitUntil([&] { return QApplication::activeWindow() == box; });
            // Past the moment the prompt comes after a first showing without a window manager.
            promptWaited = !waitUntil([] { return Form4->isVisible(); }, 2500);
            // The key goes where the keyboard is.
            QTest::keyClick(QApplication::activeWindow(), Qt::Key_Escape);
            answered = !QApplication::activeModalWidget();
        });
        question.start();
        QVERIFY(waitUntil([&] { return answered; }, 15000));
        QVERIFY(questionHadKeys);
        QVERIFY(promptWaited);
        QCOMPARE(Form1->memo1()->toPlainText(), QString());
        QCOMPARE(copiedTexts(env), QStringList(QStringLiteral("bleibt")));
        QVERIFY(waitUntil([] { return Form4->isVisible(); }, 5000));
        QVERIFY(waitUntil([] { return QApplication::activeWindow() == Form4; }));
    }

    // A logout or a shutdown while the question waits ends the program and answers nothing:
    // the copy stays for the next start.
    void signalDuringTheQuestionKeepsTheCopy_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalDuringTheQuestionKeepsTheCopy()
    {
        QFETCH(int, sig);
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        {
            RecoveryStore gone;
            QVERIFY(gone.write({QStringLiteral("bleibt"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
        }
        Program program;
        QVERIFY(program.start({}, QStringLiteral("Korlith")));
        ::kill(pid_t(program.process.processId()), sig);
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copiedTexts(env), QStringList(QStringLiteral("bleibt")));
    }

    // The main window destroyed by another program ends Korlith as a signal does: the typed
    // text kept in its copy, the running script ended, nothing left running without a window.
    void mainWindowDestroyedFromOutsideEndsTheProgram()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        const QString file = env.root() + QStringLiteral("/laeuft.php");
        writeFile(file, "<?php sleep(60);");
        Program program;
        QVERIFY(program.start({file}, QStringLiteral("Korlith 2005 - laeuft.php")));
        // Opened, it runs.
        QVERIFY(waitUntil([&] { return !processesNaming(file).isEmpty(); }, 10000));
        for (const char *key : {"End", "x", "y", "z"})
            QVERIFY(pressKeysIn(program.window, QString::fromLatin1(key)));
        const QStringList typed{QStringLiteral("<?php sleep(60);xyz")};
        QVERIFY(waitUntil([&] { return copiedTexts(env) == typed; }, 15000));
        QProcess close;
        close.start(QStringLiteral("xdotool"), {QStringLiteral("windowclose"), program.window});
        QVERIFY(close.waitForFinished(10000));
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copiedTexts(env), typed);
        QVERIFY(waitUntil([&] { return processesNaming(file).isEmpty(); }));
    }

    // Typing that never pauses still gets its copy: a crash in the middle loses a few seconds.
    void typingWithoutAPauseIsCopied()
    {
        IsolatedEnvironment env;
        Start start;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QTimer typing;
        typing.setInterval(100);
        connect(&typing, &QTimer::timeout, Form1->memo1(), [] { Form1->memo1()->insertPlainText(QStringLiteral("a")); });
        typing.start();
        QVERIFY(waitUntil([&] { return !copiedTexts(env).isEmpty(); }, 15000));
        typing.stop();
        QVERIFY(copiedTexts(env).first().startsWith(QStringLiteral("aaa")));
    }

    // A large document's copy is taken a slice at a time between the window's events and written
    // on a thread of its own: edits made while it is taken go into it, line ends and all.
    void largeDocumentIsCopiedWhileTypingGoesOn()
    {
        IsolatedEnvironment env;
        Start start;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        auto *memo = static_cast<TCodeEdit *>(Form1->memo1());
        // 12 MB in lines with CR LF and LF, no-break spaces, line separators and a stand-in's
        // own character (the document holds those otherwise).
        const QString line = QStringLiteral("$grüße[] = \"a\u00a0b\u2028c\uF8E1d\u2029e\"; // 😀 ") + QString(20, QLatin1Char('x'));
        QStringList lines;
        QList<TextFormat::LineEnd> ends;
        for (int i = 0; i < 12 * 1024 * 1024 / int(line.toUtf8().size()); ++i) {
            lines << line + QString::number(i);
            ends << (i % 3 ? TextFormat::Lf : TextFormat::CrLf);
        }
        ends.removeLast();
        memo->setUserText(lines.join(QLatin1Char('\n')), ends);
        QTextCursor(memo->document()).insertText(QStringLiteral("<?php "));
        QVERIFY(waitUntil([&] { return memo->isTaking(); }, 10000));
        // Edits while it is taken: each in a turn of its own, before and after what it has.
        const auto edit = [&](int position, int removed, const QString &added) {
            QTextCursor c(memo->document());
            c.setPosition(position);
            c.setPosition(position + removed, QTextCursor::KeepAnchor);
            c.insertText(added);
            QCoreApplication::processEvents();
        };
        const int length = memo->document()->characterCount() - 1;
        int whileTaking = 0;
        for (const int at : {length - 10, length / 2, 5 * length / 8, length / 3, length - 3}) {
            if (!memo->isTaking())
                break;
            ++whileTaking;
            edit(at, 7, QStringLiteral("Ä\nneu"));
        }
        QVERIFY2(whileTaking >= 3, qPrintable(QString::number(whileTaking)));
        const QString text = memo->userText();
        const QList<TextFormat::LineEnd> lineEnds = memo->lineEnds(TextFormat::Lf);
        QVERIFY(lineEnds.size() > 1000);
        QString copyFile;
        QVERIFY(waitUntil([&] { return !(copyFile = copiesIn(env).value(0)).isEmpty(); }, 30000));
        const auto copy = parseRecovery(readAll(env.stateHome() + QStringLiteral("/Korlith/") + copyFile));
        QVERIFY(copy);
        QVERIFY(copy->text == text);
        QVERIFY(copy->lineEnds == lineEnds);
    }

    // The user's own Exit, New and a save leave no copy behind.
    void exitNewAndSaveRemoveTheCopy()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        {
            Program program;
            QVERIFY(program.start({}, QStringLiteral("Korlith 2005")));
            QVERIFY(typeInto(program.window, QStringLiteral("abc")));
            QVERIFY(waitUntil([&] { return copiedTexts(env) == QStringList(QStringLiteral("abc")); }, 10000));
            // Alt+F4: the window manager's close, or the menu entry's own shortcut without one.
            QVERIFY(pressKeysIn(program.window, QStringLiteral("alt+F4")));
            QVERIFY(program.process.waitForFinished(10000));
            QCOMPARE(copiesIn(env), QStringList());
        }
        Start start;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        auto *memo = Form1->memo1();
        memo->insertPlainText(QStringLiteral("x"));
        QVERIFY(waitUntil([&] { return copiedTexts(env) == QStringList(QStringLiteral("x")); }, 10000));
        Form1->action("Neu1")->trigger();
        QCOMPARE(copiesIn(env), QStringList());
        memo->insertPlainText(QStringLiteral("y"));
        QVERIFY(waitUntil([&] { return copiedTexts(env) == QStringList(QStringLiteral("y")); }, 10000));
        // Typing back to the saved state (here: empty) needs none either.
        memo->undo();
        QCOMPARE(copiesIn(env), QStringList());
        memo->insertPlainText(QStringLiteral("z"));
        QVERIFY(waitUntil([&] { return copiedTexts(env) == QStringList(QStringLiteral("z")); }, 10000));
        const QString target = env.root() + QStringLiteral("/gespeichert.php");
        {
            FileDialogAnswerer answers({target});
            Form1->action("Speichernunter1")->trigger();
        }
        QCOMPARE(readAll(target), QByteArray("z"));
        QCOMPARE(copiesIn(env), QStringList());
        // Emptied, the document has nothing to keep: its last copy goes, and no empty one comes.
        memo->insertPlainText(QStringLiteral("w"));
        QVERIFY(waitUntil([&] { return copiedTexts(env) == QStringList(QStringLiteral("zw")); }, 10000));
        QTextCursor all(memo->document());
        all.select(QTextCursor::Document);
        all.removeSelectedText();
        QVERIFY(memo->document()->isModified());
        QVERIFY(waitUntil([&] { return copiesIn(env).isEmpty(); }, 10000));
    }
};

KORLITH_TEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
