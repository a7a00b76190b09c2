// The download component against a real HTTP server on loopback: requests, outcomes, events, stops.
#include "HTTPGet.h"
#include "TestHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "core/AppError.h"

#include <QFileInfo>
#include <QPointer>

namespace {

// Records what the component reports.
struct Outcome
{
    QStringList events;
    QByteArray text;
    QString file;
    qint32 fileSize = -1;
    QList<QPair<qint32, qint32>> progress;
    QStringList progressSenders; // class names: the worker is gone by the time they are read
    QPointer<QObject> worker;    // the reporting thread, while it exists

    void attach(THTTPGet &get, bool withProgress = false)
    {
        get.OnDoneString = [this](QObject *sender, const QByteArray &r) {
            events << (sender ? QStringLiteral("string") : QStringLiteral("no sender"));
            text = r;
        };
        get.OnDoneFile = [this](QObject *, const QString &name, qint32 size) {
            events << QStringLiteral("file");
            file = name;
            fileSize = size;
        };
        get.OnError = [this](QObject *) { events << QStringLiteral("error"); };
        if (withProgress) {
            get.OnProgress = [this](QObject *sender, qint32 total, qint32 read) {
                progress << qMakePair(total, read);
                progressSenders << QString::fromLatin1(sender->metaObject()->className());
                worker = sender;
            };
        }
    }
    bool wait(const THTTPGet &get, int ms = 10000) const
    {
        return waitUntil([&] { return !get.isRunning(); }, ms);
    }
};

} // namespace

class TestHTTPGet : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHttpServer> server;

    QString fetch(const QByteArray &path, THTTPGet &get, Outcome &out)
    {
        get.URL = server->base() + QString::fromLatin1(path);
        out.attach(get);
        get.StartDownload();
        if (!out.wait(get))
            return QStringLiteral("timeout");
        return out.events.join(QLatin1Char(','));
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<TestHttpServer>();
        if (!server->isListening())
            QSKIP("port 80 of 127.0.0.2 is not available (the download tests need root)");
        server->route("/ok", TestHttpServer::ok("hello"));
        server->route("/nolength", TestHttpServer::ok("body without length", false));
        server->route("/empty", TestHttpServer::ok(""));
        server->route("/missing", QByteArray("HTTP/1.0 404 Not Found\r\nContent-Length: 14\r\n\r\n<h1>404</h1>\r\n"));
        server->route("/badlength", QByteArray("HTTP/1.0 200 OK\r\nContent-Length: abc\r\n\r\nhello"));
        server->route("/hugelength", QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 3000000000\r\n\r\nhello"));
        server->route("/short", QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly ten.."));
        server->route("/big", TestHttpServer::ok(QByteArray(3000, 'x')));
        server->route("/failing", QByteArray("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 3\r\n\r\n101"));
        server->route("/nocontent", QByteArray("HTTP/1.0 204 No Content\r\n\r\n"));
        server->route("/cut", QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\n10"));
        // Without a length: three bytes, then nothing for longer than the silence allowed.
        TestHttpServer::Route stalls{TestHttpServer::ok("100", false)};
        stalls.holdMs = 4000;
        server->route("/stalls", stalls);
        // One byte at a time, each after a pause shorter than the silence allowed.
        TestHttpServer::Route trickle{TestHttpServer::ok("1000"), 1, 900};
        trickle.delayFrom = int(trickle.response.size()) - 4;
        server->route("/trickle", trickle);
        server->route("/huge", TestHttpServer::ok(QByteArray(17 * 1024 * 1024, 'y'), false));
        TestHttpServer::Route slow{TestHttpServer::ok(QByteArray(200000, 's')), 1000, 20};
        server->route("/slow", slow);
        TestHttpServer::Route echo;
        echo.echo = true;
        server->route("/echo", echo);
    }

    void splitUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::newRow("update file") << "http://www.tolvane.example/Tolvane/Korlith.txt" << "www.tolvane.example" << "/Tolvane/Korlith.txt";
        QTest::newRow("host and slash") << "http://host/" << "host" << "/";
        QTest::newRow("no slash") << "http://host" << "" << "host";
        QTest::newRow("mixed case scheme") << "hTTp://Host/x" << "Host" << "/x";
        QTest::newRow("scheme only at start") << "xhttp://host/p" << "xhttp:" << "//host/p";
        QTest::newRow("port stays in host") << "http://host:8080/p?q=1" << "host:8080" << "/p?q=1";
        QTest::newRow("https kept") << "https://host/p" << "https:" << "//host/p";
    }

    void splitUrl()
    {
        QFETCH(QString, url);
        QFETCH(QString, host);
        QFETCH(QString, path);
        const SplitUrlResult r = SplitUrl(url);
        QCOMPARE(r.host, host);
        QCOMPARE(r.path, path);
    }

    void lengthHeader()
    {
        qint32 v = 0;
        QVERIFY(parseContentLength(" 42 ", &v));
        QCOMPARE(v, 42);
        QVERIFY(parseContentLength("2147483647", &v));
        QCOMPARE(v, 2147483647);
        QVERIFY(!parseContentLength("2147483648", &v));
        QVERIFY(!parseContentLength("3000000000", &v));
        QVERIFY(!parseContentLength("12abc", &v));
        QVERIFY(!parseContentLength("", &v));
        QVERIFY(!parseContentLength("-", &v));
    }

    void requestAsTheServerSawIt()
    {
        THTTPGet get;
        Outcome out;
        QCOMPARE(fetch("/echo", get, out), QStringLiteral("string"));
        const QByteArray seen = out.text;
        QVERIFY2(seen.startsWith("GET /echo HTTP/1.0\r\n"), seen.constData());
        QVERIFY(seen.contains("\r\nUser-Agent: Presmark HTTPGet\r\n"));
        QVERIFY(seen.contains("\r\nAccept: */*\r\n"));
        QVERIFY(seen.contains("\r\nPragma: no-cache\r\n"));
        QVERIFY(seen.contains("\r\nCache-Control: no-cache\r\n"));
        QVERIFY(seen.contains("\r\nHost: 127.0.0.2"));
        QVERIFY(!seen.contains("Content-Type"));
        QVERIFY(seen.endsWith("\r\n\r\n"));

        // POST with the form body; cache allowed; no agent; referrer and credentials given.
        THTTPGet post;
        Outcome out2;
        post.PostQuery = QStringLiteral("a=1&b=zwei");
        post.UseCache = true;
        post.Agent.clear();
        post.AcceptTypes = QStringLiteral("text/plain");
        post.Referer = QStringLiteral("http://ref.example/");
        post.UserName = QStringLiteral("user");
        post.Password = QStringLiteral("secret");
        QCOMPARE(fetch("/echo", post, out2), QStringLiteral("string"));
        const QByteArray p = out2.text;
        QVERIFY2(p.startsWith("POST /echo HTTP/1.0\r\n"), p.constData());
        QVERIFY(p.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
        QVERIFY(p.contains("\r\nContent-Length: 10\r\n"));
        QVERIFY(p.endsWith("\r\n\r\na=1&b=zwei"));
        QVERIFY(p.contains("\r\nAccept: text/plain\r\n"));
        QVERIFY(p.contains("\r\nReferer: http://ref.example/\r\n"));
        QVERIFY(p.contains("\r\nAuthorization: Basic dXNlcjpzZWNyZXQ=\r\n"));
        QVERIFY(!p.contains("User-Agent"));
        QVERIFY(!p.contains("no-cache"));
    }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("body") << QByteArray("/ok") << false << "string" << QByteArray("hello");
        QTest::newRow("no length") << QByteArray("/nolength") << false << "string" << QByteArray("body without length");
        QTest::newRow("no length, binary") << QByteArray("/nolength") << true << "error" << QByteArray();
        QTest::newRow("length, binary") << QByteArray("/ok") << true << "string" << QByteArray("hello");
        QTest::newRow("empty body") << QByteArray("/empty") << false << "error" << QByteArray();
        QTest::newRow("error page") << QByteArray("/missing") << false << "error" << QByteArray();
        QTest::newRow("server error with a number") << QByteArray("/failing") << false << "error" << QByteArray();
        QTest::newRow("no content") << QByteArray("/nocontent") << false << "error" << QByteArray();
        QTest::newRow("length not a number") << QByteArray("/badlength") << false << "error" << QByteArray();
        QTest::newRow("length beyond 2^31") << QByteArray("/hugelength") << false << "error" << QByteArray();
        QTest::newRow("closed early") << QByteArray("/short") << false << "error" << QByteArray();
        QTest::newRow("closed two bytes early") << QByteArray("/cut") << false << "error" << QByteArray();
        QTest::newRow("silent, then closed") << QByteArray("/stalls") << false << "error" << QByteArray();
        QTest::newRow("slow but never silent") << QByteArray("/trickle") << false << "string" << QByteArray("1000");
        QTest::newRow("body beyond the bound") << QByteArray("/huge") << false << "error" << QByteArray();
    }

    void outcomes()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, binary);
        QFETCH(QString, events);
        QFETCH(QByteArray, text);
        THTTPGet get;
        get.BinaryData = binary;
        get.SilenceTimeout = 1500;
        Outcome out;
        QCOMPARE(fetch(path, get, out), events);
        QCOMPARE(out.text, text);
    }

    // A text past its bound, where the caller asks for it so: the download ends there, what
    // fitted is the result, and the component says it was cut, while its handler runs only.
    void textCutAtTheBound()
    {
        struct Row { const char *path; qint64 bound; bool cut; QString events; QByteArray text; bool wasCut; };
        const Row rows[] = {
            {"/ok", 5, true, QStringLiteral("string"), "hello", false},
            {"/ok", 3, true, QStringLiteral("string"), "hel", true},
            {"/nolength", 4, true, QStringLiteral("string"), "body", true},
            {"/huge", 1000, true, QStringLiteral("string"), QByteArray(1000, 'y'), true},
            {"/ok", 3, false, QStringLiteral("error"), QByteArray(), false},
            {"/nolength", 4, false, QStringLiteral("error"), QByteArray(), false},
        };
        for (const Row &row : rows) {
            THTTPGet get;
            get.MaxTextSize = row.bound;
            get.CutText = row.cut;
            Outcome out;
            bool sawCut = false;
            get.URL = server->base() + QString::fromLatin1(row.path);
            out.attach(get);
            get.OnDoneString = [&](QObject *, const QByteArray &r) {
                out.events << QStringLiteral("string");
                out.text = r;
                sawCut = get.TextCut;
            };
            get.StartDownload();
            QVERIFY(out.wait(get));
            QCOMPARE(out.events.join(QLatin1Char(',')), row.events);
            QCOMPARE(out.text, row.text);
            QCOMPARE(sawCut, row.wasCut);
            QVERIFY(!get.TextCut);
        }
    }

    void unreachableServers()
    {
        for (const char *url : {"http://127.0.0.3/x", "http://127.0.0.2:8080/ok", "https://127.0.0.2/ok", "noslash", "http:///x"}) {
            THTTPGet get;
            Outcome out;
            get.URL = QString::fromLatin1(url);
            out.attach(get);
            get.StartDownload();
            QVERIFY(out.wait(get));
            QCOMPARE(out.events, QStringList(QStringLiteral("error")));
        }
    }

    void progressReportsEachChunk()
    {
        for (bool withLength : {true, false}) {
            server->route("/progress", TestHttpServer::ok(QByteArray(3000, 'p'), withLength));
            THTTPGet get;
            Outcome out;
            out.attach(get, true);
            get.URL = server->base() + QStringLiteral("/progress");
            get.StartDownload();
            QVERIFY(out.wait(get));
            QCOMPARE(out.text.size(), 3000);
            QVERIFY(out.progress.size() >= 3);
            QCOMPARE(out.progress.last(), qMakePair(withLength ? 3000 : 0, 3000));
            qint32 before = 0;
            for (const auto &[total, read] : out.progress) {
                QVERIFY(read - before > 0 && read - before <= 1025);
                before = read;
            }
            // The worker reports, not the component, and is freed once it has ended.
            QCOMPARE(out.progressSenders.first(), QStringLiteral("THTTPGetThread"));
            QVERIFY(waitUntil([&] { return out.worker.isNull(); }));
        }
    }

    void stopAndSecondStartDuringTheBody()
    {
        THTTPGet get;
        Outcome out;
        out.attach(get, true);
        get.URL = server->base() + QStringLiteral("/slow");
        const int before = server->requestCount();
        get.StartDownload();
        QVERIFY(waitUntil([&] { return !out.progress.isEmpty(); }));
        get.URL = server->base() + QStringLiteral("/ok");
        get.StartDownload(); // running: changes nothing
        get.StopDownload();
        get.StartDownload(); // still recorded as running until the error has been raised
        QVERIFY(out.wait(get));
        QCOMPARE(out.events, QStringList(QStringLiteral("error")));
        QTest::qWait(50);
        QCOMPARE(server->requestCount(), before + 1);
    }

    void waitThreadReturnsBeforeTheOutcome()
    {
        THTTPGet get;
        get.WaitThread = true;
        Outcome out;
        out.attach(get);
        get.URL = server->base() + QStringLiteral("/ok");
        bool posted = false;
        QTimer::singleShot(0, [&] { posted = true; });
        get.StartDownload();
        QVERIFY(posted); // waiting messages were dispatched
        QVERIFY(out.events.isEmpty());
        QVERIFY(out.wait(get));
        QCOMPARE(out.events, QStringList(QStringLiteral("string")));
    }

    void handlerErrorsAreShownAndLeaveTheComponentIdle()
    {
        THTTPGet get;
        get.URL = server->base() + QStringLiteral("/ok");
        int calls = 0;
        get.OnDoneString = [&](QObject *, const QByteArray &) {
            ++calls;
            throw AppError(QStringLiteral("handler failed"));
        };
        MessageBoxCatcher boxes;
        get.StartDownload();
        QVERIFY(waitUntil([&] { return !get.isRunning(); }));
        QCOMPARE(boxes.seen, QStringList(QStringLiteral("Korlith|handler failed.")));
        get.StartDownload();
        QVERIFY(waitUntil([&] { return calls == 2 && !get.isRunning(); }));

        // An error in the progress handler fails the download.
        THTTPGet p;
        Outcome out;
        out.attach(p);
        p.OnProgress = [](QObject *, qint32, qint32) { throw AppError(QStringLiteral("progress")); };
        p.URL = server->base() + QStringLiteral("/ok");
        p.StartDownload();
        QVERIFY(out.wait(p));
        QCOMPARE(out.events, QStringList(QStringLiteral("error")));
    }

    void destroyedWhileRunning()
    {
        bool reached = false;
        {
            THTTPGet get;
            get.URL = server->base() + QStringLiteral("/slow");
            get.OnProgress = [&](QObject *, qint32, qint32) {};
            get.OnError = [&](QObject *) { reached = true; };
            get.StartDownload();
            QTest::qWait(100);
        }
        QTest::qWait(100);
        QVERIFY(!reached);
    }

    void fileDestination()
    {
        IsolatedEnvironment env;
        const QString target = env.root() + QStringLiteral("/down.txt");
        struct Case
        {
            const char *url;
            QString events;
            qint64 size;
        };
        const QString base = server->base();
        for (const Case &c : {Case{"/big", "file", 3000}, Case{"/nolength", "file", 19}, Case{"/short", "error", 10},
                              Case{"/badlength", "error", -1}}) {
            QFile::remove(target);
            THTTPGet get;
            Outcome out;
            out.attach(get);
            get.URL = base + QString::fromLatin1(c.url);
            get.FileName = target;
            get.StartDownloadToFile();
            QVERIFY(out.wait(get));
            QCOMPARE(out.events.join(','), c.events);
            QCOMPARE(QFileInfo(target).exists() ? QFileInfo(target).size() : -1, c.size);
            if (c.events == QLatin1String("file")) {
                QCOMPARE(out.file, target);
                QCOMPARE(out.fileSize, qint32(c.size == 19 ? 0 : c.size));
            }
        }
        // Never reached the server: a failure, and no empty file is left.
        QFile::remove(target);
        THTTPGet get;
        Outcome out;
        out.attach(get);
        get.URL = QStringLiteral("http://127.0.0.3/x");
        get.FileName = target;
        get.StartDownloadToFile();
        QVERIFY(out.wait(get));
        QCOMPARE(out.events, QStringList(QStringLiteral("error")));
        QVERIFY(!QFile::exists(target));
    }
};

KORLITH_TEST_MAIN(TestHTTPGet)
#include "tst_httpget.moc"
