// The update check: number parsing, and "Updates?" end to end against a loopback server.
#include "HTTPGet.h"
#include "TestHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "Unit5.h"
#include "core/VersionCheck.h"

class TestUpdate : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHttpServer> server;

    // One check through the menu entry; the message boxes it showed.
    QStringList check(const QByteArray &versionFile)
    {
        server->route("/Tolvane/Korlith.txt", TestHttpServer::ok(versionFile));
        MessageBoxCatcher boxes;
        Form1->action("Updates1")->trigger();
        waitUntil([&] { return !Form1->HTTPGet1->isRunning(); });
        return boxes.seen;
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<TestHttpServer>();
        if (!server->isListening())
            QSKIP("port 80 of 127.0.0.2 is not available (the update tests need root)");
    }

    void versionNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // INT_MIN: not a number
        const int none = INT_MIN;
        QTest::newRow("decimal") << "101" << 101;
        QTest::newRow("leading blanks") << "   101" << 101;
        QTest::newRow("leading tab") << "\t101" << none;
        QTest::newRow("trailing blank") << "101 " << none;
        QTest::newRow("sign") << "-5" << -5;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("dollar hex") << "$65" << 0x65;
        QTest::newRow("0x hex") << "0x65" << 0x65;
        QTest::newRow("0X hex") << "0X6f" << 0x6f;
        QTest::newRow("x hex") << "x10" << 16;
        QTest::newRow("hex wraps") << "$FFFFFFFF" << -1;
        QTest::newRow("too big") << "2147483648" << none;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("text") << "Version 2" << none;
        QTest::newRow("bare prefix") << "0x" << none;
        QTest::newRow("hex digit in decimal") << "10a" << none;
    }

    void versionNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(parseVersionNumber(text).value_or(INT_MIN), value);
    }

    void lines()
    {
        QCOMPARE(splitLines(QStringLiteral("a\r\nb\rc\nd")), QStringList({"a", "b", "c", "d"}));
        QCOMPARE(splitLines(QStringLiteral("a\n\nb\n")), QStringList({"a", "", "b"}));
        QCOMPARE(splitLines(QString()), QStringList());
    }

    void updatesEndToEnd()
    {
        IsolatedEnvironment env;
        env.writeRegistry("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\"\n");
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
        waitUntil([&] { return !Form1->HTTPGet1->isRunning(); });
        QTest::qWait(100);
        QCOMPARE(boxes.seen, QStringList(upToDate));
        QCOMPARE(server->requestCount(), before + 1);
        destroyForms();
    }
};

KORLITH_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
