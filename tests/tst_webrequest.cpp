// A page's request of its document: which addresses lead there, the CGI variables, the
// response's headers and the cookies kept between requests.
#include "core/WebRequest.h"

#include <QtTest>

class TestWebRequest : public QObject
{
    Q_OBJECT

    const DocumentAddress at{QStringLiteral("/tmp/k/0/Output.htm"), QStringLiteral("/home/u/site/index.php")};

private slots:
    void addressesThatLeadToTheDocument_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("leads");
        QTest::addColumn<QByteArray>("query");
        // An empty action, "#…" and "?…" all name the page itself.
        QTest::newRow("page") << "file:///tmp/k/0/Output.htm" << true << QByteArray();
        QTest::newRow("page with query") << "file:///tmp/k/0/Output.htm?seite=2&x=%C3%A4" << true
                                         << QByteArray("seite=2&x=%C3%A4");
        QTest::newRow("page with fragment") << "file:///tmp/k/0/Output.htm#oben" << true << QByteArray();
        QTest::newRow("name beside the page") << "file:///tmp/k/0/index.php?a=1" << true << QByteArray("a=1");
        QTest::newRow("in its own folder") << "file:///home/u/site/index.php" << true << QByteArray();
        QTest::newRow("PHP_SELF under CGI") << "file:///index.php?b=2" << true << QByteArray("b=2");
        QTest::newRow("through ..") << "file:///tmp/k/0/sub/../index.php" << true << QByteArray();
        QTest::newRow("another file") << "file:///tmp/k/0/andere.php" << false << QByteArray();
        QTest::newRow("same name elsewhere") << "file:///home/u/index.php" << false << QByteArray();
        QTest::newRow("a name that only begins so") << "file:///tmp/k/0/index.php5" << false << QByteArray();
        QTest::newRow("web address") << "http://localhost/index.php" << false << QByteArray();
        QTest::newRow("data") << "data:text/html,index.php" << false << QByteArray();
    }
    void addressesThatLeadToTheDocument()
    {
        QFETCH(QString, url);
        QFETCH(bool, leads);
        QFETCH(QByteArray, query);
        QByteArray found = "unset";
        QCOMPARE(leadsToDocument(QUrl(url), at, &found), leads);
        if (leads)
            QCOMPARE(found, query);
        // Before the first run there is no document to lead to.
        QVERIFY(!leadsToDocument(QUrl(url), DocumentAddress{}));
    }

    void redirectsBackToTheDocument_data()
    {
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("back");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("relative") << QByteArray("index.php?ok=1") << true << QByteArray("ok=1");
        QTest::newRow("query alone") << QByteArray("?danke") << true << QByteArray("danke");
        QTest::newRow("absolute path") << QByteArray("/index.php") << true << QByteArray();
        QTest::newRow("full address") << QByteArray("http://localhost/index.php?a=b") << true << QByteArray("a=b");
        QTest::newRow("another page") << QByteArray("/login.php") << false << QByteArray();
        QTest::newRow("another host") << QByteArray("http://example.org/index.php") << false << QByteArray();
        QTest::newRow("https") << QByteArray("https://localhost/index.php") << false << QByteArray();
    }
    void redirectsBackToTheDocument()
    {
        QFETCH(QByteArray, location);
        QFETCH(bool, back);
        QFETCH(QByteArray, query);
        QByteArray found;
        QCOMPARE(redirectsToDocument(location, at.script, &found), back);
        if (back)
            QCOMPARE(found, query);
    }

    void variablesAsAWebServerSetsThem()
    {
        WebRequest post{"POST", "q=1", "application/x-www-form-urlencoded", "name=Anna+B", 1};
        const auto vars = cgiVariables(post, QStringLiteral("/home/u/my site/index.php"), "PHPSESSID=abc");
        QHash<QByteArray, QByteArray> v;
        for (const auto &pair : vars) {
            QVERIFY2(!v.contains(pair.first), pair.first.constData());
            v.insert(pair.first, pair.second);
        }
        QCOMPARE(v.value("REQUEST_METHOD"), QByteArray("POST"));
        QCOMPARE(v.value("QUERY_STRING"), QByteArray("q=1"));
        QCOMPARE(v.value("CONTENT_TYPE"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(v.value("CONTENT_LENGTH"), QByteArray("11"));
        QCOMPARE(v.value("SCRIPT_FILENAME"), QByteArray("/home/u/my site/index.php"));
        QCOMPARE(v.value("SCRIPT_NAME"), QByteArray("/index.php"));
        QCOMPARE(v.value("REQUEST_URI"), QByteArray("/index.php?q=1"));
        QCOMPARE(v.value("DOCUMENT_ROOT"), QByteArray("/home/u/my site"));
        QCOMPARE(v.value("HTTP_COOKIE"), QByteArray("PHPSESSID=abc"));
        QCOMPARE(v.value("REDIRECT_STATUS"), QByteArray("200"));
        QCOMPARE(v.value("SERVER_PROTOCOL"), QByteArray("HTTP/1.1"));
        QCOMPARE(v.value("HTTP_HOST"), QByteArray("localhost"));
        QVERIFY(v.contains("SERVER_NAME"));

        // A GET has no body and says none; without cookies there is no Cookie header.
        const auto get = cgiVariables(WebRequest{"GET", {}, {}, {}, -1}, QStringLiteral("/s/ä b.php"), {});
        QHash<QByteArray, QByteArray> g;
        for (const auto &pair : get)
            g.insert(pair.first, pair.second);
        QVERIFY(!g.contains("CONTENT_LENGTH") && !g.contains("CONTENT_TYPE") && !g.contains("HTTP_COOKIE"));
        QCOMPARE(g.value("REQUEST_URI"), QByteArray("/%C3%A4%20b.php"));
        QCOMPARE(g.value("SCRIPT_NAME"), QByteArray("/\xc3\xa4 b.php"));
        QCOMPARE(g.value("QUERY_STRING"), QByteArray());
    }

    void responseHeaders()
    {
        const QByteArray raw = "Set-Cookie: a=1; path=/\r\nStatus: 404 Not Found\r\nContent-type: text/html; charset=UTF-8\r\n"
                               "set-cookie: b=2\r\n\r\n<p>weg</p>\r\n\r\nmore";
        const CgiResponse r = parseCgiResponse(raw);
        QVERIFY(r.headed);
        QCOMPARE(r.status, 404);
        QCOMPARE(r.contentType, QByteArray("text/html; charset=UTF-8"));
        QCOMPARE(r.cookies, (QList<QByteArray>{"a=1; path=/", "b=2"}));
        QCOMPARE(raw.mid(r.bodyAt), QByteArray("<p>weg</p>\r\n\r\nmore"));

        // A Location alone is a redirect; LF line ends are headers too.
        const QByteArray lf = "Location: /login.php\nX-A: b\n\nbody";
        const CgiResponse l = parseCgiResponse(lf);
        QCOMPARE(l.status, 302);
        QCOMPARE(l.location, QByteArray("/login.php"));
        QCOMPARE(lf.mid(l.bodyAt), QByteArray("body"));
        // Whichever empty line comes first ends them.
        QCOMPARE(parseCgiResponse("A: 1\n\nB: 2\r\n\r\nx").bodyAt, qsizetype(6));

        // Headers that never end are no answer.
        QVERIFY(!parseCgiResponse("Content-type: text/html\r\n").headed);
        QVERIFY(!parseCgiResponse("").headed);

        QVERIFY(isPageType("text/html; charset=UTF-8"));
        QVERIFY(isPageType(""));
        QVERIFY(!isPageType("application/json"));
    }

    void cookiesKeptBetweenRequests()
    {
        const QDateTime now = QDateTime(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
        CookieJar jar;
        jar.take({"PHPSESSID=abc; path=/; HttpOnly", "a=b%20c"}, now);
        QCOMPARE(jar.header(now), QByteArray("PHPSESSID=abc; a=b%20c"));
        // Set again: replaced where it stood; deleted by Max-Age or a past date.
        jar.take({"a=neu", "PHPSESSID=; expires=Thu, 01-Jan-1970 00:00:01 GMT; Max-Age=0"}, now);
        QCOMPARE(jar.header(now), QByteArray("a=neu"));
        jar.take({"t=1; expires=Thu, 10 Dec 2026 11:00:00 GMT"}, now);
        QCOMPARE(jar.header(now), QByteArray("a=neu"));
        // One that lives a minute is gone after it.
        jar.take({"m=1; Max-Age=60"}, now);
        QCOMPARE(jar.header(now), QByteArray("a=neu; m=1"));
        QCOMPARE(jar.header(now.addSecs(61)), QByteArray("a=neu"));
        jar.take({"kaputt", "=ohne"}, now);
        QCOMPARE(jar.header(now), QByteArray("a=neu; m=1"));
        jar.clear();
        QVERIFY(jar.header(now).isEmpty());
    }

    void statusWords()
    {
        const WebRequest post{"POST", {}, "application/x-www-form-urlencoded", "a=1&b=2", 2};
        QCOMPARE(requestLabel(post, QStringLiteral("index.php")), QStringLiteral("POST index.php · 2 Felder"));
        QCOMPARE(requestLabel(WebRequest{"GET", "x=1", {}, {}, 1}, QStringLiteral("i.php")), QStringLiteral("GET i.php · 1 Feld"));
        QCOMPARE(requestLabel(WebRequest{"GET", "seite=2", {}, {}, -1}, QStringLiteral("i.php")),
                 QStringLiteral("GET i.php?seite=2"));
        CgiResponse elsewhere;
        elsewhere.headed = true;
        elsewhere.status = 302;
        elsewhere.location = "/login.php";
        QCOMPARE(responseNote(post, QStringLiteral("index.php"), elsewhere, false),
                 QStringLiteral("POST index.php → 302 nach /login.php"));
        CgiResponse json;
        json.headed = true;
        json.contentType = "application/json";
        QCOMPARE(responseNote(post, QStringLiteral("index.php"), json, false),
                 QStringLiteral("POST index.php → kein HTML (application/json)"));
        CgiResponse plain;
        plain.headed = true;
        QVERIFY(responseNote(post, QStringLiteral("index.php"), plain, false).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWebRequest)
#include "tst_webrequest.moc"
