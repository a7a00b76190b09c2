// The update check: number parsing, and "Updates?" end to end against a loopback server.
#include "HTTPGet.h"
#include "TestHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "Unit5.h"
#include "core/VersionCheck.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

class TestUpdate : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHttpServer> server;

    // One check through the menu entry; the message boxes it showed.
    QStringList check(const QByteArray &versionFile) { return checkReply({TestHttpServer::ok(versionFile)}); }
    QStringList checkReply(const TestHttpServer::Route &reply)
    {
        server->route("/Tolvane/Korlith.txt", reply);
        MessageBoxCatcher boxes;
        Form1->action("Updates1")->trigger();
        if (!waitUntil([&] { return !Form1->HTTPGet1->isRunning(); }, 15000))
            return {QStringLiteral("(the download did not end)")};
        return boxes.seen;
    }

    // The program's windows, configured, the main window shown, its check asking the test server.
    bool showAskingTheTestServer(IsolatedEnvironment &env)
    {
        env.writeRegistry(ConfiguredOnly);
        createForms();
        Form1->show();
        if (!QTest::qWaitForWindowExposed(Form1))
            return false;
        Form1->HTTPGet1->URL = server->base() + QStringLiteral("/Tolvane/Korlith.txt");
        return true;
    }
    // The notice's buttons lie wholly within this area.
    static bool buttonsWithin(const QRect &area)
    {
        for (const char *name : {"Button1", "Button2"}) {
            auto *button = Form5->findChild<QPushButton *>(QString::fromLatin1(name));
            if (!button || !area.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<TestHttpServer>();
        if (!server->isListening())
            QSKIP("port 80 of 127.0.0.2 is not available (the update tests need root)");
    }

    void updatesEndToEnd()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        createForms();
        Form1->show();
        QCOMPARE(Form1->HTTPGet1->URL, QStringLiteral("http://www.tolvane.example/Tolvane/Korlith.txt"));
        QCOMPARE(Form1->HTTPGet1->Agent, QStringLiteral("Presmark HTTPGet"));
        QVERIFY(!Form1->HTTPGet1->UseCache);
        Form1->HTTPGet1->URL = server->base() + QStringLiteral("/Tolvane/Korlith.txt");

        const QString upToDate = QStringLiteral("Update|Sie besitzen die aktuellste Version von Korlith.");
        QCOMPARE(check("100\r\n1.00\r\n"), QStringList(upToDate));
        QVERIFY(!Form5->isVisible());
        QCOMPARE(check("99"), QStringList(upToDate));
        QCOMPARE(check("0\n"), QStringList(upToDate));
        QCOMPARE(check("-200\n2.00"), QStringList(upToDate));

        QCOMPARE(check("101\r\n1.01\r\nmore\r\n"), QStringList());
        QVERIFY(Form5->isVisible());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist 1.01."));
        // A check while the notice is open replaces its message; hexadecimal and blanks count.
        QCOMPARE(check("  $70\n1.12"), QStringList());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist 1.12."));
        QCOMPARE(check("0x66"), QStringList());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist ."));
        // A version text in Windows-1252 reads as documents do.
        QCOMPARE(check("102\r\nGr\xfc\xdf" "e 1.02\r\n"), QStringList());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist Grüße 1.02."));
        // Release notes after the two lines, of any length: the file's first 64 KiB are read.
        QByteArray notes = "101\r\n1.01\r\n";
        for (int i = 1; notes.size() < 5211; ++i)
            notes += "- Punkt " + QByteArray::number(i) + " der Liste der Neuerungen dieser Version\r\n";
        QCOMPARE(check(notes), QStringList());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist 1.01."));
        // UTF-8 notes past the bound, a character cut in two there: the version still reads as UTF-8.
        QByteArray long8 = "104\n1.04 \xe2\x80\x93 Fr\xc3\xbchling\n";
        if ((64 * 1024 - 1 - long8.size()) % 2)
            long8 += 'a';
        while (long8.size() < 64 * 1024 - 1)
            long8 += "\xc3\xbc";
        long8 += "\xc3\xbc" + QByteArray(40000, 'z'); // the bound falls between its two bytes
        QCOMPARE(checkReply({TestHttpServer::ok(long8, false)}), QStringList());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist 1.04 – Frühling."));
        QCOMPARE(check("103\nGr\xc3\xb6\xc3\x9f" "e 1.03"), QStringList());
        QCOMPARE(Form5->message(), QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist Größe 1.03."));
        const QString longVersion(400, QLatin1Char('9'));
        QCOMPARE(check("200\n" + longVersion.toLatin1()), QStringList());
        QVERIFY(Form5->message().contains(longVersion));
        QVERIFY(Form5->width() > 486);
        Form5->hide();

        // A first line that is no number: the user is told, and the next check works.
        const QStringList unreadable = check("\t101\n1.01");
        QCOMPARE(unreadable.size(), 1);
        QVERIFY(unreadable.first().startsWith(QStringLiteral("Update|Die Versionsinformation konnte nicht gelesen werden.")));
        QCOMPARE(check("<html>404</html>").size(), 1);
        QCOMPARE(check("100"), QStringList(upToDate));

        // An empty answer or no server: nothing at all is shown.
        QCOMPARE(check(""), QStringList());
        Form1->HTTPGet1->URL = QStringLiteral("http://127.0.0.3/Tolvane/Korlith.txt");
        QCOMPARE(check("101"), QStringList());
        QVERIFY(!Form5->isVisible());

        // Two quick clicks: one evaluation.
        Form1->HTTPGet1->URL = server->base() + QStringLiteral("/Tolvane/Korlith.txt");
        server->route("/Tolvane/Korlith.txt", TestHttpServer::ok("100"));
        const int before = server->requestCount();
        MessageBoxCatcher boxes;
        Form1->action("Updates1")->trigger();
        Form1->action("Updates1")->trigger();
        QVERIFY(waitUntil([&] { return !Form1->HTTPGet1->isRunning(); }, 15000));
        QTest::qWait(100);
        QCOMPARE(boxes.seen, QStringList(upToDate));
        QCOMPARE(server->requestCount(), before + 1);
        destroyForms();
    }

    // The notice fits the screen, frame, close box and buttons, also where the screen is
    // narrower than the notice is made (the suite's narrow run: scale 3, about 427 × 341).
    void noticeFitsTheScreen()
    {
        IsolatedEnvironment env;
        QVERIFY(showAskingTheTestServer(env));
        QCOMPARE(check("101\r\n1.01\r\n"), QStringList());
        QVERIFY(Form5->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(Form5));
        const QRect screen = Form5->screen()->availableGeometry();
        QVERIFY2(waitUntil([&] { return screen.contains(Form5->frameGeometry()); }),
                 qPrintable(QStringLiteral("%1 wide on %2").arg(Form5->frameGeometry().width()).arg(screen.width())));
        QVERIFY(buttonsWithin(screen));
        destroyForms();
    }

    // What a broken or hostile server sends is never taken for a version, nor drawn as markup.
    void failingAndHostileServers()
    {
        IsolatedEnvironment env;
        QVERIFY(showAskingTheTestServer(env));
        Form1->HTTPGet1->SilenceTimeout = 1500;

        // A cut-off body, an error page, a body cut by the server's silence: no verdict at all.
        QCOMPARE(checkReply({"HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\n10"}), QStringList());
        QCOMPARE(checkReply({"HTTP/1.0 404 Not Found\r\nContent-Length: 15\r\n\r\n404\r\nNot Found\r\n"}),
                 QStringList());
        QVERIFY(!Form5->isVisible());
        TestHttpServer::Route silent{TestHttpServer::ok("100", false)};
        silent.holdMs = 5000;
        QCOMPARE(checkReply(silent), QStringList());
        QVERIFY(!Form5->isVisible());
        // A huge body whose second line does not end within the bound is no version file, with
        // or without its length announced: it fails quietly, and the window stays free.
        const QByteArray huge = "101\n" + QByteArray(15 * 1024 * 1024, 'x');
        QCOMPARE(check(huge), QStringList());
        QCOMPARE(checkReply({TestHttpServer::ok(huge, false)}), QStringList());
        QVERIFY(!Form5->isVisible());

        // Markup in the version text is shown as the characters it is made of.
        const QByteArray markup = "<font color=red size=6>9.99</font><img src=\"/usr/share/pixmaps/debian-logo.png\">";
        QCOMPARE(check("101\n" + markup), QStringList());
        QVERIFY(Form5->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(Form5));
        auto *label = Form5->findChild<QLabel *>(QStringLiteral("Label1"));
        QVERIFY(label->text().endsWith(QString::fromLatin1(markup) + QLatin1Char('.')));
        const QImage drawn = label->grab().toImage();
        int reddish = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                reddish += c.red() > 150 && c.green() < 100 && c.blue() < 100;
            }
        QCOMPARE(reddish, 0);
        QVERIFY(label->height() < 2 * QFontMetrics(label->font()).height());

        // A very long version text: the notice stays on the screen with its buttons reachable.
        const QRect screen = Form5->screen()->availableGeometry();
        for (const int length : {300, 2400}) {
            QCOMPARE(check("102\n" + QByteArray(length, 'W')), QStringList());
            QVERIFY(Form5->message().endsWith(QString(length, QLatin1Char('W')) + QLatin1Char('.')));
            QVERIFY2(Form5->width() <= screen.width(), qPrintable(QString::number(Form5->width())));
            QVERIFY(waitUntil([&] { return screen.contains(Form5->frameGeometry()); }));
            QVERIFY(buttonsWithin(screen));
            QVERIFY(label->geometry().right() < Form5->width());
            QVERIFY(label->text().endsWith(QChar(0x2026)));
        }
        // A short text again: the notice is back to the size that text needs.
        QCOMPARE(check("103\n1.03"), QStringList());
        QVERIFY(Form5->width() < 2 * 486);
        QVERIFY(label->text().endsWith(QStringLiteral("1.03.")));
        destroyForms();
    }
};

KORLITH_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
