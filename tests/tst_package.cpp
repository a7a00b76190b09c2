// The Debian package: built from the build folder, its files, its dependencies and lintian's
// verdict; the unpacked program finds its help file and shows a file named on its command line,
// without running it and without a word on the terminal.
#include "TestSupport.h"
#include "platform/HelpViewer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr, int timeoutMs = 300000)
{
    // Its temporary files (lintian leaves some) in a folder that goes with it.
    QTemporaryDir tmp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tmp.path());
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAll());
}

// For a failure's message: the titled windows, and whether the program runs and what it said.
QString shownWindows()
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("."),
                                          QStringLiteral("getwindowname"), QStringLiteral("%@")}, nullptr, 10000);
}

QString programState(QProcess &p)
{
    return QStringLiteral(" | running: %1, exit %2 | ").arg(p.state() == QProcess::Running).arg(p.exitCode())
           + QString::fromLocal8Bit(p.readAll()).right(2000);
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QString m_deb;
    // This suite has no window of its own. Without one and without a window manager, the X
    // server resets whenever the last program closes, and a program that connects meanwhile
    // fails; a desktop always keeps clients. One that only listens stands in for them.
    QProcess m_client;

private slots:
    void initTestCase()
    {
        m_client.setStandardOutputFile(QProcess::nullDevice());
        m_client.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-spy"), QStringLiteral("_NET_ACTIVE_WINDOW")});
        QVERIFY(m_client.waitForStarted());
    }

    void cleanupTestCase()
    {
        m_client.kill();
        m_client.waitForFinished();
    }

    void entryAndMetainfoValidate()
    {
        int code = 0;
        QString out = run(QStringLiteral("desktop-file-validate"), {QStringLiteral(KORLITH_SOURCE_DIR "/data/korlith.desktop")}, &code);
        QVERIFY2(code == 0 && !out.contains(QLatin1String("error")), qPrintable(out));
        out = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                   QStringLiteral(KORLITH_SOURCE_DIR "/data/korlith.metainfo.xml")}, &code);
        QVERIFY2(code == 0, qPrintable(out));
        const QByteArray entry = readAll(QStringLiteral(KORLITH_SOURCE_DIR "/data/korlith.desktop"));
        QVERIFY(entry.contains("\nExec=korlith %f\n"));
        QVERIFY(entry.contains("\nMimeType=application/x-php;text/x-php;\n"));
        QVERIFY(entry.contains("\nIcon=korlith\n"));
    }

    void packageBuildsWithItsFilesAndDependencies()
    {
        int code = 0;
        const QString out = run(QStringLiteral("cmake"), {QStringLiteral("--build"), QStringLiteral(KORLITH_BUILD_DIR),
                                                          QStringLiteral("--target"), QStringLiteral("package")}, &code);
        QVERIFY2(code == 0, qPrintable(out));
        const QStringList debs = QDir(QStringLiteral(KORLITH_BUILD_DIR)).entryList({QStringLiteral("korlith_*.deb")});
        QCOMPARE(debs.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^korlith_1\\.0\\.0\\.0_[a-z0-9]+\\.deb$")).match(debs.first()).hasMatch(),
                 qPrintable(debs.first()));
        m_deb = QStringLiteral(KORLITH_BUILD_DIR "/") + debs.first();

        const QString files = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_deb});
        for (const char *path : {"./usr/bin/korlith", "./usr/lib/korlith/korlith-run", "./usr/lib/korlith/preload/korlith-hold.so",
                                 "./usr/share/korlith/Korlith.chm",
                                 "./usr/share/applications/korlith.desktop",
                                 "./usr/share/metainfo/korlith.metainfo.xml",
                                 "./usr/share/icons/hicolor/scalable/apps/korlith.svg",
                                 "./usr/share/icons/hicolor/48x48/apps/korlith.png",
                                 "./usr/share/icons/hicolor/256x256/apps/korlith.png"})
            QVERIFY2(files.contains(QLatin1String(path) + QLatin1Char('\n')), path);
        QVERIFY(!files.contains(QLatin1String("/bin/Korlith.chm")));
        // Its documents, as Debian keeps them.
        for (const char *path : {"./usr/share/man/man1/korlith.1.gz", "./usr/share/doc/korlith/copyright",
                                 "./usr/share/doc/korlith/changelog.gz"})
            QVERIFY2(files.contains(QLatin1String(path) + QLatin1Char('\n')), path);
        // What the program needs, also where recommended packages are not installed: the German
        // standard dialogs and the toolbar's icons.
        const QString depends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Depends")});
        for (const char *dependency : {"php-cli", "bubblewrap", "xchm", "xdg-utils", "qt6-translations-l10n", "adwaita-icon-theme",
                                       "libqt6widgets6", "libqt6webenginecore6", "libcurl4"})
            QVERIFY2(depends.contains(QLatin1String(dependency)), qPrintable(depends));
        const QString recommends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Recommends")});
        QVERIFY2(recommends.contains(QLatin1String("qt6-wayland")), qPrintable(recommends));
    }

    // Debian's own judge of packages finds nothing to complain of, warnings included.
    void lintianFindsNothing()
    {
        if (m_deb.isEmpty())
            QSKIP("no package was built");
        int code = 0;
        const QString out = run(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error,warning"),
                                                            QStringLiteral("--no-tag-display-limit"), m_deb}, &code);
        QVERIFY2(code == 0, qPrintable(out));
        const QRegularExpression complaint(QStringLiteral("^[EW]: "), QRegularExpression::MultilineOption);
        QVERIFY2(!complaint.match(out).hasMatch(), qPrintable(out));
    }

    void unpackedProgramFindsItsFilesAndOpensItsArgument()
    {
        if (m_deb.isEmpty())
            QSKIP("no package was built");
        QTemporaryDir root;
        int code = 0;
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, root.path()}, &code);
        QCOMPARE(code, 0);
        const QString bin = root.path() + QStringLiteral("/usr/bin");
        // Installed: the help file under ../share/korlith; in the build folder: beside the program.
        QCOMPARE(platform::helpFileBeside(bin), root.path() + QStringLiteral("/usr/share/korlith/Korlith.chm"));
        QCOMPARE(platform::helpFileBeside(QStringLiteral(KORLITH_BUILD_DIR)), QStringLiteral(KORLITH_BUILD_DIR "/Korlith.chm"));

        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        // A downloaded script, handed over by a file manager: shown, not run.
        const QString script = env.root() + QStringLiteral("/aus dem Dateimanager.php");
        const QString marker = env.root() + QStringLiteral("/gelaufen");
        writeFile(script, "<?php touch('" + marker.toUtf8() + "');");
        // A login gives every session a private runtime folder; without one Qt says so.
        QTemporaryDir runtime;
        QProcessEnvironment session = userEnvironment();
        if (!session.contains(QStringLiteral("XDG_RUNTIME_DIR"))) {
            QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            session.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        }
        QProcess program;
        program.setProcessEnvironment(session);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(bin + QStringLiteral("/korlith"), {script});
        // Only the package's own supervisor: none lies beside this suite's program.
        QVERIFY(!QFile::exists(bin + QStringLiteral("/korlith-run")));
        QVERIFY(program.waitForStarted());
        QStringList windows;
        QVERIFY2(waitUntil([&] { return !(windows = windowsNamed(QStringLiteral("Korlith 2005 - aus dem Dateimanager.php"))).isEmpty(); }, 30000),
                 qPrintable(shownWindows() + programState(program)));
        // Its own icon on the window.
        const QString icon = run(QStringLiteral("xprop"), {QStringLiteral("-id"), windows.first(), QStringLiteral("_NET_WM_ICON")});
        QVERIFY2(icon.contains(QLatin1String("Icon (16 x 16)")) || icon.contains(QLatin1String("_NET_WM_ICON(CARDINAL)")),
                 qPrintable(icon.left(200)));
        QVERIFY(!QFile::exists(marker));
        // F5 runs it, through the run's supervisor where the package put it.
        QVERIFY(pressKeysIn(windows.first(), QStringLiteral("F5")));
        QVERIFY(waitUntil([&] { return QFile::exists(marker); }, 10000));
        // The next run's interpreter starts up before its key, with the library where the
        // package put it.
        QVERIFY(waitUntil([] { return interpreterHolds(); }, 10000));
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        // A start where nothing is wrong says nothing on the terminal.
        const QByteArray said = program.readAll();
        QVERIFY2(said.isEmpty(), said.constData());

        // A missing file: the Open command's error box, and the program starts empty.
        QProcess missing;
        missing.setProcessChannelMode(QProcess::MergedChannels);
        missing.start(bin + QStringLiteral("/korlith"), {env.root() + QStringLiteral("/fehlt.php")});
        QVERIFY(missing.waitForStarted());
        QVERIFY2(waitUntil([&] { return !windowsNamed(QStringLiteral("Korlith")).isEmpty(); }, 30000),
                 qPrintable(shownWindows() + programState(missing)));
        QVERIFY(waitUntil([&] { return !windowsNamed(QStringLiteral("Korlith 2005")).isEmpty(); }, 10000));
        missing.terminate();
        QVERIFY(missing.waitForFinished(10000));
    }

    // Started where no window system is named (a terminal over ssh, a text console), the program
    // says in one line what it needs, and ends.
    void withoutADisplayItSaysWhatItNeeds()
    {
        QProcessEnvironment console = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            console.remove(QString::fromLatin1(name));
        QProcess program;
        program.setProcessEnvironment(console);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(KORLITH_BUILD_DIR "/korlith"), {});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(program.readAll()),
                 QStringLiteral("Korlith braucht eine grafische Sitzung (X11 oder Wayland): es ist keine Anzeige gesetzt "
                                "(DISPLAY, WAYLAND_DISPLAY).\n"));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
