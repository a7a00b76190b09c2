// Benchmark: the commands that walk a whole document: printing a long line and a large
// listing to PDF, replace-all with many replacements, and select-all (Ctrl+A) and New in a
// large document, which should not walk it at all.
#include "BenchSupport.h"
#include "FindDialog.h"
#include "ReplaceDialog.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPrinter>
#include <cstdio>
#include <algorithm>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace {

double printMs(const QString &text, const QString &pdf)
{
    Form1->memo1()->setPlainText(text);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QElapsedTimer t;
    t.start();
    Form1->PrintDlg1Accept(printer);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

// The peak (VmHWM) starts again from the memory in use now.
void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

int main(int argc, char *argv[])
{
    BenchProgram program(argc, argv);
    const QString pdf = program.dir.path() + QStringLiteral("/listing.pdf");

    for (const int length : {2000, 10000, 20000})
        std::printf("print one line of %6d characters:   %8.0f ms\n", length,
                    printMs(QString(length, QLatin1Char('x')), pdf));
    QString listing;
    const QString line = QStringLiteral("    echo \"<tr><td>\" . $zeile['name'] . \"</td></tr>\"; // Kommentar\n");
    for (const int mb : {5, 10}) {
        while (listing.size() < mb * 1000 * 1000)
            listing += line;
        std::printf("print a listing of %4.1f MB:          %8.0f ms\n", listing.size() / 1e6, printMs(listing, pdf));
    }

    // Replace-all of a short word in a large document, as the dialog does it, and in one line
    // of 200,000 characters.
    auto timeReplaceAll = [](const QString &text, const char *what) {
        QPlainTextEdit *memo = Form1->memo1();
        memo->setPlainText(text);
        Form1->activateWindow();
        memo->setFocus();
        QElapsedTimer focus;
        focus.start();
        while (!memo->hasFocus() && focus.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        memo->moveCursor(QTextCursor::Start);
        Form1->SearchReplace1Execute();
        Form1->ReplaceDialog1->setTexts(QStringLiteral("wert"), QStringLiteral("zahl"));
        QElapsedTimer t;
        t.start();
        Form1->SearchReplace1Replace(true);
        const double ms = t.nsecsElapsed() / 1e6;
        const qsizetype replaced = text.count(QStringLiteral("wert"));
        std::printf("replace-all, %s, %lld replacements: %8.0f ms\n", what, qint64(replaced), ms);
    };
    for (const double mb : {3.2, 9.2}) {
        QString text;
        // One replacement in about 46 characters, as in a long listing of ordinary code.
        const QString piece = QStringLiteral("$wert = strlen($text) + 1; // int, eine Zeile\n");
        while (text.size() < mb * 1000 * 1000)
            text += piece;
        timeReplaceAll(text, qPrintable(QStringLiteral("%1 MB").arg(text.size() / 1e6, 0, 'f', 1)));
    }
    timeReplaceAll(QStringLiteral("wert").repeated(50000), "one line of 200,000 characters");

    // The find dialog's line search in 8 MB: a word on the first line costs what it reads;
    // one on the last line reads everything, beside one copy of the document's whole text
    // (what a search that copies the text first pays before it begins).
    {
        QString text = QStringLiteral("<?php $erstes = 1;\n");
        const QString piece = QStringLiteral("    echo \"<tr><td>\" . $zeile['name'] . \"</td></tr>\";\n");
        while (text.size() < 8 * 1000 * 1000)
            text += piece;
        text += QStringLiteral("$letztes = 2;\n");
        QPlainTextEdit *memo = Form1->memo1();
        memo->setPlainText(text);
        QCoreApplication::processEvents();
        const auto findMs = [&](const QString &word) {
            Form1->FindDialog1->setFindText(word);
            memo->moveCursor(QTextCursor::Start);
            QElapsedTimer t;
            t.start();
            Form1->SearchFind1FindDialogFind();
            const double ms = t.nsecsElapsed() / 1e6;
            return memo->textCursor().selectedText() == word ? ms : -1.0;
        };
        const double first = findMs(QStringLiteral("erstes"));
        const double last = findMs(QStringLiteral("letztes"));
        QElapsedTimer t;
        t.start();
        const qsizetype copied = memo->document()->toRawText().size();
        const double copyMs = t.nsecsElapsed() / 1e6;
        std::printf("find, 8 MB: first line %8.3f ms, last line %8.1f ms; one copy of the text (%lld characters) "
                    "%8.1f ms; last line / copy %5.2f\n",
                    first, last, qint64(copied), copyMs, last / copyMs);
    }

    // Open (as a file named at the start: loaded, not run), its peak memory per byte of the
    // file, then Ctrl+A as the keyboard gives it, and New, in documents of 10 and 50 MB.
    for (const int mb : {10, 50}) {
        const QString file = QDir::tempPath() + QStringLiteral("/bench-%1mb.php").arg(mb);
        qint64 bytes = 0;
        {
            QString text;
            text.reserve(mb * 1000 * 1000 + 100);
            const QString piece = QStringLiteral("<?php echo 'Zeile mit etwas Text, damit sie lang genug wird'; ?>\n");
            while (text.size() < mb * 1000 * 1000)
                text += piece;
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly))
                return 1;
            bytes = out.write(text.toUtf8());
        }
        Form1->Neu1Click();
        QCoreApplication::processEvents();
        // What the documents before left free goes back first, so that the peak is this one's.
        malloc_trim(0);
        const qint64 before = memoryKb(QStringLiteral("/proc/self/status"), "VmRSS:");
        resetPeakMemory();
        QElapsedTimer open;
        open.start();
        Form1->OpenAtStart(file);
        QCoreApplication::processEvents();
        const double openMs = open.nsecsElapsed() / 1e6;
        const double perByte = (memoryKb(QStringLiteral("/proc/self/status"), "VmHWM:") - before) * 1024.0 / double(bytes);
        std::printf("%2d MB: open %8.0f ms, peak memory %5.1f bytes per byte of the file\n", mb, openMs, perByte);
        // Save, against its limit: the same bytes written to a new file beside it, synced and
        // renamed over another, as the save itself does; in turns, medians and ranges.
        {
            QFile in(file);
            const QByteArray same = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
            const QByteArray bare = QFile::encodeName(file + QStringLiteral(".bare"));
            std::vector<double> saves, writes, copies;
            for (int round = 0; round < 7; ++round) {
                QElapsedTimer w;
                w.start();
                Form1->Speichern1Click();
                saves.push_back(w.nsecsElapsed() / 1e6);
                // The least any save of the editor's text costs beyond the write: the text once
                // out of its document (the widget's own toPlainText() costs more).
                w.restart();
                if (Form1->memo1()->document()->toRawText().isEmpty())
                    return 1;
                copies.push_back(w.nsecsElapsed() / 1e6);
                w.restart();
                const QByteArray temp = bare + ".tmp";
                const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                for (qsizetype done = 0; fd >= 0 && done < same.size();) {
                    const ssize_t n = ::write(fd, same.constData() + done, size_t(same.size() - done));
                    if (n <= 0)
                        break;
                    done += n;
                }
                ::fsync(fd);
                ::close(fd);
                ::rename(temp.constData(), bare.constData());
                writes.push_back(w.nsecsElapsed() / 1e6);
            }
            ::unlink(bare.constData());
            std::printf("%2d MB: save median %6.1f ms (%.1f-%.1f), write + fsync + rename %6.1f ms (%.1f-%.1f), ratio %4.2f\n",
                        mb, median(saves), *std::min_element(saves.cbegin(), saves.cend()),
                        *std::max_element(saves.cbegin(), saves.cend()), median(writes),
                        *std::min_element(writes.cbegin(), writes.cend()), *std::max_element(writes.cbegin(), writes.cend()),
                        median(saves) / median(writes));
            std::printf("%2d MB: the text out of the editor's document alone %5.1f ms (%.1f-%.1f); save / (write + that) %4.2f\n",
                        mb, median(copies), *std::min_element(copies.cbegin(), copies.cend()),
                        *std::max_element(copies.cbegin(), copies.cend()), median(saves) / (median(writes) + median(copies)));
        }
        QPlainTextEdit *memo = Form1->memo1();
        memo->setFocus();
        QCoreApplication::processEvents();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
        QElapsedTimer t;
        t.start();
        QCoreApplication::sendEvent(memo, &press);
        QCoreApplication::sendEvent(memo, &release);
        QCoreApplication::processEvents();
        const double selectMs = t.nsecsElapsed() / 1e6;
        t.restart();
        Form1->Neu1Click();
        QCoreApplication::processEvents();
        const double newMs = t.nsecsElapsed() / 1e6;
        std::printf("%2d MB: select all (Ctrl+A) %8.1f ms, New %8.1f ms\n", mb, selectMs, newMs);
        QFile::remove(file);
    }
    return 0;
}
