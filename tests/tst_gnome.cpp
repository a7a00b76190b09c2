// Korlith on GNOME, as Debian 12 has it: the real program in a GNOME Shell session, its
// windows where the user looks for them and with the keyboard, as the window manager reports.
#include "TestMain.h"
#include "TestSupport.h"
#include "core/RecoveryStore.h"
#include "platform/WindowSystem.h"

#include <QProcess>
#include <QRect>
#include <QRegularExpression>

namespace {

QString output(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QList<int> numbers(const QString &text)
{
    QList<int> found;
    static const QRegularExpression number(QStringLiteral("-?\\d+"));
    for (auto it = number.globalMatch(text); it.hasNext();)
        found << it.next().captured().toInt();
    return found;
}

// A window's frame as the window manager drew it: the window and its borders and title bar.
QRect frameOf(const QString &id)
{
    const QString info = output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    const auto value = [&](const char *name) {
        const QRegularExpression re(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return re.match(info).captured(1).toInt();
    };
    QList<int> extents = numbers(output(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")}));
    if (extents.size() != 4)
        extents = {0, 0, 0, 0};
    return QRect(value("Absolute upper-left X") - extents[0], value("Absolute upper-left Y") - extents[2],
                 value("Width") + extents[0] + extents[1], value("Height") + extents[2] + extents[3]);
}

QRect workArea()
{
    const QList<int> area = numbers(output(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_WORKAREA")}));
    return area.size() >= 4 ? QRect(area[0], area[1], area[2], area[3]) : QRect();
}

QString activeWindow()
{
    return output(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).trimmed();
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Over its window: its frame inside the window's and its centre in the window's middle third.
bool over(const QRect &dialog, const QRect &window)
{
    const QPoint c = dialog.center();
    return window.contains(dialog) && qAbs(c.x() - window.center().x()) <= window.width() / 6
        && qAbs(c.y() - window.center().y()) <= window.height() / 6;
}

} // namespace

class TestGnome : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME")))
            QSKIP("runs in a GNOME session (scripts/gnome-session.sh)");
    }

    // On GNOME the windows go through X, unless the user chose a platform for Qt.
    void platformRule_data()
    {
        QTest::addColumn<QByteArray>("desktop");
        QTest::addColumn<bool>("x11");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("byHand");
        QTest::addColumn<QByteArray>("platform");
        QTest::newRow("GNOME") << QByteArray("GNOME") << true << true << false << QByteArray("xcb");
        QTest::newRow("Ubuntu's GNOME") << QByteArray("ubuntu:GNOME") << true << true << false << QByteArray("xcb");
        QTest::newRow("chosen by hand") << QByteArray("GNOME") << true << true << true << QByteArray();
        QTest::newRow("GNOME without X") << QByteArray("GNOME") << false << true << false << QByteArray();
        QTest::newRow("GNOME on X") << QByteArray("GNOME") << true << false << false << QByteArray();
        QTest::newRow("KDE") << QByteArray("KDE") << true << true << false << QByteArray();
        QTest::newRow("a name that has GNOME in it") << QByteArray("GNOMEish") << true << true << false << QByteArray();
        QTest::newRow("no desktop") << QByteArray() << true << true << false << QByteArray();
    }
    void platformRule()
    {
        QFETCH(QByteArray, desktop);
        QFETCH(bool, x11);
        QFETCH(bool, wayland);
        QFETCH(bool, byHand);
        QFETCH(QByteArray, platform);
        const char *chosen = platform::platformFor(desktop.isEmpty() ? nullptr : desktop.constData(), x11, wayland, byHand);
        QCOMPARE(QByteArray(chosen), platform);
    }

    // The start's questions and the settings, one after the other: each over the main window,
    // on top and with the keyboard; the main window centred in the work area.
    void windowsSitWhereTheUserLooks()
    {
        IsolatedEnvironment env; // no settings: the first-run prompt is due
        {
            RecoveryStore gone;
            QVERIFY(gone.write({QStringLiteral("bleibt"), {}, QStringLiteral("Korlith 2005"), {}, {}}));
        }
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.setProcessEnvironment(userEnvironment());
        program.start(QStringLiteral(KORLITH_BUILD_DIR "/korlith"), {});
        QVERIFY(program.waitForStarted());
        const auto finish = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
        });
        QStringList mains;
        QVERIFY(waitUntil([&] { return !(mains = windowsNamed(QStringLiteral("Korlith 2005"))).isEmpty(); }, 30000));
        const QRect area = workArea();
        QVERIFY(!area.isEmpty());
        QRect main;
        QVERIFY2(waitUntil([&] {
                     main = frameOf(mains.first());
                     return area.contains(main) && (main.center() - area.center()).manhattanLength() <= 4;
                 }),
                 qPrintable(rectText(main) + QStringLiteral(" in ") + rectText(area)));
        // Each window in turn, and the key that answers it.
        const QList<std::pair<QString, QString>> steps = {
            {QStringLiteral("Korlith"), QStringLiteral("Escape")},    // the unsaved text: kept for later
            {QStringLiteral("Achtung"), QStringLiteral("Return")},    // the prompt: "Ja" opens the settings
            {QStringLiteral("Einstellungen"), QStringLiteral("Escape")},
        };
        for (const auto &[title, key] : steps) {
            QStringList ids;
            QVERIFY2(waitUntil([&] { return !(ids = windowsNamed(title)).isEmpty(); }, 15000), qPrintable(title));
            const QString id = ids.first();
            QVERIFY2(waitUntil([&] { return activeWindow() == id; }), qPrintable(title + QStringLiteral(" has no keyboard")));
            QRect frame;
            QVERIFY2(waitUntil([&] { return over(frame = frameOf(id), main); }),
                     qPrintable(title + QStringLiteral(": ") + rectText(frame) + QStringLiteral(" over ") + rectText(main)));
            // The key goes where the keyboard is, as the user's does.
            QCOMPARE(xdotool({QStringLiteral("key"), key}), 0);
            QVERIFY2(waitUntil([&] { return windowsNamed(title).isEmpty(); }), qPrintable(title));
        }
        QVERIFY(waitUntil([&] { return activeWindow() == mains.first(); }));
        // Info, from the menu by the keyboard: over the main window and with the keyboard too.
        QCOMPARE(xdotool({QStringLiteral("key"), QStringLiteral("alt+h"), QStringLiteral("i")}), 0);
        QStringList info;
        QVERIFY(waitUntil([&] { return !(info = windowsNamed(QStringLiteral("Info"))).isEmpty(); }, 15000));
        QVERIFY(waitUntil([&] { return activeWindow() == info.first(); }));
        QRect frame;
        QVERIFY2(waitUntil([&] { return over(frame = frameOf(info.first()), main); }),
                 qPrintable(rectText(frame) + QStringLiteral(" over ") + rectText(main)));
        QCOMPARE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}), 0);
        QVERIFY(waitUntil([&] { return windowsNamed(QStringLiteral("Info")).isEmpty(); }));
        QVERIFY(waitUntil([&] { return activeWindow() == mains.first(); }));
    }
};

KORLITH_TEST_MAIN(TestGnome)
#include "tst_gnome.moc"
