// Document commands and find/replace on the real main window, with real files and dialogs.
#include "CodeEdit.h"
#include "FileDialog.h"
#include "FindDialog.h"
#include "ReplaceDialog.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "core/Document.h"
#include "core/FileNameCodec.h"
#include "core/PreviewRun.h"
#include "WebBrowser.h"

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QInputDialog>
#include <QTimer>
#include <QWebEnginePage>
#include <QAbstractItemView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>

#include <sys/resource.h>
#include <sys/stat.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {
struct Run
{
    IsolatedEnvironment env;
    std::unique_ptr<ProgramForms> forms;
    bool shown = false;
    Run()
    {
        env.writeRegistry(ConfiguredWithPhp);
        forms = std::make_unique<ProgramForms>();
        Form1->show();
        shown = QTest::qWaitForWindowExposed(Form1) && activate(Form1);
    }
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
    // The document's state through the file commands, without a window: what Save writes to,
    // the caption, the folder the script runs in, the format.
    void documentStateThroughTheCommands()
    {
        Document doc(QStringLiteral("/start"));
        QVERIFY(doc.isUntitled());
        QCOMPARE(doc.caption(), QStringLiteral("Korlith 2005"));
        QCOMPARE(doc.saveTarget(), QString());
        QCOMPARE(doc.folder(), QStringLiteral("/start"));

        // A file chosen but not readable moves the folder, nothing else.
        doc.chooseFile(QStringLiteral("/web/site/kaputt.php"));
        QCOMPARE(doc.folder(), QStringLiteral("/web/site"));
        QVERIFY(doc.isUntitled());
        QCOMPARE(doc.saveTarget(), QString());

        TextFormat latin;
        latin.encoding = TextFormat::Windows1252;
        latin.lineEnd = TextFormat::CrLf;
        doc.chooseFile(QStringLiteral("/web/a/index.php"));
        doc.opened(QStringLiteral("/web/a/index.php"), latin);
        QCOMPARE(doc.caption(), QStringLiteral("Korlith 2005 - index.php"));
        QCOMPARE(doc.saveTarget(), QStringLiteral("/web/a/index.php"));
        QCOMPARE(doc.format().encoding, TextFormat::Windows1252);

        // Save As elsewhere moves the folder; the title and Save's target stay.
        doc.chooseFile(QStringLiteral("/backup/copy.php"));
        QCOMPARE(doc.folder(), QStringLiteral("/backup"));
        QCOMPARE(doc.saveTarget(), QStringLiteral("/web/a/index.php"));

        // New: untitled in the default format, so Save asks; the opened file is remembered.
        doc.clear();
        QVERIFY(doc.isUntitled());
        QCOMPARE(doc.saveTarget(), QString());
        QCOMPARE(doc.format().encoding, TextFormat().encoding);
        QCOMPARE(doc.format().lineEnd, TextFormat().lineEnd);
        QCOMPARE(doc.openedFile(), QStringLiteral("/web/a/index.php"));

        // A name that is not UTF-8 titles the document as it reads; Save keeps its bytes.
        const QString odd = decodeFileName("/web/b/gr\xfc\xdf.php");
        doc.opened(odd, TextFormat());
        QCOMPARE(doc.caption(), QStringLiteral("Korlith 2005 - gr\uFFFD\uFFFD.php"));
        QCOMPARE(doc.saveTarget(), odd);

        // A restored copy takes its instance's state, its file's folder included.
        doc.restore(QStringLiteral("/r/x.php"), QStringLiteral("Korlith 2005 - x.php"), latin);
        QCOMPARE(doc.folder(), QStringLiteral("/r"));
        QCOMPARE(doc.saveTarget(), QStringLiteral("/r/x.php"));
        doc.restore(QString(), QStringLiteral("Korlith 2005"), TextFormat());
        QCOMPARE(doc.folder(), QStringLiteral("/r"));
        QCOMPARE(doc.saveTarget(), QString());
    }

    void openShowsPreviewAndSaveFollowsTheCaption()
    {
        Run run;
        QVERIFY(run.shown);
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
        QVERIFY(run.shown);
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
        QVERIFY(run.shown);
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
        QVERIFY(run.shown);
        run.memo()->setPlainText(QStringLiteral("mein Text"));
        MessageBoxCatcher boxes;
        const QString missing = run.file(QStringLiteral("fehlt.php"));
        {
            FileDialogAnswerer answers({missing});
            run.trigger("ffnnen1");
        }
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Cannot open file %1.").arg(missing)));
        QCOMPARE(boxes.reasons, QStringList(QStringLiteral("No such file or directory")));
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005"));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("mein Text"));

    }

    void legacyAndLargeFilesRoundTrip()
    {
        Run run;
        QVERIFY(run.shown);
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

        // Ten megabytes, a line in a thousand with CR LF, open and save as they were; the
        // status bar says that the file loads while it does, and no more once it is in.
        const QString big = run.file(QStringLiteral("gross.php"));
        QByteArray line = "<?php echo 'Zeile mit etwas Text, damit sie lang genug wird: äöü'; ?>\n";
        QByteArray content;
        content.reserve(10 * 1024 * 1024 + line.size());
        for (int i = 0; content.size() < 10 * 1024 * 1024; ++i)
            content += i % 1000 == 999 ? QByteArray(line).replace("\n", "\r\n") : line;
        content += "<?php echo 'Ende';";
        writeFile(big, content);
        QStringList said;
        const auto heard = connect(Form1->statusBar(), &QStatusBar::messageChanged, this,
                                   [&](const QString &message) { said << message; });
        {
            FileDialogAnswerer answers({big});
            run.trigger("ffnnen1");
            QCOMPARE(answers.answered(), 1);
        }
        disconnect(heard);
        const QString loading = QStringLiteral("gross.php wird geladen …");
        QVERIFY2(!said.isEmpty() && said.first() == loading, qPrintable(said.join(QLatin1Char('|'))));
        QVERIFY(Form1->statusBar()->currentMessage() != loading);
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - gross.php"));
        run.trigger("Speichern1");
        QCOMPARE(readAll(big), content);
    }

    void lineSearchFromTheFindDialog()
    {
        Run run;
        QVERIFY(run.shown);
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

    // F3 and Shift+F3 seek the find dialog's text with its options from the caret, round the
    // document's end; Ctrl+G puts the caret at the start of the line the user names.
    void findAgainAndGoToLineFromTheKeyboard()
    {
        Run run;
        QVERIFY(run.shown);
        const QString text = QStringLiteral("Wort wort\nwortreich Wort\n\nWORT");
        run.memo()->setPlainText(text);
        QVERIFY(run.focusMemo());
        const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(run.memo(), k, m); };

        // No text to seek yet: the key opens the dialog.
        key(Qt::Key_F3);
        TFindDialog *find = Form1->FindDialog1;
        QVERIFY(waitUntil([&] { return find->isVisible(); }));
        find->setFindText(QStringLiteral("wort"));
        find->hide();
        QVERIFY(run.focusMemo());

        QTextCursor start(run.memo()->document());
        run.memo()->setTextCursor(start);
        QList<int> forward;
        for (int i = 0; i < 6; ++i) {
            key(Qt::Key_F3);
            forward << run.selectionStart();
        }
        // Any case, word or not; after the last one round to the first again.
        QCOMPARE(forward, (QList<int>{0, 5, 10, 20, 26, 0}));
        QCOMPARE(run.selection(), QStringLiteral("Wort"));
        // Backwards from there: round the start to the last one.
        key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(run.selectionStart(), 26);
        key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(run.selectionStart(), 20);

        // The dialog's options hold: whole words in their case.
        find->findChild<QCheckBox *>(QStringLiteral("MatchCase"))->setChecked(true);
        find->findChild<QCheckBox *>(QStringLiteral("WholeWord"))->setChecked(true);
        run.memo()->setTextCursor(start);
        QList<int> exact;
        for (int i = 0; i < 2; ++i) {
            key(Qt::Key_F3);
            exact << run.selectionStart();
        }
        QCOMPARE(exact, (QList<int>{5, 5}));
        // Not there at all: the status bar says so and the selection stays.
        find->setFindText(QStringLiteral("fehlt"));
        key(Qt::Key_F3);
        QCOMPARE(run.selectionStart(), 5);
        QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("\"fehlt\" nicht gefunden."));
        QCOMPARE(run.memo()->toPlainText(), text);

        // Ctrl+G: the line asked for, its range the document's lines.
        int range = 0;
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
                range = dialog->intMaximum();
                dialog->setIntValue(3);
                dialog->accept();
            }
        });
        answer.start();
        // Asked from anywhere in the window: here the pane has the focus.
        Form1->WebBrowser1()->setFocus();
        key(Qt::Key_G, Qt::ControlModifier);
        QVERIFY(waitUntil([&] { return range != 0; }));
        QCOMPARE(range, 4);
        QCOMPARE(run.memo()->textCursor().position(), 25);
        QVERIFY(!run.memo()->textCursor().hasSelection());
        // The editor is the window's focus again (the keyboard's once the window is active).
        QCOMPARE(Form1->focusWidget(), run.memo());
    }

    // Half a second after the text changes the interpreter parses it: a parse error is marked
    // red on its line with PHP's words as tooltip, before any run, and goes once the text
    // parses; a run's own marks are not touched.
    void parseErrorIsMarkedBeforeARun()
    {
        Run run;
        QVERIFY(run.shown);
        auto *memo = static_cast<TCodeEdit *>(run.memo());
        const auto markOfLine = [&](int line) {
            for (const TCodeEdit::GutterRow &row : memo->rowsInView(0, memo->viewport()->height()))
                if (row.line == line)
                    return row.mark;
            return TCodeEdit::GutterRow::NoMark;
        };
        memo->setPlainText(QStringLiteral("<?php\necho 1;\necho 2 3;\necho 4;\n"));
        QVERIFY(waitUntil([&] { return memo->checkMarkLine() == 3; }, 20000));
        QCOMPARE(markOfLine(3), TCodeEdit::GutterRow::Error);
        QCOMPARE(markOfLine(2), TCodeEdit::GutterRow::NoMark);
        const int top = memo->rowsInView(0, memo->viewport()->height()).at(2).top;
        QVERIFY2(memo->lineMarkAt(QPoint(2, top + 2)).contains(QLatin1String("syntax error")),
                 qPrintable(memo->lineMarkAt(QPoint(2, top + 2))));
        QVERIFY(memo->lineMarks().isEmpty());
        QVERIFY(run.paneText().isEmpty());

        // Typed on: the mark follows its line, and goes as soon as the text parses.
        QTextCursor start(memo->document());
        memo->setTextCursor(start);
        QVERIFY(run.focusMemo());
        QTest::keyClicks(memo, QStringLiteral("// x"));
        QCOMPARE(memo->checkMarkLine(), 3);
        QTextCursor error(memo->document()->findBlockByNumber(2));
        error.movePosition(QTextCursor::EndOfBlock);
        error.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, 2);
        error.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 1);
        error.insertText(QStringLiteral(","));
        QVERIFY(waitUntil([&] { return memo->checkMarkLine() == 0; }, 20000));
        QCOMPARE(markOfLine(3), TCodeEdit::GutterRow::NoMark);
    }

    void replaceFollowsTheDialogAndForgetsItsTarget()
    {
        Run run;
        QVERIFY(run.shown);
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

    // Replace goes on searching after the replacement it just made, which may hold the search text.
    void replaceResumesAfterItsReplacement()
    {
        Run run;
        QVERIFY(run.shown);
        run.memo()->setPlainText(QStringLiteral("int x int"));
        QVERIFY(run.focusMemo());
        QVERIFY(waitUntil([&] { return Form1->action("SearchReplace1")->isEnabled(); }));
        QTextCursor first = run.memo()->textCursor();
        first.setPosition(0);
        first.setPosition(3, QTextCursor::KeepAnchor);
        run.memo()->setTextCursor(first);
        run.trigger("SearchReplace1");
        TReplaceDialog *replace = Form1->ReplaceDialog1;
        replace->setTexts(QStringLiteral("int"), QStringLiteral("print"));
        press(replace, "Replace");
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("print x int"));
        QCOMPARE(run.selectionStart(), 8);
        QCOMPARE(run.selection(), QStringLiteral("int"));
    }

    void replaceAllWithOptions()
    {
        Run run;
        QVERIFY(run.shown);
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

    // A run's marks stay on their lines through replace-all and its undo, and through a paste.
    void marksStayOnTheirLinesThroughReplaceAllAndUndo()
    {
        Run run;
        QVERIFY(run.shown);
        auto *memo = static_cast<TCodeEdit *>(run.memo());
        const QString script = QStringLiteral("<?php\necho 'a';\necho $u1;\necho 'b';\necho $u2;\nthrow new Exception('x');\n\n");
        memo->setPlainText(script);
        run.trigger("Jetztaktualisieren1");
        QVERIFY(waitUntil([&] { return memo->lineMarks().size() == 3; }, 10000));
        auto marked = [&] {
            QList<int> lines;
            for (const auto &[line, error, text] : memo->lineMarks())
                lines << line * (error ? -1 : 1);
            std::sort(lines.begin(), lines.end(), [](int a, int b) { return qAbs(a) < qAbs(b); });
            return lines;
        };
        const QList<int> expected{3, 5, -6};
        QCOMPARE(marked(), expected);

        QVERIFY(run.focusMemo());
        run.trigger("SearchReplace1");
        Form1->ReplaceDialog1->setTexts(QStringLiteral("echo"), QStringLiteral("print"));
        press(Form1->ReplaceDialog1, "ReplaceAll");
        QCOMPARE(memo->toPlainText(), QString(script).replace(QStringLiteral("echo"), QStringLiteral("print")));
        QCOMPARE(marked(), expected);
        // The caret after the replacement made last.
        QCOMPARE(memo->textCursor().position(), int(QStringLiteral("<?php\nprint 'a';\nprint $u1;\nprint 'b';\nprint").size()));
        memo->undo();
        QCOMPARE(memo->toPlainText(), script);
        QCOMPARE(marked(), expected);
        memo->redo();
        QCOMPARE(marked(), expected);

        // Two lines pasted above line 3 move the marks below them.
        QGuiApplication::clipboard()->setText(QStringLiteral("// eins\n// zwei\n"));
        QTextCursor third(memo->document()->findBlockByNumber(2));
        memo->setTextCursor(third);
        memo->paste();
        QCOMPARE(marked(), (QList<int>{5, 7, -8}));
        memo->undo();
        QCOMPARE(marked(), expected);
    }

    // A program that holds the clipboard or the selection and never answers, or one that lists
    // its text and never sends it: the editor goes on taking keys while a paste asks it (the
    // key typed after Ctrl+V or the middle button arrives before the asking gives up), then the
    // status bar says that nothing came. The text is asked for once, by the asking thread (Qt's
    // own read would hold the window).
    void silentClipboardOwnerHoldsNothingUp()
    {
        Run run;
        QVERIFY(run.shown);
        QPlainTextEdit *memo = run.memo();
        for (const char *selection : {"CLIPBOARD", "PRIMARY"}) {
            for (const bool listsText : {false, true}) {
                memo->setPlainText(QStringLiteral("abc"));
                memo->moveCursor(QTextCursor::End);
                QVERIFY(run.focusMemo());
                std::unique_ptr<SilentClipboardOwner> silent;
                std::unique_ptr<ServingClipboardOwner> lister;
                if (listsText)
                    lister = std::make_unique<ServingClipboardOwner>(selection, ServingClipboardOwner::ListOnly);
                else
                    silent = std::make_unique<SilentClipboardOwner>(selection);
                QVERIFY(listsText ? lister->holds() : silent->holds());
                QVERIFY(waitUntil([&] { return !QGuiApplication::clipboard()->ownsClipboard()
                                            && !QGuiApplication::clipboard()->ownsSelection(); }));
                Form1->statusBar()->clearMessage();
                if (qstrcmp(selection, "CLIPBOARD") == 0)
                    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
                else
                    QTest::mouseClick(memo->viewport(), Qt::MiddleButton, {}, QPoint(memo->viewport()->width() - 5, 5));
                QTest::keyClick(memo, Qt::Key_X);
                QCOMPARE(memo->toPlainText(), QStringLiteral("abcx"));
                QCOMPARE(Form1->statusBar()->currentMessage(), QString());
                QVERIFY2(waitUntil([] { return Form1->statusBar()->currentMessage().startsWith(
                                            QStringLiteral("Die Zwischenablage antwortet nicht")); }),
                         selection);
                QCOMPARE(memo->toPlainText(), QStringLiteral("abcx"));
                if (listsText)
                    QCOMPARE(lister->textAsked(), 1);
            }
        }
        // One that answers is pasted from as before.
        QGuiApplication::clipboard()->setText(QStringLiteral("-neu"));
        Form1->action("EditPaste1")->trigger();
        QCOMPARE(memo->toPlainText(), QStringLiteral("abcx-neu"));
    }

    // Another program's text is pasted exactly, a long one handed over in pieces too.
    void clipboardTextComesWholeAndInPieces()
    {
        Run run;
        QVERIFY(run.shown);
        QPlainTextEdit *memo = run.memo();
        for (const QByteArray &text : {QByteArray("-neu \xc3\xa4 zwei\ndrei"), QByteArray(300000, 'x') + "ende"}) {
            memo->setPlainText(QStringLiteral("abc"));
            memo->moveCursor(QTextCursor::End);
            QVERIFY(run.focusMemo());
            ServingClipboardOwner owner("CLIPBOARD", ServingClipboardOwner::Text, text, 65536);
            QVERIFY(owner.holds());
            QVERIFY(waitUntil([&] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
            QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
            const QString expected = QStringLiteral("abc") + QString::fromUtf8(text);
            QVERIFY2(waitUntil([&] { return memo->toPlainText() == expected; }), qPrintable(QString::number(memo->toPlainText().size())));
            QCOMPARE(owner.textAsked(), 1);
        }
    }

    // The editor's context menu pastes as the paste key does: with an owner that lists its
    // text and never sends it, the window goes on taking keys and the status bar says that
    // nothing came. Its entries are Qt's own, in German.
    void contextMenuPastesWithoutHoldingTheWindow()
    {
        Run run;
        QVERIFY(run.shown);
        QPlainTextEdit *memo = run.memo();
        memo->setPlainText(QStringLiteral("abc"));
        memo->moveCursor(QTextCursor::End);
        QVERIFY(run.focusMemo());
        ServingClipboardOwner owner("CLIPBOARD", ServingClipboardOwner::ListOnly);
        QVERIFY(owner.holds());
        QStringList entries;
        bool pasteEnabled = false;
        auto openMenu = [&] {
            QTimer::singleShot(0, [&] {
                QMenu *menu = nullptr;
                waitUntil([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) != nullptr; });
                if (!menu)
                    return;
                entries.clear();
                QAction *paste = nullptr;
                for (QAction *action : menu->actions()) {
                    if (action->isSeparator())
                        continue;
                    entries << action->text().section(QLatin1Char('\t'), 0, 0);
                    if (entries.last() == QStringLiteral("Einf&ügen"))
                        paste = action;
                }
                pasteEnabled = paste && paste->isEnabled();
                if (pasteEnabled)
                    paste->trigger();
                menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), memo->viewport()->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(memo->viewport(), &event);
        };
        // The paste entry follows what the clipboard was found to offer.
        QVERIFY(waitUntil([&] {
            openMenu();
            return pasteEnabled;
        }));
        QCOMPARE(entries, QStringList({QStringLiteral("&Rückgängig"), QStringLiteral("Wieder&herstellen"),
                                       QStringLiteral("&Ausschneiden"), QStringLiteral("&Kopieren"), QStringLiteral("Einf&ügen"),
                                       QStringLiteral("Löschen"), QStringLiteral("Alles auswählen")}));
        QTest::keyClick(memo, Qt::Key_X);
        QCOMPARE(memo->toPlainText(), QStringLiteral("abcx"));
        QVERIFY(waitUntil([] { return Form1->statusBar()->currentMessage().startsWith(
                                   QStringLiteral("Die Zwischenablage antwortet nicht")); }));
        QCOMPARE(memo->toPlainText(), QStringLiteral("abcx"));
    }

    void findEntriesNeedAFocusedNonEmptyEditor()
    {
        Run run;
        QVERIFY(run.shown);
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
        QVERIFY(run.shown);
        for (const char *name : {"auswahl1.php", "auswahl2.php"})
            writeFile(run.file(QString::fromLatin1(name)), "<?php echo 'gewaehlt';");
        Form1->OpenDialog1->FileName = run.file(QStringLiteral("x.php"));
        CompletionPick pick;
        pickFromCompletionList(QStringLiteral("auswahl"), &pick);
        run.trigger("ffnnen1");
        pick.closeDialogs();
        QVERIFY2(pick.listShown, qPrintable(pick.notShown));
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

    // Characters that a text document rewrites: kept through open, run, replace-all and save.
    void unusualCharactersSurviveEveryCommand_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray utf8 = "<?php // a\xC2\xA0" "b\xE2\x80\xA8" "c\xE2\x80\xA9" "d\xEF\xB7\x90" "e\xEF\xB7\x91"
                                "f\xEF\xA3\xA0\xEF\xA3\xA1g\n echo 'x\xC2\xA0y';\n";
        QByteArray crlf = utf8;
        crlf.replace("\n", "\r\n");
        QTest::newRow("UTF-8, LF") << utf8;
        QTest::newRow("UTF-8, CR LF") << crlf;
        QTest::newRow("Windows-1252, CR LF") << QByteArray("<?php // \xA0\xE4\x80\r\n echo 'x\xA0y';\r\n");
        QTest::newRow("Windows-1252, LF") << QByteArray("<?php // \xA0\xE4\x80\n echo 'x\xA0y';\n");
        QTest::newRow("UTF-8, mixed line ends") << QByteArray("<?php // a\r\necho 1;\necho 2;\r\n// c\rz\r\n");
        QTest::newRow("Windows-1252, mixed line ends") << QByteArray("<?php // \xE4\r\necho 1;\r\n\necho 2;\n\r\n");
    }

    void unusualCharactersSurviveEveryCommand()
    {
        QFETCH(QByteArray, bytes);
        Run run;
        QVERIFY(run.shown);
        const QString script = run.file(QStringLiteral("sonder.php"));
        writeFile(script, bytes);
        {
            FileDialogAnswerer answers({script});
            run.trigger("ffnnen1");
        }
        // The preview runs the text as its file holds it, line ends included.
        QVERIFY(waitUntil([&] { return !run.paneText().isEmpty(); }, 10000));
        const QByteArray scratch = readAll(run.env.scratchDir() + QStringLiteral("temp.php"));
        if (bytes.contains("\xC2\xA0"))
            QCOMPARE(scratch, bytes);
        run.trigger("Speichern1");
        QCOMPARE(readAll(script), bytes);

        // Replace-all elsewhere in the text leaves them alone.
        QVERIFY(run.focusMemo());
        run.trigger("SearchReplace1");
        Form1->ReplaceDialog1->setTexts(QStringLiteral("echo"), QStringLiteral("print"));
        press(Form1->ReplaceDialog1, "ReplaceAll");
        run.trigger("Speichern1");
        QByteArray replaced = bytes;
        replaced.replace("echo", "print");
        QCOMPARE(readAll(script), replaced);
    }

    // A Windows-1252 file that now holds a character its code page lacks keeps its encoding
    // unless the user chooses UTF-8: "Nein" writes nothing, "Ja" writes UTF-8 from then on.
    void aCharacterBeyondTheFilesEncodingIsAsked()
    {
        Run run;
        QVERIFY(run.shown);
        const QString script = run.file(QStringLiteral("alt.php"));
        const QByteArray old = "<?php echo 'Gr\xfc\xdf\x65';\r\n// \x80\r\n";
        writeFile(script, old);
        {
            FileDialogAnswerer answers({script});
            run.trigger("ffnnen1");
        }
        QTextCursor end = run.memo()->textCursor();
        end.movePosition(QTextCursor::End);
        end.movePosition(QTextCursor::PreviousBlock);
        end.movePosition(QTextCursor::EndOfBlock);
        end.insertText(QStringLiteral(" \u03A9"));
        {
            MessageBoxCatcher boxes(QMessageBox::No);
            run.trigger("Speichern1");
            QCOMPARE(boxes.seen.size(), 1);
            QVERIFY2(boxes.seen.first().contains(QStringLiteral("„\u03A9“ in Zeile 2")), qPrintable(boxes.seen.first()));
        }
        QCOMPARE(readAll(script), old);
        {
            MessageBoxCatcher boxes(QMessageBox::Yes);
            run.trigger("Speichern1");
            QCOMPARE(boxes.seen.size(), 1);
        }
        QCOMPARE(readAll(script), QByteArray("<?php echo 'Gr\xc3\xbc\xc3\x9f" "e';\r\n// \xe2\x82\xac \xce\xa9\r\n"));
        // UTF-8 from now on: the next save asks nothing.
        run.memo()->insertPlainText(QStringLiteral("x"));
        MessageBoxCatcher none;
        run.trigger("Speichern1");
        QCOMPARE(none.seen, QStringList());
    }

    // A line added to a file with mixed line ends takes the file's most frequent one; the rest
    // stay as they were.
    void addedLineTakesTheMostFrequentLineEnd()
    {
        Run run;
        QVERIFY(run.shown);
        const QString script = run.file(QStringLiteral("gemischt.php"));
        writeFile(script, "<?php // a\r\necho 1;\necho 2;\r\n");
        {
            FileDialogAnswerer answers({script});
            run.trigger("ffnnen1");
        }
        QVERIFY(waitUntil([&] { return run.paneText() == QStringLiteral("12"); }, 10000));
        QVERIFY(run.focusMemo());
        QTextCursor c(run.memo()->document()->findBlockByNumber(1));
        c.movePosition(QTextCursor::EndOfBlock);
        run.memo()->setTextCursor(c);
        QTest::keyClick(run.memo(), Qt::Key_Return);
        QTest::keyClicks(run.memo(), QStringLiteral("echo 3;"));
        run.trigger("Speichern1");
        QCOMPARE(readAll(script), QByteArray("<?php // a\r\necho 1;\r\necho 3;\necho 2;\r\n"));
    }

    // Open that fails keeps the document it had: Save still writes where that came from.
    void failedOpenKeepsTheSaveTarget()
    {
        Run run;
        QVERIFY(run.shown);
        const QString first = run.file(QStringLiteral("erste.php"));
        writeFile(first, "eins");
        {
            FileDialogAnswerer answers({first});
            run.trigger("ffnnen1");
        }
        const QString fifo = run.file(QStringLiteral("rohr.php"));
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        MessageBoxCatcher boxes;
        // An open that waited on the pipe or read the device without end would never return.
        for (const QString &bad : {run.file(QStringLiteral("fehlt.php")), fifo, QStringLiteral("/dev/zero")}) {
            FileDialogAnswerer answers({bad});
            run.trigger("ffnnen1");
        }
        QCOMPARE(boxes.seen.size(), 3);
        QCOMPARE(boxes.seen.at(1), QStringLiteral("Korlith|Cannot open file %1.").arg(fifo));
        QCOMPARE(boxes.seen.at(2), QStringLiteral("Korlith|Cannot open file /dev/zero."));
        QCOMPARE(Form1->caption(), QStringLiteral("Korlith 2005 - erste.php"));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("eins"));
        run.memo()->setPlainText(QStringLiteral("zwei"));
        run.trigger("Speichern1");
        QCOMPARE(readAll(first), QByteArray("zwei"));
        struct stat st;
        QVERIFY(lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    }

    // Save As onto a pipe or a device: refused, and the target stays what it was.
    void savingOntoSomethingElseIsRefused()
    {
        Run run;
        QVERIFY(run.shown);
        run.memo()->setPlainText(QStringLiteral("text"));
        const QString fifo = run.file(QStringLiteral("rohr.php"));
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        MessageBoxCatcher boxes;
        for (const QString &target : {fifo, QStringLiteral("/dev/null")}) {
            FileDialogAnswerer answers({target});
            run.trigger("Speichernunter1");
        }
        QCOMPARE(boxes.seen, QStringList({QStringLiteral("Korlith|Cannot create file %1.").arg(fifo),
                                          QStringLiteral("Korlith|Cannot create file /dev/null.")}));
        QCOMPARE(boxes.reasons, QStringList({QStringLiteral("Unter diesem Namen steht eine benannte Pipe, keine Datei."),
                                             QStringLiteral("Unter diesem Namen steht ein Gerät, keine Datei.")}));
        struct stat st;
        QVERIFY(lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QVERIFY(stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("text"));

        // The preview's own files, under any spelling: the next run would overwrite the document.
        boxes.seen.clear();
        run.trigger("Jetztaktualisieren1");
        const QString scratch = run.env.scratchDir();
        const QString other = scratch + QStringLiteral("../") + QDir(scratch).dirName() + QStringLiteral("//Output.htm");
        for (const QString &target : {scratch + QStringLiteral("temp.php"), other, scratch + QStringLiteral("neu.php")}) {
            FileDialogAnswerer answers({target});
            run.trigger("Speichernunter1");
        }
        QCOMPARE(boxes.seen.size(), 3);
        for (const QString &seen : boxes.seen)
            QVERIFY2(seen.contains(QStringLiteral("in einem anderen Ordner")), qPrintable(seen));
        QCOMPARE(readAll(scratch + QStringLiteral("temp.php")), QByteArray("text"));
        QVERIFY(!QFile::exists(scratch + QStringLiteral("neu.php")));
        QCOMPARE(Form1->caption(), QStringLiteral("Korlith 2005"));
    }

    // Files beyond what the editor lays out are refused before they are read whole, with the
    // reason; the editor keeps its document and the file stays as it was.
    void oversizedFilesAreRefused()
    {
        Run run;
        QVERIFY(run.shown);
        run.memo()->setPlainText(QStringLiteral("bleibt"));
        const QString sparse = run.file(QStringLiteral("riesig.php"));
        {
            QFile f(sparse);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(1ll << 30));
        }
        const QString wide = run.file(QStringLiteral("breit.php"));
        writeFile(wide, "<?php\n" + QByteArray(MaxLineBytes + 1, 'x') + "\n");
        // The last line counts too, also without a line end.
        const QString tail = run.file(QStringLiteral("schluss.php"));
        writeFile(tail, "<?php\n" + QByteArray(MaxLineBytes + 1, 'x'));
        MessageBoxCatcher boxes;
        for (const QString &file : {sparse, wide, tail}) {
            FileDialogAnswerer answers({file});
            run.trigger("ffnnen1");
        }
        QCOMPARE(boxes.seen.size(), 3);
        QVERIFY2(boxes.seen.at(0).contains(QStringLiteral("öffnet Dateien bis 128 MB")), qPrintable(boxes.seen.at(0)));
        QVERIFY2(boxes.seen.at(1).contains(QStringLiteral("so lange Zeilen")), qPrintable(boxes.seen.at(1).left(300)));
        QVERIFY2(boxes.seen.at(2).contains(QStringLiteral("so lange Zeilen")), qPrintable(boxes.seen.at(2).left(300)));
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("bleibt"));
        QCOMPARE(QFileInfo(sparse).size(), 1ll << 30);
        QCOMPARE(QFileInfo(wide).size(), MaxLineBytes + 8);
        // A long line within the bound opens.
        writeFile(wide, "<?php\n// " + QByteArray(20000, 'y') + "\n");
        {
            FileDialogAnswerer answers({wide});
            run.trigger("ffnnen1");
        }
        QCOMPARE(run.memo()->document()->blockCount(), 3);
    }

    // Writable files that leave no room for a temporary file beside them are saved all the same:
    // a name at the length limit, a folder the user may not write to.
    void savingWhereNoTemporaryFileFits()
    {
        Run run;
        QVERIFY(run.shown);
        const QString longName = run.file(QString(251, QLatin1Char('n')) + QStringLiteral(".php"));
        writeFile(longName, "alt");
        {
            FileDialogAnswerer answers({longName});
            run.trigger("ffnnen1");
        }
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("alt"));
        run.memo()->setPlainText(QStringLiteral("neu"));
        MessageBoxCatcher boxes;
        run.trigger("Speichern1");
        QVERIFY2(boxes.seen.isEmpty(), qPrintable(boxes.seen.join(QLatin1Char('\n'))));
        QCOMPARE(readAll(longName), QByteArray("neu"));
        // A new file under such a name.
        const QString newName = run.file(QString(251, QLatin1Char('m')) + QStringLiteral(".php"));
        {
            FileDialogAnswerer answers({newName});
            run.trigger("Speichernunter1");
        }
        QCOMPARE(readAll(newName), QByteArray("neu"));
        QCOMPARE(boxes.seen, QStringList());
        QCOMPARE(QDir(run.env.root()).entryList({QStringLiteral(".korlith-*")}, QDir::Files | QDir::Hidden), QStringList());

        // A folder closed to new files: for root only the immutable flag closes it.
        const QString closed = run.file(QStringLiteral("zu"));
        QVERIFY(QDir().mkdir(closed));
        const QString inside = closed + QStringLiteral("/datei.php");
        writeFile(inside, "alt");
        const bool root = geteuid() == 0;
        if (root ? QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), closed}) != 0
                 : !QFile::setPermissions(closed, QFile::ReadOwner | QFile::ExeOwner))
            QSKIP("this file system cannot close a folder to new files");
        const auto reopen = qScopeGuard([&] {
            if (root)
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), closed});
            else
                QFile::setPermissions(closed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        QVERIFY(!QFile(closed + QStringLiteral("/probe")).open(QIODevice::WriteOnly));
        {
            FileDialogAnswerer answers({inside});
            run.trigger("ffnnen1");
        }
        run.memo()->setPlainText(QStringLiteral("neu im geschlossenen Ordner"));
        run.trigger("Speichern1");
        QCOMPARE(boxes.seen, QStringList());
        QCOMPARE(readAll(inside), QByteArray("neu im geschlossenen Ordner"));
        QCOMPARE(QDir(closed).entryList(QDir::Files | QDir::Hidden), QStringList(QStringLiteral("datei.php")));
    }

    // A save keeps the file's owner, group and other names.
    void savingKeepsOwnerAndOtherNames()
    {
        Run run;
        QVERIFY(run.shown);
        const QString script = run.file(QStringLiteral("geteilt.php"));
        const QString other = run.file(QStringLiteral("zweiter-name.php"));
        writeFile(script, "alt");
        QVERIFY(link(QFile::encodeName(script).constData(), QFile::encodeName(other).constData()) == 0);
        const bool root = geteuid() == 0;
        if (root)
            QVERIFY(chown(QFile::encodeName(script).constData(), 65534, 65534) == 0);
        {
            FileDialogAnswerer answers({script});
            run.trigger("ffnnen1");
        }
        run.memo()->setPlainText(QStringLiteral("neu"));
        run.trigger("Speichern1");
        QCOMPARE(readAll(script), QByteArray("neu"));
        QCOMPARE(readAll(other), QByteArray("neu"));
        // One name alone: written through a new file, which gets the old owner.
        QVERIFY(QFile::remove(other));
        run.memo()->setPlainText(QStringLiteral("neuer"));
        run.trigger("Speichern1");
        QCOMPARE(readAll(script), QByteArray("neuer"));
        struct stat st;
        QVERIFY(stat(QFile::encodeName(script).constData(), &st) == 0);
        if (root) {
            QCOMPARE(int(st.st_uid), 65534);
            QCOMPARE(int(st.st_gid), 65534);
        }
        QVERIFY(QDir(run.env.root()).entryList({QStringLiteral("*korlith-*")}).isEmpty());
    }

    // A file-size limit below the document: the write fails, nothing is lost.
    void fileSizeLimitFailsTheWriteOnly()
    {
        Run run;
        QVERIFY(run.shown);
        const QString script = run.file(QStringLiteral("gross.php"));
        writeFile(script, "klein");
        {
            FileDialogAnswerer answers({script});
            run.trigger("ffnnen1");
        }
        const QString big(20000, QLatin1Char('x'));
        run.memo()->setPlainText(big);
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = {8192, old.rlim_max};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        QStringList seen;
        {
            MessageBoxCatcher boxes;
            run.trigger("Speichern1");
            run.trigger("Jetztaktualisieren1");
            seen = boxes.seen;
        }
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(seen, QStringList({QStringLiteral("Korlith|Cannot create file %1.").arg(script),
                                    QStringLiteral("Korlith|Cannot create file %1temp.php.").arg(run.env.scratchDir())}));
        QCOMPARE(readAll(script), QByteArray("klein"));
        QCOMPARE(run.memo()->toPlainText(), big);
    }

    // A file handed over at start, as a file manager hands over a download: shown with its
    // caption, but its code runs only when the user asks for it.
    void fileNamedAtStartRunsOnlyOnF5()
    {
        Run run;
        QVERIFY(run.shown);
        const QString marker = run.file(QStringLiteral("gelaufen.txt"));
        const QString script = run.file(QStringLiteral("rechnung.php"));
        const QByteArray code = "<?php file_put_contents('" + marker.toUtf8() + "', 'x', FILE_APPEND); echo 'lief';\n";
        writeFile(script, code);
        Form1->OpenAtStart(script);
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - rechnung.php"));
        QCOMPARE(run.memo()->toPlainText(), QString::fromUtf8(code));
        QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("F5 führt das Skript aus."));
        // Nothing ran, not even for a moment: no scratch script, no interpreter.
        const QString scratchScript = run.env.scratchDir() + QStringLiteral("temp.php");
        QStringList running;
        QVERIFY2(!waitUntil([&] { return QFile::exists(scratchScript) || !(running = runningPreviews()).isEmpty(); }, 1000),
                 qPrintable(running.join(QLatin1Char(' '))));
        // The run by F5 is the only one: a run at start would have written its mark first.
        run.trigger("Jetztaktualisieren1");
        QVERIFY(waitUntil([&] { return run.paneText() == QStringLiteral("lief"); }, 10000));
        QCOMPARE(readAll(marker), QByteArray("x"));
        QCOMPARE(Form1->statusBar()->currentMessage(), QString());

        // A file that cannot be read: the error box, and nothing to run.
        MessageBoxCatcher boxes;
        Form1->OpenAtStart(run.file(QStringLiteral("fehlt.php")));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - rechnung.php"));
        QCOMPARE(Form1->statusBar()->currentMessage(), QString());
    }

    // Save As starts in the folder of the document opened last, as Open does.
    void saveAsStartsInTheDocumentsFolder()
    {
        Run run;
        QVERIFY(run.shown);
        const QString sub = run.file(QStringLiteral("woanders"));
        QVERIFY(QDir().mkpath(sub));
        writeFile(sub + QStringLiteral("/a.php"), "a");
        {
            FileDialogAnswerer answers({sub + QStringLiteral("/a.php")});
            run.trigger("ffnnen1");
        }
        FileDialogAnswerer cancel({QString()});
        run.trigger("Speichernunter1");
        QCOMPARE(cancel.folders, QStringList(sub));
    }

    // A file whose name is not UTF-8 opens from the dialog and from the command line, and is
    // saved under its own bytes.
    void fileNamesThatAreNotUtf8()
    {
        Run run;
        QVERIFY(run.shown);
        const QByteArray raw = QFile::encodeName(run.env.root()) + "/gr\xfc\xdf\x65.php";
        {
            const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            QVERIFY(::write(fd, "<?php echo 'eins';", 18) == 18);
            ::close(fd);
        }
        const auto rawText = [&] {
            QByteArray text(64, 0);
            const int fd = ::open(raw.constData(), O_RDONLY);
            const ssize_t n = fd >= 0 ? ::read(fd, text.data(), text.size()) : -1;
            if (fd >= 0)
                ::close(fd);
            return text.left(std::max<ssize_t>(0, n));
        };
        // The dialog lists it with U+FFFD for the two odd bytes, as Qt reads every name.
        const QString listed = QFile::decodeName(raw);
        QVERIFY(listed.contains(QChar::ReplacementCharacter));
        {
            FileDialogAnswerer answers({listed});
            run.trigger("ffnnen1");
        }
        QCOMPARE(run.memo()->toPlainText(), QStringLiteral("<?php echo 'eins';"));
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Korlith 2005 - gr\uFFFD\uFFFDe.php"));
        run.memo()->setPlainText(QStringLiteral("<?php echo 'zwei';"));
        MessageBoxCatcher boxes;
        run.trigger("Speichern1");
        QCOMPARE(boxes.seen, QStringList());
        QCOMPARE(rawText(), QByteArray("<?php echo 'zwei';"));
        // No second file beside it under a name of Qt's reading, no temporary file left.
        QByteArrayList names;
        if (DIR *dir = opendir(QFile::encodeName(run.env.root()).constData())) {
            while (const dirent *entry = readdir(dir))
                if (QByteArray(entry->d_name).endsWith(".php") || QByteArray(entry->d_name).startsWith(".korlith"))
                    names << entry->d_name;
            closedir(dir);
        }
        QCOMPARE(names, QByteArrayList({"gr\xfc\xdf\x65.php"}));

        // The real program, given the name by its bytes as a file manager gives it (this
        // window's caption first goes back, so that only the program's can match).
        run.trigger("Neu1");
        QVERIFY(waitUntil([] { return windowsNamed(QStringLiteral("Korlith 2005 - gr\uFFFD\uFFFDe.php")).isEmpty(); }));
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.setProcessEnvironment(userEnvironment());
        program.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf '%s/gr\\374\\337e.php' \"$1\")\""),
                                             QStringLiteral(KORLITH_BUILD_DIR "/korlith"), run.env.root()});
        QVERIFY(program.waitForStarted());
        QStringList windows;
        QVERIFY(waitUntil([&] { return !(windows = windowsNamed(QStringLiteral("Korlith 2005 - gr\uFFFD\uFFFDe.php"))).isEmpty(); }, 30000));
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QVERIFY(waitUntil([] { return windowsNamed(QStringLiteral("Korlith 2005 - gr\uFFFD\uFFFDe.php")).isEmpty(); }));

        // The same name relative to the folder the program starts in, as from a terminal.
        QProcess relative;
        relative.setProcessChannelMode(QProcess::ForwardedChannels);
        relative.setProcessEnvironment(userEnvironment());
        relative.setWorkingDirectory(run.env.root());
        relative.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf 'gr\\374\\337e.php')\""),
                                              QStringLiteral(KORLITH_BUILD_DIR "/korlith")});
        QVERIFY(relative.waitForStarted());
        QVERIFY(waitUntil([&] { return !windowsNamed(QStringLiteral("Korlith 2005 - gr\uFFFD\uFFFDe.php")).isEmpty(); }, 30000));
        relative.terminate();
        QVERIFY(relative.waitForFinished(10000));
    }

    // A Windows-1252 document runs in its own encoding and line ends, under its own name, as
    // `php FILE` runs it; its file stays as it is.
    void windows1252DocumentRunsAsItsFile()
    {
        Run run;
        QVERIFY(run.shown);
        const QString file = run.file(QStringLiteral("alt.php"));
        const QByteArray bytes = "<?php echo strlen(\"\xfc\"), '|', basename(__FILE__), '|',\r\n  strlen(file_get_contents(__FILE__));\r\n";
        writeFile(file, bytes);
        {
            FileDialogAnswerer answers({file});
            run.trigger("ffnnen1");
        }
        const QString expected = QStringLiteral("1|alt.php|%1").arg(bytes.size());
        QVERIFY(waitUntil([&] { return run.paneText() == expected; }, 10000));
        QCOMPARE(readAll(file), bytes);
    }

    // A page from a project folder: its includes, stylesheet and image come from that folder,
    // never from outside it, and the interpreter runs there.
    void previewRunsWhereTheDocumentLives()
    {
        Run run;
        QVERIFY(run.shown);
        // A text without a file runs in a folder of its own: its script's.
        run.memo()->setPlainText(QStringLiteral("<?php echo getcwd(), '|', __DIR__;"));
        run.trigger("Jetztaktualisieren1");
        const QString own = run.env.scratchDir().chopped(1);
        QVERIFY(waitUntil([&] { return run.paneText() == own + QLatin1Char('|') + own; }, 10000));

        const QString project = run.file(QStringLiteral("projekt"));
        QVERIFY(QDir().mkpath(project + QStringLiteral("/css")));
        writeFile(project + QStringLiteral("/header.php"), "<?php echo 'Kopf aus header.php';");
        writeFile(project + QStringLiteral("/css/style.css"), "p { color: rgb(0, 128, 0); }");
        QImage logo(7, 5, QImage::Format_RGB32);
        logo.fill(Qt::red);
        QVERIFY(logo.save(project + QStringLiteral("/logo.png")));
        QVERIFY(logo.save(run.file(QStringLiteral("draussen.png"))));
        // Beside the scratch folder, where "../" from the output page leads.
        QVERIFY(logo.save(run.env.tmpDir() + QStringLiteral("/tmp.png")));
        QVERIFY(QFile::link(run.file(QStringLiteral("draussen.png")), project + QStringLiteral("/link.png")));
        const QString page = project + QStringLiteral("/index.php");
        writeFile(page, "<?php require __DIR__ . '/header.php'; ?>\n<link rel='stylesheet' href='css/style.css'>"
                        "<p id='p'><?php echo basename(getcwd()); ?></p><img id='logo' src='logo.png'>"
                        "<img id='out' src='../draussen.png'><img id='link' src='link.png'>"
                        "<img id='up' src='css/../../draussen.png'><img id='tmp' src='../tmp.png'>"
                        "<img id='abs' src='file://" + QFile::encodeName(run.file(QStringLiteral("draussen.png"))) + "'>"
                        "<script>fetch('file:///etc/hostname').then(r => r.text()).then(t => document.title = 'gelesen ' + t,"
                        " () => document.title = 'verwehrt');</script>");
        {
            FileDialogAnswerer answers({page});
            run.trigger("ffnnen1");
        }
        QVERIFY(waitUntil([&] {
            const QString shown = run.paneText();
            return shown.startsWith(QStringLiteral("Kopf aus header.php")) && shown.contains(QStringLiteral("projekt"));
        }, 10000));
        auto js = [](const QString &script) { return pageScript(Form1->WebBrowser1(), script); };
        QVERIFY(waitUntil([&] { return js(QStringLiteral("document.images.length && Array.from(document.images).every(i => i.complete)")).toBool(); }));
        QCOMPARE(js(QStringLiteral("getComputedStyle(document.getElementById('p')).color")).toString(),
                 QStringLiteral("rgb(0, 128, 0)"));
        QCOMPARE(js(QStringLiteral("document.getElementById('logo').naturalWidth")).toInt(), 7);
        // Out of the folder, by a way up or by a link: nothing.
        QCOMPARE(js(QStringLiteral("document.getElementById('out').naturalWidth")).toInt(), 0);
        QCOMPARE(js(QStringLiteral("document.getElementById('up').naturalWidth")).toInt(), 0);
        QCOMPARE(js(QStringLiteral("document.getElementById('link').naturalWidth")).toInt(), 0);
        // Nor anywhere else on the disk, by an image or by the page's script.
        QCOMPARE(js(QStringLiteral("document.getElementById('tmp').naturalWidth")).toInt(), 0);
        QCOMPARE(js(QStringLiteral("document.getElementById('abs').naturalWidth")).toInt(), 0);
        QVERIFY(waitUntil([&] { return Form1->WebBrowser1()->title().startsWith(QStringLiteral("verwehrt"))
                                       || Form1->WebBrowser1()->title().startsWith(QStringLiteral("gelesen")); }));
        QCOMPARE(Form1->WebBrowser1()->title(), QStringLiteral("verwehrt"));
        // The program's own folder is unchanged.
        QVERIFY(QDir::currentPath() != project);
    }

    // Ending the program with the search dialogs on screen, one of them active.
    void closingWithTheSearchDialogsOpen()
    {
        {
            Run run;
            QVERIFY(run.shown);
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
