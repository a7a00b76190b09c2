// A listing sent to real print queues of a private CUPS scheduler: an accepting queue gets the
// job, and a queue that refuses it (cupsreject) reaches the error box instead of looking printed.
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "platform/ErrorBox.h"

#include <QPlainTextEdit>
#include <csignal>
#include <QDialog>
#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QPushButton>
#include <QProgressDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// A CUPS program; the administrator's ones lie outside a user's search path.
QString cupsProgram(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")}) : found;
}

// Runs a CUPS command against the private scheduler; its output, or nothing when it failed.
std::optional<QString> cups(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(cupsProgram(program), arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished();
        return std::nullopt;
    }
    return QString::fromLocal8Bit(p.readAll());
}

// The five windows of one program run.
struct Run
{
    ProgramForms forms;
};

} // namespace

class TestPrintQueue : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_cupsd;

private slots:
    void initTestCase()
    {
        // The scheduler's own folders, on a socket of its own: nothing of the machine's CUPS. Its
        // queues run as the lp user where it starts as root, else as the user who starts it.
        QString user = QStringLiteral("lp"), group = QStringLiteral("lp"), systemGroup = QStringLiteral("root");
        if (geteuid() != 0) {
            const passwd *pw = getpwuid(geteuid());
            const struct group *gr = getgrgid(getegid());
            QVERIFY(pw && gr);
            user = QString::fromLocal8Bit(pw->pw_name);
            group = systemGroup = QString::fromLocal8Bit(gr->gr_name);
        }
        const QString d = m_dir.path();
        QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                     | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        for (const char *sub : {"spool", "tmp", "cache", "state", "log"})
            QVERIFY(QDir(d).mkpath(QString::fromLatin1(sub)));
        const QString socket = d + QStringLiteral("/cups.sock");
        writeFile(d + QStringLiteral("/cupsd.conf"),
                  ("Listen " + socket + "\nLogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                   "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                   "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n")
                      .toUtf8());
        writeFile(d + QStringLiteral("/cups-files.conf"),
                  ("ServerRoot " + d + "\nRequestRoot " + d + "/spool\nTempDir " + d + "/tmp\nCacheDir " + d
                   + "/cache\nStateDir " + d + "/state\nErrorLog " + d + "/log/error_log\nAccessLog " + d
                   + "/log/access_log\nPageLog " + d + "/log/page_log\nFileDevice Yes\nUser " + user + "\nGroup " + group
                   + "\nSystemGroup " + systemGroup + "\n")
                      .toUtf8());
        qputenv("CUPS_SERVER", socket.toLocal8Bit());
        m_cupsd.setProcessChannelMode(QProcess::ForwardedChannels);
        m_cupsd.start(cupsProgram(QStringLiteral("cupsd")), {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/cupsd.conf"),
                                                QStringLiteral("-s"), d + QStringLiteral("/cups-files.conf")});
        QVERIFY2(m_cupsd.waitForStarted(), "cupsd (cups-daemon) is needed");
        // lpstat -r succeeds either way; only its words tell.
        QVERIFY(waitUntil([] { return cups(QStringLiteral("lpstat"), {QStringLiteral("-r")}) == QStringLiteral("scheduler is running\n"); },
                          30000));
        for (const char *queue : {"annehmen", "ablehnen"})
            QVERIFY(cups(QStringLiteral("lpadmin"), {QStringLiteral("-p"), QString::fromLatin1(queue), QStringLiteral("-E"),
                                                     QStringLiteral("-v"), QStringLiteral("file:///dev/null"),
                                                     QStringLiteral("-m"), QStringLiteral("raw")}));
        QVERIFY(cups(QStringLiteral("cupsreject"), {QStringLiteral("ablehnen")}));
        // A stopped printer keeps its jobs in the queue, where a cancelled one can be seen.
        QVERIFY(cups(QStringLiteral("lpadmin"), {QStringLiteral("-p"), QStringLiteral("angehalten"), QStringLiteral("-E"),
                                                 QStringLiteral("-v"), QStringLiteral("file:///dev/null"),
                                                 QStringLiteral("-m"), QStringLiteral("raw")}));
        QVERIFY(cups(QStringLiteral("cupsdisable"), {QStringLiteral("angehalten")}));
    }

    void cleanupTestCase()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished();
            }
        }
    }

    // An accepting queue gets the job; one that refuses it reaches the error box, with the
    // scheduler's reason, and has no job.
    void listingToAQueue_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<bool>("accepts");
        QTest::newRow("accepting") << QStringLiteral("annehmen") << true;
        QTest::newRow("refusing") << QStringLiteral("ablehnen") << false;
    }

    void listingToAQueue()
    {
        QFETCH(QString, queue);
        QFETCH(bool, accepts);
        IsolatedEnvironment env;
        Run run;
        Form1->memo1()->setPlainText(QStringLiteral("<?php echo 'gedruckt';"));
        QPrinter printer(QPrinterInfo::printerInfo(queue), QPrinter::HighResolution);
        QCOMPARE(printer.printerName(), queue);
        MessageBoxCatcher boxes;
        QCOMPARE(platform::guarded([&] { Form1->PrintDlg1Accept(printer); }), accepts);
        const auto jobs = [&] {
            return cups(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), queue})
                .value_or(QStringLiteral("failed"));
        };
        if (accepts) {
            QCOMPARE(boxes.seen, QStringList());
            QVERIFY(waitUntil([&] { return jobs().contains(queue + QLatin1Char('-')); }, 30000));
            return;
        }
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY2(boxes.seen.first().startsWith(QLatin1String("Korlith|Printer is not currently printing (")),
                 qPrintable(boxes.seen.first()));
        QVERIFY2(boxes.seen.first().contains(QLatin1String("accept"), Qt::CaseInsensitive), qPrintable(boxes.seen.first()));
        QCOMPARE(jobs(), QString());
    }

    // A scheduler that does not answer (stopped) is reported, and the window's events go on
    // while it is asked; once it answers again, Ctrl+P opens the print dialog.
    void silentSchedulerIsReported()
    {
        IsolatedEnvironment env;
        Run run;
        const pid_t cupsd = pid_t(m_cupsd.processId());
        QCOMPARE(::kill(cupsd, SIGSTOP), 0);
        auto resume = qScopeGuard([cupsd] { ::kill(cupsd, SIGCONT); });
        int turns = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++turns; });
        tick.start(0);
        {
            MessageBoxCatcher boxes;
            Form1->action("PrintDlg1")->trigger();
            tick.stop();
            QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Der Druckdienst antwortet nicht.")));
        }
        QVERIFY(turns > 10);
        resume.dismiss();
        ::kill(cupsd, SIGCONT);
        bool dialogShown = false;
        QTimer look; // not a wait of its own: the question to the scheduler runs its own loop
        connect(&look, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *dialog = qobject_cast<QDialog *>(w);
                    dialog && dialog->isVisible() && dialog->objectName() == QLatin1String("PrintDlg1")) {
                    dialogShown = true;
                    dialog->reject();
                }
        });
        look.start(20);
        Form1->action("PrintDlg1")->trigger();
        QVERIFY(dialogShown);
    }

    // A scheduler that stops answering while the print dialog is open: "Drucken" reports it,
    // the window's events go on, and no job is left to hand over.
    void schedulerSilentOnceTheDialogIsOpen()
    {
        IsolatedEnvironment env;
        Run run;
        Form1->memo1()->setPlainText(QStringLiteral("<?php echo 'gedruckt';"));
        const pid_t cupsd = pid_t(m_cupsd.processId());
        auto resume = qScopeGuard([cupsd] { ::kill(cupsd, SIGCONT); });
        int turns = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++turns; });
        QString printer;
        int turnsWhileAccepting = 0;
        QTimer look; // the dialog waits in a loop of its own
        connect(&look, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *dialog = qobject_cast<QPrintDialog *>(w);
                    dialog && dialog->isVisible() && dialog->objectName() == QLatin1String("PrintDlg1")) {
                    look.stop();
                    printer = dialog->printer()->printerName();
                    ::kill(cupsd, SIGSTOP);
                    tick.start(0);
                    dialog->accept();
                    turnsWhileAccepting = turns;
                }
        });
        look.start(20);
        MessageBoxCatcher boxes;
        Form1->action("PrintDlg1")->trigger();
        tick.stop();
        QVERIFY2(!printer.isEmpty(), "the print dialog did not come");
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|Der Druckdienst antwortet nicht.")));
        QVERIFY(turnsWhileAccepting > 10);
        resume.dismiss();
        ::kill(cupsd, SIGCONT);
        QCOMPARE(cups(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), printer})
                     .value_or(QStringLiteral("failed")),
                 QString());
    }

    // A listing the user stops is taken back from the queue it was handed to.
    void stoppedListingLeavesNoJob()
    {
        IsolatedEnvironment env;
        Run run;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form1->memo1()->setPlainText(longListingText());
        const QString queue = QStringLiteral("angehalten");
        QPrinter printer(QPrinterInfo::printerInfo(queue), QPrinter::HighResolution);
        QTimer poll;
        bool stopped = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *progress = Form1->findChild<QProgressDialog *>(QStringLiteral("PrintProgress"));
            if (!stopped && progress && progress->isVisible() && progress->value() > 0) {
                stopped = true;
                QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
            }
        });
        poll.start(20);
        MessageBoxCatcher boxes;
        QVERIFY(platform::guarded([&] { Form1->PrintDlg1Accept(printer); }));
        QVERIFY(stopped);
        QCOMPARE(boxes.seen, QStringList());
        const auto jobs = [&](const char *which) {
            return cups(QStringLiteral("lpstat"), {QStringLiteral("-W"), QString::fromLatin1(which), QStringLiteral("-o"), queue})
                .value_or(QStringLiteral("failed"));
        };
        // Handed over, then cancelled: among the ended jobs, none waiting.
        QVERIFY(waitUntil([&] { return jobs("completed").contains(queue + QLatin1Char('-')); }, 30000));
        QCOMPARE(jobs("not-completed"), QString());
    }
};

KORLITH_TEST_MAIN(TestPrintQueue)
#include "tst_printqueue.moc"
