// Benchmark: from a program's start to its window painted on the screen, seen from outside:
// Korlith, FeatherPad (where it is installed), a bare QPlainTextEdit program of its own and a
// bare web view, each started anew several times in turn in one run; and from Korlith's start,
// with a run asked for at once, to its page loaded.
// With --files, it also gives Korlith (and another editor, --other) large files to open. "Painted": the screen has changed, against a picture taken before the start, in
// at least 95 % of the pixels it has changed in once the window has settled.
#include "BenchSupport.h"
#include "WebBrowser.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QThread>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The stand-in web view, started by the benchmark itself with this option.
int webViewWindow(int argc, char **argv)
{
    platform::prepareWebEngine();
    QApplication app(argc, argv);
    QWebEngineView view;
    view.resize(800, 600);
    view.setHtml(QStringLiteral("<p>Seite</p>"));
    view.show();
    return app.exec();
}

// Korlith's windows, and a run asked for at once: prints a line when its page has loaded.
int firstPreview(int argc, char **argv)
{
    BenchProgram program(argc, argv);
    Form1->memo1()->setPlainText(QStringLiteral("<?php echo 'Erste Vorschau';"));
    // The page's text is asked for until it is there: the load may end before this asks.
    auto *poll = new QTimer(&program.app);
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (!Form1->WebBrowser1()->engineStarted())
            return;
        Form1->WebBrowser1()->page()->runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                                                    [poll](const QVariant &text) {
            if (poll->isActive() && text.toString() == QLatin1String("Erste Vorschau")) {
                poll->stop();
                std::printf("loaded\n");
                std::fflush(stdout);
            }
        });
    });
    poll->start(5);
    QTimer::singleShot(0, [] { Form1->Aktualisieren(); });
    return program.app.exec();
}

int changedPixels(const QImage &before, const QImage &now)
{
    int changed = 0;
    for (int y = 0; y < now.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(before.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(now.constScanLine(y));
        for (int x = 0; x < now.width(); ++x)
            changed += a[x] != b[x];
    }
    return changed;
}

QImage screenPicture()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// Milliseconds from the start to the first line the program prints.
// Stops a program and waits until the screen shows what it showed before its start.
void stopWatched(QProcess &child, const QImage &before)
{
    child.kill();
    child.waitForFinished(5000);
    QElapsedTimer gone;
    gone.start();
    while (changedPixels(before, screenPicture()) > 0 && gone.elapsed() < 3000)
        QThread::msleep(20);
}

// The screen shows what it showed before the start again when this returns: the next
// program's window is watched against an empty screen.
double timeToFirstLine(const QString &program, const QStringList &args)
{
    const QImage before = screenPicture();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    child.start(program, args);
    const bool said = child.waitForReadyRead(20000) || child.canReadLine();
    const double ms = clock.nsecsElapsed() / 1e6;
    stopWatched(child, before);
    return said ? ms : -1;
}

// A program started while the screen is watched: the picture from before its start, and its
// clock. At the end it is stopped, and the screen shows the picture from before again.
struct WatchedStart
{
    QImage before = screenPicture();
    QProcess child;
    QElapsedTimer clock;

    WatchedStart(const QString &program, const QStringList &args, const QProcessEnvironment &env)
    {
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.setStandardOutputFile(QProcess::nullDevice());
        clock.start();
        child.start(program, args);
    }
    ~WatchedStart() { stopWatched(child, before); }
    double now() const { return clock.nsecsElapsed() / 1e6; }
};

// Milliseconds from the start to the painted window; -1 when it never painted.
double timeToPaint(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    std::vector<std::pair<double, int>> seen;
    {
        WatchedStart start(program, args, env);
        // Four seconds settle every window; the samples say when it got there.
        while (start.clock.elapsed() < 4000) {
            const double at = start.now();
            seen.emplace_back(at, changedPixels(start.before, screenPicture()));
            QThread::msleep(2);
        }
    }
    const int settled = seen.back().second;
    if (settled == 0)
        return -1;
    for (const auto &[at, changed] : seen)
        if (changed >= settled * 95 / 100)
            return at;
    return -1;
}

// The CPU time all threads of a process have had so far, in nanoseconds.
qint64 cpuNs(qint64 pid)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

// A file given to a program at its start: how long until it is done with it (the screen has
// stopped changing, a blinking caret aside, and no thread of the program is busy: a program
// that loads in the background changes little on the screen meanwhile, and one that loads
// before it paints again changes nothing), and the peak memory it took.
struct Opened
{
    double ms = -1;
    qint64 peakKb = 0;
};

Opened timeToSettle(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    WatchedStart start(program, args, env);
    QImage last = start.before;
    Opened out;
    double lastChange = -1, lastBusy = 0, sampledAt = 0;
    qint64 cpuBefore = 0;
    // Done: three seconds without a change of more than a caret's few hundred pixels and
    // without a stretch of more than half a core's time.
    while (start.clock.elapsed() < 300000) {
        const QImage now = screenPicture();
        const double at = start.now();
        if (changedPixels(last, now) > 400) {
            lastChange = at;
            last = now;
        }
        const qint64 cpu = cpuNs(start.child.processId());
        if ((cpu - cpuBefore) / 1e6 > (at - sampledAt) / 2)
            lastBusy = at;
        cpuBefore = cpu;
        sampledAt = at;
        out.ms = std::max(lastChange, lastBusy);
        if (lastChange >= 0 && at - out.ms > 3000)
            break;
        QThread::msleep(5);
    }
    out.peakKb = memoryKb(QStringLiteral("/proc/%1/status").arg(start.child.processId()), "VmHWM:");
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && QByteArray(argv[1]) == "--webview")
        return webViewWindow(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--first-preview")
        return firstPreview(argc, argv);

    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 5;
    // --files "10 50 100" [--other PROGRAM]: open files of so many MB, beside another editor.
    QList<int> fileSizes;
    QString other;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--files")
            for (const QByteArray &mb : QByteArray(argv[i + 1]).split(' '))
                if (mb.toInt() > 0)
                    fileSizes << mb.toInt();
        if (QByteArray(argv[i]) == "--other")
            other = QString::fromLocal8Bit(argv[i + 1]);
    }
    const QString self = QCoreApplication::applicationFilePath();
    const QString korlith = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absoluteFilePath(QStringLiteral("korlith"));

    // Korlith configured, without a document: its ordinary start.
    QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/config/Korlith"));
    QFile reg(home.path() + QStringLiteral("/config/Korlith/HKEY_LOCAL_MACHINE.reg"));
    if (!reg.open(QIODevice::WriteOnly))
        return 1;
    reg.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\"\n\"Interpreter\"=\"/usr/bin/php\"\n\n");
    reg.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.path() + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/cache"));
    env.insert(QStringLiteral("TMPDIR"), home.path());

    const QString plainProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_plain_editor");
    const QString featherpad = QStandardPaths::findExecutable(QStringLiteral("featherpad"));
    std::vector<double> k, feather, plain, web, preview;
    const QByteArray loadBefore = machineLoad();
    for (int i = 0; i < rounds; ++i) {
        preview.push_back(timeToFirstLine(self, {QStringLiteral("--first-preview")}));
        k.push_back(timeToPaint(korlith, {}, env));
        if (!featherpad.isEmpty())
            feather.push_back(timeToPaint(featherpad, {QStringLiteral("--standalone")}, env));
        plain.push_back(timeToPaint(plainProgram, {}, env));
        web.push_back(timeToPaint(self, {QStringLiteral("--webview")}, env));
    }
    std::printf("%d rounds, the programs in turn; load %s before, %s after; medians and ranges\n", rounds,
                loadBefore.constData(), machineLoad().constData());
    auto line = [](const char *what, const std::vector<double> &v) {
        std::printf("%-44s %s ms\n", what, spread(v, 0).constData());
    };
    line("Korlith, start to painted window:", k);
    if (!feather.empty())
        line("FeatherPad, start to painted window:", feather);
    line("bare QPlainTextEdit program:", plain);
    line("bare web view window:", web);
    if (!feather.empty())
        std::printf("Korlith against FeatherPad:                  ×%.2f\n", median(k) / median(feather));
    std::printf("Korlith after the bare QPlainTextEdit program: %+.0f ms\n", median(k) - median(plain));
    line("start to a run's first page loaded:", preview);

    for (const int mb : fileSizes) {
        const QString file = home.path() + QStringLiteral("/gross-%1.php").arg(mb);
        const QString empty = home.path() + QStringLiteral("/leer.php");
        qint64 bytes = 0;
        {
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly))
                return 1;
            const QByteArray piece = "<?php echo 'Zeile mit etwas Text, damit sie lang genug wird'; ?>\n";
            while (bytes < qint64(mb) * 1000 * 1000)
                bytes += out.write(piece);
            QFile e(empty);
            if (!e.open(QIODevice::WriteOnly))
                return 1;
        }
        QList<std::pair<QString, QString>> programs{{QStringLiteral("Korlith"), korlith}};
        if (!other.isEmpty())
            programs.append({QFileInfo(other).fileName(), other});
        for (const auto &[name, path] : programs) {
            const Opened base = timeToSettle(path, {empty}, env);
            const Opened opened = timeToSettle(path, {file}, env);
            std::printf("%-10s opens %3d MB: %7.0f ms to the settled window, peak memory %5.1f bytes per byte "
                        "(%lld MB, %lld MB with an empty file)\n",
                        qPrintable(name), mb, opened.ms, (opened.peakKb - base.peakKb) * 1024.0 / double(bytes),
                        opened.peakKb / 1024, base.peakKb / 1024);
        }
        QFile::remove(file);
    }
    return 0;
}
