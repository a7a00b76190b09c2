// Document commands and find/replace on the real main window, with real files and dialogs.
#include "FileDialog.h"
#include "FindDialog.h"
#include "ReplaceDialog.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "WebBrowser.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QClipboard>
#include <QCompleter>
#include <QFileDialog>
#include <QProcess>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const QByteArray ConfiguredWithPhp = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n"
                                     "\"configured\"=\"1\"\n\"Interpreter\"=\"/usr/bin/php\"\n\n";

struct Run
{
    IsolatedEnvironment env;
    Run()
    {
        env.writeRegistry(ConfiguredWithPhp);
        createForms();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QVERIFY(activate(Form1));
    }
    ~Run() { destroyForms(); }
    QPlainTextEdit *memo() const { return Form1->memo1(); }
    QString file(const QString &name) const { return env.root() + QLatin1Char('/') + name; }
    void trigger(const char *action) { Form1->action(action)->trigger(); }
    QString selection() const { return memo()->textCursor().selectedText(); }
    int selectionStart() const { return memo()->textCursor().selectionStart(); }
    QString paneText() const { return pageText(Form1->WebBrowser1()); }
    // The focus in the editor of the active main window, as after a click into it.
    bool focusMemo() const
    {
        if (!activate(Form1))
            return false;
        memo()->setFocus();
        return waitUntil([&] { return memo()->hasFocus(); });
    }
};

void press(QWidget *dialog, const char *button)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
}
} // namespace

class TestDocuments : public QObject
{
    Q_OBJECT

private slots:
    void openShowsPreviewAndSaveFollowsTheCaption()
    {
        Run run;
        const QString script = run.file(QStringLiteral("mein skript.php"));
        writeFile(script, "<?php\r\necho 'Offen';\r\n");
        {
            FileDialogAnswerer answers({script});
            run.trigger("ffnnen1");
            QCOMPARE(answers.answered(), 1);
        }
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - mein skript.php"));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("<?php\necho 'Offen';\n"));
        QVERIFY(waitUntil([&] { return run.paneText() == QStringLiteral("Offen"); }, 10000));

        // Save As writes elsewhere; the caption stays, and Save still goes to the opened file.
        const QString other = run.file(QStringLiteral("other.php"));
        run.memo()->setPlainText(QStringLiteral("<?php\necho 'Zwei';\n"));
        {
            FileDialogAnswerer answers({other});
            run.trigger("Speichernunter1");
            QCOMPARE(answers.answered(), 1);
        }
        QCOMPARE(readAll(other), QByteArray("<?php\r\necho 'Zwei';\r\n"));
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - mein skript.php"));
        run.memo()->setPlainText(QStringLiteral("<?php\necho 'Drei';\n"));
        {
            FileDialogAnswerer answers({});
            QVERIFY(activate(Form1));
            QTest::keyClick(Form1, Qt::Key_S, Qt::ControlModifier);
            QVERIFY(waitUntil([&] { return readAll(script) == "<?php\r\necho 'Drei';\r\n"; }));
            QCOMPARE(answers.answered(), 0);
        }
        QCOMPARE(readAll(other), QByteArray("<?php\r\necho 'Zwei';\r\n"));
        // The toolbar's Save image saves too.
        run.memo()->setPlainText(QStringLiteral("vier"));
        run.trigger("ToolButton3");
        QCOMPARE(readAll(script), QByteArray("vier"));
    }

    void untitledSaveAlwaysAsksAndNewKeepsOrClearsTheName()
    {
        Run run;
        const QString target = run.file(QStringLiteral("neu.php"));
        run.memo()->setPlainText(QStringLiteral("eins"));
        {
            FileDialogAnswerer answers({target, target});
            run.trigger("Speichern1");
            run.memo()->setPlainText(QStringLiteral("zwei"));
            run.trigger("Speichern1");
            QCOMPARE(answers.answered(), 2);
            QCOMPARE(answers.presets.at(0), QString());
            QCOMPARE(answers.presets.at(1), QStringLiteral("neu.php"));
        }
        QCOMPARE(readAll(target), QByteArray("zwei"));
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005"));

        // New from the menu keeps the save name; New from the toolbar clears it.
        run.trigger("Neu1");
        QCOMPARE(run.memo()->toPlainText(), QString());
        {
            FileDialogAnswerer answers({QString()});
            run.trigger("Speichern1");
            QCOMPARE(answers.presets, QStringList(QStringLiteral("neu.php")));
        }
        run.trigger("ToolButton1");
        {
            FileDialogAnswerer answers({QString()});
            run.trigger("Speichern1");
            QCOMPARE(answers.presets, QStringList(QString()));
        }
        QCOMPARE(readAll(target), QByteArray("zwei"));
    }

    void newClearsDocumentAndPane()
    {
        Run run;
        const QString script = run.file(QStringLiteral("a.php"));
        writeFile(script, "<?php echo 'Inhalt';");
        FileDialogAnswerer answers({script});
        run.trigger("ffnnen1");
        QVERIFY(waitUntil([&] { return run.paneText() == QStringLiteral("Inhalt"); }, 10000));
        run.trigger("Neu1");
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005"));
        QCOMPARE(run.memo()->toPlainText(), QString());
        QVERIFY(waitUntil([&] { return run.paneText().isEmpty(); }, 10000));
    }

    void badFilesAreReportedAndLoseNothing()
    {
        Run run;
        run.memo()->setPlainText(QStringLiteral("mein Text"));
        MessageBoxCatcher boxes;
        const QString missing = run.file(QStringLiteral("fehlt.php"));
        {
            FileDialogAnswerer answers({missing});
            run.trigger("ffnnen1");
        }
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Cannot open file %1.").arg(missing)));
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005"));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("mein Text"));

    }

    void legacyAndLargeFilesRoundTrip()
    {
        Run run;
        const QString legacy = run.file(QStringLiteral("alt.php"));
        const QByteArray bytes = "<?php\r\n// Gr\xFC\xDF" "e\r\necho \"\x80 5\";\r\n";
        writeFile(legacy, bytes);
        MessageBoxCatcher boxes;
        {
            FileDialogAnswerer answers({legacy});
            run.trigger("ffnnen1");
        }
        QCOMPARE(boxes.seen, QStringList());
        QVERIFY2(run.memo()->toPlainText().contains(QStringLiteral("Grüße")), qPrintable(run.memo()->toPlainText()));
        run.trigger("Speichern1");
        QCOMPARE(readAll(legacy), bytes);

        // Ten megabytes open and save without holding the window for long.
        const QString big = run.file(QStringLiteral("gross.php"));
        QByteArray line = "<?php echo 'Zeile mit etwas Text, damit sie lang genug wird: äöü'; ?>\n";
        QByteArray content;
        content.reserve(10 * 1024 * 1024 + line.size());
        while (content.size() < 10 * 1024 * 1024)
            content += line;
        content += "<?php echo 'Ende';";
        writeFile(big, content);
        QElapsedTimer t;
        t.start();
        {
            FileDialogAnswerer answers({big});
            run.trigger("ffnnen1");
            QCOMPARE(answers.answered(), 1);
        }
        const qint64 openMs = t.elapsed();
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - gross.php"));
        t.restart();
        run.trigger("Speichern1");
        const qint64 saveMs = t.elapsed();
        qInfo("10 MB: open and preview %lld ms, save %lld ms", openMs, saveMs);
        QCOMPARE(readAll(big), content);
    }

    void lineSearchFromTheFindDialog()
    {
        Run run;
        run.memo()->setPlainText(QStringLiteral("aaaaa\nbbbbbbb\ncccXYZ\nXYZ\nABC"));
        QVERIFY(run.focusMemo());
        QVERIFY(waitUntil([&] { return Form1->action("SearchFind1")->isEnabled(); }));
        run.trigger("SearchFind1");
        TFindDialog *find = Form1->FindDialog1;
        QVERIFY(find->isVisible());
        find->setFindText(QStringLiteral("XYZ"));
        press(find, "FindNext");
        // Editor position 19 is control position 17: the third line, after "ccc".
        QCOMPARE(run.selectionStart(), 17);
        QCOMPARE(run.selection(), QStringLiteral("XYZ"));
        press(find, "FindNext");
        QCOMPARE(run.selectionStart(), 17);

        // Case-sensitive whatever the box says; not found leaves the selection alone.
        find->findChild<QCheckBox *>(QStringLiteral("MatchCase"))->setChecked(false);
        find->setFindText(QStringLiteral("abc"));
        press(find, "FindNext");
        QCOMPARE(run.selectionStart(), 17);
        QCOMPARE(run.selection(), QStringLiteral("XYZ"));
    }

    void replaceFollowsTheDialogAndForgetsItsTarget()
    {
        Run run;
        run.memo()->setPlainText(QStringLiteral("print int\nPrint x print"));
        QVERIFY(run.focusMemo());
        QVERIFY(waitUntil([&] { return Form1->action("SearchReplace1")->isEnabled(); }));
        Form1->FindDialog1->setFindText(QStringLiteral("int"));
        run.trigger("SearchReplace1");
        TReplaceDialog *replace = Form1->ReplaceDialog1;
        QVERIFY(replace->isVisible());
        replace->setTexts(QStringLiteral("print"), QStringLiteral("echo"));
        // Its own find button searches for its own text, not the find dialog's.
        press(replace, "FindNext");
        QCOMPARE(run.selectionStart(), 0);
        QCOMPARE(run.selection(), QStringLiteral("print"));

        // Replace: the selection goes, the next occurrence (any case) is selected.
        press(replace, "Replace");
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("echo int\nPrint x print"));
        QCOMPARE(run.selection(), QStringLiteral("Print"));
        // Without choosing the entry again a second press does nothing.
        press(replace, "Replace");
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("echo int\nPrint x print"));

        // Replace again: also a selection that differs in case only; then the message.
        QVERIFY(run.focusMemo());
        run.trigger("SearchReplace1");
        press(replace, "Replace");
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("echo int\necho x print"));
        QCOMPARE(run.selection(), QStringLiteral("print"));
        QVERIFY(run.focusMemo());
        run.trigger("SearchReplace1");
        {
            MessageBoxCatcher boxes;
            press(replace, "Replace");
            QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Text not found: \"print\"")));
        }
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("echo int\necho x echo"));
    }

    void replaceAllWithOptions()
    {
        Run run;
        run.memo()->setPlainText(QStringLiteral("int print int\nINT sprint int"));
        QVERIFY(run.focusMemo());
        QVERIFY(waitUntil([&] { return Form1->action("SearchReplace1")->isEnabled(); }));
        // The first occurrence selected: it and every later one go, without a message.
        QTextCursor c = run.memo()->textCursor();
        c.setPosition(0);
        c.setPosition(3, QTextCursor::KeepAnchor);
        run.memo()->setTextCursor(c);
        run.trigger("SearchReplace1");
        TReplaceDialog *replace = Form1->ReplaceDialog1;
        replace->setTexts(QStringLiteral("int"), QStringLiteral("$n"));
        replace->findChild<QCheckBox *>(QStringLiteral("WholeWord"))->setChecked(true);
        MessageBoxCatcher boxes;
        press(replace, "ReplaceAll");
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("$n print $n\n$n sprint $n"));
        QVERIFY(boxes.seen.isEmpty());
        // One undo takes the whole replacement back.
        run.memo()->undo();
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("int print int\nINT sprint int"));
        // Forgotten after the press.
        press(replace, "ReplaceAll");
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("int print int\nINT sprint int"));
    }

    void findEntriesNeedAFocusedNonEmptyEditor()
    {
        Run run;
        QVERIFY(run.focusMemo());
        QVERIFY(!Form1->action("SearchFind1")->isEnabled());
        QVERIFY(!Form1->action("SearchReplace1")->isEnabled());
        QTest::keyClicks(run.memo(), QStringLiteral("x"));
        QVERIFY(Form1->action("SearchFind1")->isEnabled());
        QVERIFY(activate(Form1));
        QTest::keyClick(Form1, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(Form1->FindDialog1->isVisible());
    }

    // Return while the file dialog's completion list shows: nothing of the dialog stays, and
    // the next key reaches the program.
    void completionListGoesWithTheDialog()
    {
        if (!windowManagerRuns())
            QSKIP("the keyboard reaches the file dialog through a window manager");
        Run run;
        for (const char *name : {"auswahl1.php", "auswahl2.php"})
            writeFile(run.file(QString::fromLatin1(name)), "<?php echo 'gewaehlt';");
        Form1->OpenDialog1->FileName = run.file(QStringLiteral("x.php"));
        bool listShown = false;
        QTimer::singleShot(0, [&] {
            QFileDialog *dialog = nullptr;
            waitUntil([&] {
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                        dialog = d;
                return dialog != nullptr;
            });
            if (!dialog || !activate(dialog))
                return;
            auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            field->setFocus();
            field->clear();
            // Typed on the real keyboard, as the completion list answers typing.
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                          QStringLiteral("20"), QStringLiteral("auswahl")});
            listShown = waitUntil([&] { return field->completer() && field->completer()->popup()->isVisible(); });
            if (listShown)
                QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Down"),
                                                              QStringLiteral("Return")});
            waitUntil([&] { return !dialog->isVisible(); }, 2000);
            if (dialog->isVisible())
                QTest::keyClick(field, Qt::Key_Return);
            waitUntil([&] { return !dialog->isVisible(); }, 2000);
            if (dialog->isVisible())
                dialog->reject();
        });
        run.trigger("ffnnen1");
        QVERIFY(listShown);
        QCOMPARE(Form1->caption(), QStringLiteral("Korlith 2005 - auswahl1.php"));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || w == Form1, qPrintable(w->metaObject()->className()));
        // The editor has the focus again and its entries are there; Ctrl+S saves at once.
        QVERIFY(run.focusMemo());
        QVERIFY(Form1->action("SearchFind1")->isEnabled());
        run.memo()->setPlainText(QStringLiteral("neu"));
        QVERIFY(activate(Form1));
        QTest::keyClick(Form1, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(waitUntil([&] { return readAll(run.file(QStringLiteral("auswahl1.php"))) == "neu"; }));
    }

    // Ending the program with the search dialogs on screen, one of them active.
    void closingWithTheSearchDialogsOpen()
    {
        {
            Run run;
            run.memo()->setPlainText(QStringLiteral("print int"));
            QVERIFY(run.focusMemo());
            run.trigger("SearchFind1");
            QVERIFY(run.focusMemo());
            run.trigger("SearchReplace1");
            QVERIFY(Form1->ReplaceDialog1->isVisible());
            QVERIFY(activate(Form1->ReplaceDialog1));
        }
        QVERIFY(!Form1);
        // Application-wide signals after the end reach no window.
        QGuiApplication::clipboard()->setText(QStringLiteral("danach"));
        QTest::qWait(20);
    }
};

KORLITH_TEST_MAIN(TestDocuments)
#include "tst_documents.moc"
