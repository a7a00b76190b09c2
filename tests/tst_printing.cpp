// The printer text device's layout, a listing printed to PDF, and the help viewer started.
#include "TestMain.h"
#include "TestSupport.h"
#include "platform/ErrorBox.h"
#include "Unit1.h"
#include "core/PrinterText.h"
#include "platform/HelpViewer.h"
#include "platform/ProgramEnd.h"

#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <csignal>
#include <unistd.h>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// Text 10 units a character, 20 high; records what is drawn where.
struct RecordingSurface : TextSurface
{
    int width = 1000, height = 500;
    QStringList drawn; // "page:x,y:text"
    int page = 1;
    int pageWidth() const override { return width; }
    int pageHeight() const override { return height; }
    mutable qint64 measured = 0; // characters measured, to see how the work grows
    int textWidth(const QString &t) const override
    {
        measured += t.size();
        return 10 * int(t.size());
    }
    int fontHeight() const override { return 20; }
    int charAdvance() const override { return 10; }
    void drawText(int x, int y, const QString &t) override { drawn << QStringLiteral("%1:%2,%3:%4").arg(page).arg(x).arg(y).arg(t); }
    void newPage() override { ++page; }
};

QStringList listing(const QString &text, RecordingSurface &s)
{
    PrinterTextDevice prn(s);
    prn.write(QStringLiteral("\r\n"));
    prn.writeln();
    for (const QString &line : text.split(QLatin1Char('\n')))
        prn.writeln(QString(10, QLatin1Char(' ')) + line);
    prn.close();
    return s.drawn;
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void listingLayout()
    {
        RecordingSurface s;
        PrinterTextDevice empty(s);
        empty.write(QStringLiteral("\r\n"));
        empty.writeln();
        empty.close();
        QVERIFY(s.drawn.isEmpty());

        // Two empty lines of the font's height, then lines of height + 2.
        RecordingSurface t;
        QCOMPARE(listing(QStringLiteral("<?php\necho 1;"), t),
                 QStringList({"1:0,40:          <?php", "1:0,62:          echo 1;"}));

        // An empty editor line still prints its ten blanks.
        RecordingSurface e;
        QCOMPARE(listing(QStringLiteral("a\n\nb"), e),
                 QStringList({"1:0,40:          a", "1:0,62:          ", "1:0,84:          b"}));
    }

    void tabsAdvanceToMultiplesOfEightWidths()
    {
        RecordingSurface s;
        // Ten blanks end at 100; the next multiple of 80 beyond 101 is 160.
        QCOMPARE(listing(QStringLiteral("\tx\ty"), s),
                 QStringList({"1:0,40:          ", "1:160,40:x", "1:240,40:y"}));
        // Right at a tab stop - 1 the tab still moves on: 79 + 1 = 80 is not beyond, so 160.
        RecordingSurface t;
        PrinterTextDevice prn(t);
        prn.write(QStringLiteral("1234567\t|"));
        prn.close();
        QCOMPARE(t.drawn, QStringList({"1:0,0:1234567", "1:80,0:|"}));
        // A tab that would end beyond the right edge starts a new line.
        RecordingSurface n;
        n.width = 150;
        PrinterTextDevice narrow(n);
        narrow.write(QStringLiteral("123456789\tx"));
        narrow.close();
        QCOMPARE(n.drawn, QStringList({"1:0,0:123456789", "1:0,22:x"}));
    }

    void longLinesBreakAtCharacters()
    {
        RecordingSurface s;
        s.width = 200; // 20 characters a line
        PrinterTextDevice prn(s);
        prn.write(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ\r\n"));
        prn.write(QStringLiteral("xyz\rpart"));
        prn.close();
        QCOMPARE(s.drawn, QStringList({"1:0,0:abcdefghijklmnopqrst", "1:0,22:uvwxyz0123456789ABCD", "1:0,44:EFGHIJ",
                                       "1:0,66:xyz", "1:30,66:part"}));
    }

    void pagesBreakAtTheRule()
    {
        RecordingSurface s;
        s.height = 200; // a line starting beyond 200 - 2 * 22 = 156 begins a new page
        PrinterTextDevice prn(s);
        for (int i = 0; i < 9; ++i)
            prn.writeln(QString::number(i));
        prn.write(QStringLiteral("vor\fnach"));
        prn.close();
        QCOMPARE(s.drawn, QStringList({"1:0,0:0", "1:0,22:1", "1:0,44:2", "1:0,66:3", "1:0,88:4", "1:0,110:5",
                                       "1:0,132:6", "1:0,154:7", "2:0,0:8", "2:0,22:vor", "3:0,0:nach"}));
    }

    // A line of 20,000 characters breaks into page-wide parts, measuring each character a
    // bounded number of times rather than once for every shorter try.
    void longLineBreaksInLinearWork()
    {
        RecordingSurface s;
        s.height = 1000000;
        PrinterTextDevice prn(s);
        const QString line(20000, QLatin1Char('x'));
        prn.writeln(line);
        prn.close();
        QCOMPARE(s.drawn.size(), 200);
        for (const QString &d : s.drawn)
            QCOMPARE(d.section(QLatin1Char(':'), 2).size(), 100);
        QVERIFY2(s.measured < 10 * line.size(), qPrintable(QString::number(s.measured)));
    }

    void listingPrintsToPdf()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        Form1->memo1()->setPlainText(QStringLiteral("<?php\n\techo 'Grüße';\n?>"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = env.root() + QStringLiteral("/listing.pdf");
        printer.setOutputFileName(pdf);
        Form1->PrintDlg1Accept(printer);
        forms.destroy();
        QVERIFY(QFileInfo(pdf).size() > 0);

        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished());
        const QByteArray infoText = info.readAllStandardOutput();
        QVERIFY2(QRegularExpression(QStringLiteral("Title: +Korlith 2005\n")).match(QString::fromUtf8(infoText)).hasMatch(),
                 infoText.constData());

        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished());
        const QString html = QString::fromUtf8(text.readAllStandardOutput());
        QRegularExpression word(QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]+)</word>"));
        QList<QPair<QPointF, QString>> words;
        for (auto it = word.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            words << qMakePair(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()), m.captured(3));
        }
        QCOMPARE(words.size(), 4);
        QCOMPARE(words[0].second, QStringLiteral("&lt;?php"));
        QCOMPARE(words[1].second, QStringLiteral("echo"));
        QCOMPARE(words[2].second, QStringLiteral("&apos;Grüße&apos;;"));
        QCOMPARE(words[3].second, QStringLiteral("?&gt;"));
        // Ten blanks before each line; the tab moves "echo" further in; two empty lines above.
        const double lineGap = words[3].first.y() - words[0].first.y();
        QVERIFY(lineGap > 0);
        QVERIFY(words[0].first.y() > lineGap);
        QVERIFY(words[1].first.x() > words[0].first.x() + 5);
        QCOMPARE(qRound(words[3].first.x()), qRound(words[0].first.x()));
    }

    // The listing ends with the last line: a final line break prints no blank line after it.
    void listingEndsWithTheLastLine()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        const QString blanks(10, QLatin1Char(' '));
        for (const auto &[text, lines] : {std::pair<const char *, int>{"a\nb\n", 2}, {"a\nb", 2}, {"a\n\n", 2},
                                          {"", 0}}) {
            Form1->memo1()->setPlainText(QString::fromLatin1(text));
            RecordingSurface s;
            PrinterTextDevice prn(s);
            Form1->writeListing(prn);
            QStringList printed;
            for (const QString &d : s.drawn)
                if (d.section(QLatin1Char(':'), 2).startsWith(blanks))
                    printed << d.section(QLatin1Char(':'), 2).mid(10);
            QCOMPARE(printed.size(), lines);
        }
    }

    // Columns after tabs line up with the characters of other lines, and a failed file is told.
    void tabsAlignAndFailuresAreReported()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        // Ten blanks, then a tab to column 16; the other line reaches column 16 by characters.
        Form1->memo1()->setPlainText(QStringLiteral("\tA\n12345 B\n\t\tC\n1234567890123 D"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = env.root() + QStringLiteral("/tabs.pdf");
        printer.setOutputFileName(pdf);
        Form1->PrintDlg1Accept(printer);
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished());
        const QString html = QString::fromUtf8(text.readAllStandardOutput());
        QMap<QString, double> x;
        QRegularExpression word(QStringLiteral("xMin=\"([0-9.]+)\"[^>]*>([^<]+)</word>"));
        for (auto it = word.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            x[m.captured(2)] = m.captured(1).toDouble();
        }
        QVERIFY2(qAbs(x.value(QStringLiteral("A")) - x.value(QStringLiteral("B"))) < 0.5, qPrintable(html));
        QVERIFY2(qAbs(x.value(QStringLiteral("C")) - x.value(QStringLiteral("D"))) < 0.5, qPrintable(html));

        MessageBoxCatcher boxes;
        QPrinter full(QPrinter::HighResolution);
        full.setOutputFormat(QPrinter::PdfFormat);
        full.setOutputFileName(QStringLiteral("/dev/full"));
        platform::guarded([&] { Form1->PrintDlg1Accept(full); });
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Cannot create file /dev/full.")));
    }

    void helpStartsTheViewerWithTheFullPath()
    {
        IsolatedEnvironment env;
        const QString bin = env.root() + QStringLiteral("/bin");
        QDir().mkpath(bin);
        const QString record = env.root() + QStringLiteral("/viewer.txt");
        for (const char *name : {"xchm", "xdg-open"}) {
            const QString path = bin + QLatin1Char('/') + QLatin1String(name);
            writeFile(path, "#!/bin/sh\nprintf '%s|%s\\n' \"${0##*/}\" \"$*\" >> '" + record.toLocal8Bit() + "'\n");
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit());
        QVERIFY(TForm1::helpFilePath().endsWith(QStringLiteral("/Korlith.chm")));
        platform::showHelpFile(QStringLiteral("/opt/Korlith Programm/Korlith.chm"));
        QVERIFY(waitUntil([&] { return readAll(record).count('\n') == 1; }));
        QFile::remove(bin + QStringLiteral("/xchm"));
        platform::showHelpFile(QStringLiteral("/x/Korlith.chm"));
        QVERIFY(waitUntil([&] { return readAll(record).count('\n') == 2; }));
        // F1 in the main window opens the program's own help file.
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        Form1->show();
        Form1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        QTest::keyClick(Form1->memo1(), Qt::Key_F1);
        QVERIFY(waitUntil([&] { return readAll(record).count('\n') == 3; }));
        qputenv("PATH", oldPath);
        QCOMPARE(QString::fromUtf8(readAll(record)),
                 QStringLiteral("xchm|/opt/Korlith Programm/Korlith.chm\nxdg-open|/x/Korlith.chm\nxdg-open|%1\n")
                     .arg(TForm1::helpFilePath()));
    }

    void helpFileIsBuiltNextToTheProgram()
    {
        const QString chm = QStringLiteral(KORLITH_BUILD_DIR "/Korlith.chm");
        QVERIFY2(QFileInfo(chm).size() > 1000, qPrintable(chm));
        QCOMPARE(readAll(chm).left(4), QByteArray("ITSF"));

        // What the viewer gets out of it: pages it renders (xchm shows a page named .htm as
        // source) in the code page of the file's language, Windows-1252 for German.
        QTemporaryDir out;
        QProcess chmls;
        chmls.start(QStringLiteral("chmls"), {QStringLiteral("extractall"), chm, out.path()});
        QVERIFY(chmls.waitForFinished(20000));
        const QStringList pages = QDir(out.path()).entryList({QStringLiteral("*.htm*")}, QDir::Files);
        QVERIFY2(pages.size() >= 5, qPrintable(pages.join(QLatin1Char(' '))));
        for (const QString &page : pages)
            QVERIFY2(page.endsWith(QLatin1String(".html")), qPrintable(page));
        const QByteArray contents = readAll(out.path() + QStringLiteral("/Korlith.hhc"));
        QVERIFY(contents.contains("value=\"index.html\""));
        QVERIFY(!contents.contains(".htm\""));
        const QByteArray menus = readAll(out.path() + QStringLiteral("/menues.html"));
        // "Menüs" as one byte 0xFC; no UTF-8 sequence that would show as "MenÃ¼s".
        QVERIFY(contents.contains("Men\xFCs"));
        QVERIFY(menus.contains("Men\xFCs"));
        QVERIFY(!menus.contains("\xC3\xBC") && !contents.contains("\xC3"));
        QVERIFY(menus.contains("charset=windows-1252"));
    }

    // A long listing shows its progress and stops at Abbrechen; no listing goes out then. Last
    // in the suite: its second half ends the program's event loops by a signal, as a logout does.
    void longListingCanBeStopped()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form1->memo1()->setPlainText(longListingText());
        const QString pdf = env.root() + QStringLiteral("/lang.pdf");
        auto printWhile = [&](const std::function<void(QProgressDialog *)> &onProgress) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            bool seen = false;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                auto *progress = Form1->findChild<QProgressDialog *>(QStringLiteral("PrintProgress"));
                if (!seen && progress && progress->isVisible() && progress->value() > 0) {
                    seen = true;
                    onProgress(progress);
                }
            });
            poll.start(20);
            MessageBoxCatcher boxes;
            platform::guarded([&] { Form1->PrintDlg1Accept(printer); });
            return seen && boxes.seen.isEmpty();
        };
        QVERIFY(printWhile([](QProgressDialog *progress) {
            QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
        }));
        QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("Der Druck wurde abgebrochen."));
        QVERIFY(!QFile::exists(pdf));

        // The program's end by a signal during a listing ends the listing too.
        platform::endInterpretersWithTheProgram(*QCoreApplication::instance());
        QVERIFY(printWhile([](QProgressDialog *) { ::kill(getpid(), SIGTERM); }));
        QVERIFY(platform::endRequested());
        QVERIFY(!QFile::exists(pdf));
    }
};

KORLITH_TEST_MAIN(TestPrinting)
#include "tst_printing.moc"
