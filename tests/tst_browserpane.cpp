// The preview pane under its guard, with a real web view: what passes, what is cancelled.
#include "TestHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "WebBrowser.h"
#include "core/PreviewRun.h"
#include "platform/EngineClipboard.h"

#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QWindow>
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUdpSocket>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <algorithm>

class TestBrowserPane : public QObject
{
    Q_OBJECT

    struct Pane
    {
        TWebBrowser view;
        QStringList asked;
        Pane()
        {
            view.OnBeforeNavigate2 = [this](const QString &url, bool &cancel) {
                asked << url;
                cancel = !isPreviewOutputTarget(url);
            };
            view.resize(400, 300);
            view.show();
        }
        bool load(const QString &target)
        {
            QSignalSpy finished(&view, &QWebEngineView::loadFinished);
            // The empty page alone starts no engine: it is what the pane shows without one.
            if (!view.engineStarted())
                view.startEngine();
            view.Navigate(target);
            return finished.wait(10000) && finished.first().first().toBool();
        }
        QString text() { return pageText(&view); }
        QVariant js(const QString &script) { return pageScript(&view, script); }
    };

private slots:
    void guardRule_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("passes");
        QTest::newRow("output file") << "file:///tmp/korlith-0/Output.htm" << true;
        QTest::newRow("windows path") << "C:\\Temp\\Output.htm" << false;
        QTest::newRow("after colon") << "x:Output.htm" << false;
        QTest::newRow("bare name") << "Output.htm" << false;
        QTest::newRow("remote, name after a colon") << "http://127.0.1.1/p:Output.htm" << false;
        QTest::newRow("remote, name in the query") << "http://host:8080/?q=:Output.htm" << false;
        QTest::newRow("data address") << "data:text/html,x:Output.htm" << false;
        QTest::newRow("lower case") << "file:///tmp/korlith-0/output.htm" << false;
        QTest::newRow("other page") << "http://www.example.org/" << false;
        QTest::newRow("remote output") << "http://127.0.0.1:8071/Output.htm" << false;
        QTest::newRow("remote output, no port") << "http://host/Output.htm" << false;
        QTest::newRow("remote output, https") << "https://host/dir/Output.htm" << false;
        QTest::newRow("remote output, ftp") << "ftp://host/Output.htm" << false;
        QTest::newRow("file, upper-case scheme") << "FILE:///tmp/Output.htm" << true;
        QTest::newRow("about blank") << "about:blank" << false;
        QTest::newRow("with fragment") << "file:///tmp/Output.htm#top" << false;
        QTest::newRow("with query") << "file:///tmp/Output.htm?a=1" << false;
        QTest::newRow("directory named so") << "file:///tmp/Output.htm/x" << false;
    }

    void guardRule()
    {
        QFETCH(QString, url);
        QFETCH(bool, passes);
        QCOMPARE(isPreviewOutputTarget(url), passes);
    }

    // The engine paints in software: no GL driver is loaded into the program, not at the
    // application's start nor with the engine running and a page shown.
    void noGlDriverInTheProgram()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("the GL context for sharing is left alone outside X11");
        IsolatedEnvironment env;
        Pane pane;
        const QString output = env.root() + QStringLiteral("/Output.htm");
        writeFile(output, "<p>Seite</p>");
        QVERIFY(pane.load(output));
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        for (const char *driver : {"_dri.so", "libGLX_mesa", "libEGL_mesa", "libLLVM"})
            QVERIFY2(!mapped.contains(driver), driver);
    }

    // The empty pane is the editor's background, dark under a dark theme; a page without
    // colours of its own is white as in any browser, and one with its own keeps them.
    void emptyPaneFollowsThePalette()
    {
        IsolatedEnvironment env;
        const QPalette old = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(old); });
        QPalette dark = old;
        const QColor night(0x1e, 0x1e, 0x24);
        dark.setColor(QPalette::Base, night);
        QApplication::setPalette(dark);
        Pane pane;
        const auto corner = [&] { return pane.view.grab().toImage().pixelColor(pane.view.width() - 5, pane.view.height() - 5); };
        QVERIFY(QTest::qWaitForWindowExposed(&pane.view));
        QCOMPARE(corner(), night); // before the engine runs
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        QVERIFY2(waitUntil([&] { return corner() == night; }), qPrintable(corner().name()));
        const QString output = env.root() + QStringLiteral("/Output.htm");
        writeFile(output, "<p>ohne Farben</p>");
        QVERIFY(pane.load(output));
        QVERIFY2(waitUntil([&] { return corner() == QColor(Qt::white); }), qPrintable(corner().name()));
        writeFile(output, "<body style='background:#2a5d8c'><p>eigene Farbe</p></body>");
        QVERIFY(pane.load(output));
        QVERIFY2(waitUntil([&] { return corner() == QColor(0x2a, 0x5d, 0x8c); }), qPrintable(corner().name()));
        // Emptied again, under a theme changed meanwhile.
        const QColor dusk(0x30, 0x28, 0x28);
        dark.setColor(QPalette::Base, dusk);
        QApplication::setPalette(dark);
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        QVERIFY2(waitUntil([&] { return corner() == dusk; }), qPrintable(corner().name()));
    }

    void outputFilePassesOthersAreCancelled()
    {
        IsolatedEnvironment env;
        Pane pane;
        const QString dir = env.root() + QStringLiteral("/with blank");
        QDir().mkpath(dir);
        writeFile(dir + QStringLiteral("/Output.htm"), "<html><body><h1>Grüße</h1><a id=l href='other.htm'>x</a>"
                                                       "<form id=f action='other.htm'></form></body></html>");
        writeFile(dir + QStringLiteral("/output.htm"), "<p>lower</p>");
        writeFile(dir + QStringLiteral("/other.htm"), "<p>other</p>");

        QVERIFY(pane.load(dir + QStringLiteral("/Output.htm")));
        QCOMPARE(pane.text().left(5), QStringLiteral("Grüße"));
        QCOMPARE(pane.asked.size(), 1);
        QVERIFY(pane.asked.first().endsWith(QStringLiteral("/with blank/Output.htm")));

        // A wrong-case name and another page are cancelled; the pane keeps its document.
        // Each refusal settles (the view is back at the output) before the next request.
        const auto backAtOutput = [&] { return pane.view.url().toString().endsWith(QStringLiteral("/Output.htm")); };
        pane.view.Navigate(dir + QStringLiteral("/output.htm"));
        QVERIFY(waitUntil([&] { return pane.asked.size() == 2 && backAtOutput(); }, 10000));
        pane.view.Navigate(dir + QStringLiteral("/other.htm"));
        QVERIFY2(waitUntil([&] { return pane.asked.size() == 3 && backAtOutput(); }, 10000), qPrintable(pane.asked.join(QLatin1Char(' '))));
        QTest::qWait(200);
        QCOMPARE(pane.text().left(5), QStringLiteral("Grüße"));

        // Clicked links, submitted forms and scripts never lead the pane elsewhere.
        pane.js(QStringLiteral("document.getElementById('l').click()"));
        QVERIFY(waitUntil([&] { return pane.asked.size() == 4; }));
        pane.js(QStringLiteral("document.getElementById('f').submit()"));
        QVERIFY(waitUntil([&] { return pane.asked.size() == 5; }));
        pane.js(QStringLiteral("location.href = 'other.htm'"));
        QVERIFY(waitUntil([&] { return pane.asked.size() == 6; }));
        QTest::qWait(200);
        QCOMPARE(pane.text().left(5), QStringLiteral("Grüße"));
        QVERIFY(pane.view.url().toString().endsWith(QStringLiteral("/Output.htm")));
        for (int i = 3; i < 6; ++i)
            QVERIFY2(!isPreviewOutputTarget(pane.asked[i]), qPrintable(pane.asked[i]));
    }

    void ownBlankPassesAndOpenedPagesAskTheGuard()
    {
        IsolatedEnvironment env;
        Pane pane;
        writeFile(env.root() + QStringLiteral("/Output.htm"), "<p>shown</p>");
        QVERIFY(pane.load(env.root() + QStringLiteral("/Output.htm")));

        // A page that opens another into its own frame asks the guard and stays.
        writeFile(env.root() + QStringLiteral("/other.htm"), "<p>other</p>");
        const int asked0 = pane.asked.size();
        pane.js(QStringLiteral("window.open('other.htm', '_self');"));
        QVERIFY(waitUntil([&] { return pane.asked.size() > asked0; }));
        QVERIFY(pane.asked.last().endsWith(QStringLiteral("/other.htm")));
        QCOMPARE(pane.text(), QStringLiteral("shown"));

        // The program's own request for an empty pane passes without asking the guard.
        const int asked = pane.asked.size();
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        QCOMPARE(pane.text(), QString());
        QCOMPARE(pane.asked.size(), asked);
        QCOMPARE(pane.view.url().toString(), QStringLiteral("about:blank"));
    }

    // A page's alert, confirm and prompt show nothing and block nothing, even in a loop.
    // No way out of the page that no request passes: a WebSocket opens no connection and a
    // peer connection sends no STUN packet, to this machine's addresses or any other, also
    // from a frame the page made itself, and reaches no TURN server over TCP from there.
    void noWebSocketOrPeerConnectionLeaves()
    {
        QTcpServer tcp;
        QVERIFY(tcp.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&tcp, &QTcpServer::newConnection, &tcp, [&] { ++connections; });
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
        // A TURN server over TCP, which a peer connection reaches without UDP.
        QTcpServer turn;
        QVERIFY(turn.listen(QHostAddress::LocalHost));
        int relays = 0;
        connect(&turn, &QTcpServer::newConnection, &turn, [&] { ++relays; });
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, QStringLiteral(
            "<body><script>"
            "window.ws = 'none'; window.rtc = 'none'; window.framed = 'none';"
            "try { const s = new WebSocket('ws://127.0.0.1:%1/exfil');"
            "      s.onopen = () => { window.ws = 'open'; }; s.onerror = () => { window.ws = 'error'; }; }"
            "catch (e) { window.ws = 'refused'; }"
            "function leak(Peer, done) {"
            "  try { const pc = new Peer({iceServers: [{urls: 'stun:127.0.0.1:%2'}]});"
            "        pc.createDataChannel('x');"
            "        pc.onicegatheringstatechange = () => { if (pc.iceGatheringState === 'complete') done('gathered'); };"
            "        pc.createOffer().then(o => pc.setLocalDescription(o)).catch(() => done('failed'));"
            "  } catch (e) { done('refused'); } }"
            "leak(window.RTCPeerConnection, r => { window.rtc = r; });"
            "const f = document.createElement('iframe'); document.body.appendChild(f);"
            "leak(f.contentWindow.RTCPeerConnection, r => { window.framed = r; });"
            "window.relayed = 'none';"
            "try { const pc = new f.contentWindow.RTCPeerConnection({iceServers: [{urls: ['turn:127.0.0.1:%3?transport=tcp'],"
            "                                                                   username: 'u', credential: 'p'}]});"
            "      pc.createDataChannel('x');"
            "      pc.onicegatheringstatechange = () => { if (pc.iceGatheringState === 'complete') window.relayed = 'gathered'; };"
            "      pc.createOffer().then(o => pc.setLocalDescription(o)).catch(() => { window.relayed = 'failed'; });"
            "} catch (e) { window.relayed = 'refused'; }"
            "</script></body>").arg(tcp.serverPort()).arg(udp.localPort()).arg(turn.serverPort()).toUtf8());
        QVERIFY(pane.load(out));
        QVERIFY(waitUntil([&] { return connections > 0 || pane.js(QStringLiteral("window.ws")).toString() != QLatin1String("none"); }));
        QCOMPARE(connections, 0);
        QCOMPARE(pane.js(QStringLiteral("window.ws")).toString(), QStringLiteral("error"));
        QCOMPARE(pane.js(QStringLiteral("window.rtc")).toString(), QStringLiteral("refused"));
        // A frame's own peer connection, where one exists, gathers without sending anything.
        QVERIFY(waitUntil([&] {
            return udp.hasPendingDatagrams() || pane.js(QStringLiteral("window.framed")).toString() != QLatin1String("none");
        }, 15000));
        QCOMPARE(connections, 0);
        QVERIFY(!udp.hasPendingDatagrams());
        QVERIFY(waitUntil([&] { return relays > 0 || pane.js(QStringLiteral("window.relayed")).toString() != QLatin1String("none"); }, 15000));
        QVERIFY2(relays == 0, qPrintable(pane.js(QStringLiteral("window.relayed")).toString()));
    }

    // No WebTransport in any frame or worker the page makes: no QUIC packet leaves.
    void pageOpensNoWebTransport()
    {
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, QStringLiteral(
            "<body><script>"
            "window.main = typeof WebTransport; window.framed = 'none'; window.worker = 'none'; window.sent = 'none';"
            "const f = document.createElement('iframe'); document.body.appendChild(f);"
            "window.framed = typeof f.contentWindow.WebTransport;"
            "try { const w = new Worker(URL.createObjectURL(new Blob(['postMessage(typeof WebTransport)'])));"
            "      w.onmessage = e => { window.worker = e.data; }; w.onerror = () => { window.worker = 'error'; }; }"
            "catch (e) { window.worker = 'refused'; }"
            "const T = window.WebTransport || f.contentWindow.WebTransport;"
            "try { const t = new T('https://127.0.0.1:%1/'); t.ready.then(() => { window.sent = 'ready'; }, () => { window.sent = 'failed'; }); }"
            "catch (e) { window.sent = 'refused'; }"
            "</script></body>").arg(udp.localPort()).toUtf8());
        QVERIFY(pane.load(out));
        QVERIFY(waitUntil([&] { return udp.hasPendingDatagrams() || (pane.js(QStringLiteral("window.sent")).toString() != QLatin1String("none")
                                                                && pane.js(QStringLiteral("window.worker")).toString() != QLatin1String("none")); }, 15000));
        QVERIFY(!udp.hasPendingDatagrams());
        QCOMPARE(pane.js(QStringLiteral("window.main")).toString(), QStringLiteral("undefined"));
        QCOMPARE(pane.js(QStringLiteral("window.framed")).toString(), QStringLiteral("undefined"));
        QCOMPARE(pane.js(QStringLiteral("window.sent")).toString(), QStringLiteral("refused"));
        const QString worker = pane.js(QStringLiteral("window.worker")).toString();
        QVERIFY2(worker == QLatin1String("undefined") || worker == QLatin1String("error") || worker == QLatin1String("refused"),
                 qPrintable(worker));
    }

    // A page that stops answering (an endless loop) is replaced: the next page is shown.
    void aHungPageIsReplaced()
    {
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, "<p>erste</p><script>setTimeout(() => { while (true) {} }, 300)</script>");
        QVERIFY(pane.load(out));
        QTest::qWait(600); // the loop has begun
        const qint64 hung = pane.view.page()->renderProcessPid();
        QVERIFY(hung > 0);
        writeFile(out, "<p>zweite</p>");
        pane.view.Navigate(out);
        QVERIFY(waitUntil([&] { return pane.text() == QLatin1String("zweite"); }, 20000));
        // The looping renderer does not burn a core for the rest of the session.
        QVERIFY(waitUntil([&] { return !processAlive(hung); }, 15000));
        // The fresh page keeps the pane's rules and works as the first did.
        QCOMPARE(pane.js(QStringLiteral("typeof RTCPeerConnection")).toString(), QStringLiteral("undefined"));
        writeFile(out, "<p>dritte</p>");
        QVERIFY(pane.load(out));
        QCOMPARE(pane.text(), QStringLiteral("dritte"));
    }

    // Frames follow the page's rules: a frame of another folder's Output.htm, or of a data:
    // address that ends in the name, shows nothing and runs nothing.
    void framesKeepToThePagesRules()
    {
        IsolatedEnvironment env;
        const QString scratch = env.root() + QStringLiteral("/scratch");
        const QString site = env.root() + QStringLiteral("/site");
        const QString other = env.root() + QStringLiteral("/other");
        for (const QString &dir : {scratch, site, other})
            QVERIFY(QDir().mkpath(dir));
        writeFile(other + QStringLiteral("/Output.htm"), "<script>parent.postMessage('fremd', '*')</script>");
        Pane pane;
        pane.view.setDocumentFolder(site);
        const QString out = scratch + QStringLiteral("/Output.htm");
        writeFile(out, "<script>window.got = []; addEventListener('message', e => got.push(e.data));</script>"
                       "<iframe src='file://" + QFile::encodeName(other) + "/Output.htm'></iframe>"
                       "<iframe src=\"data:text/html,<script>parent.postMessage('daten', '*')</script>:Output.htm\">"
                       "</iframe>");
        QVERIFY(pane.load(out));
        // The page has loaded; a frame's message would come within moments.
        QVERIFY(!waitUntil([&] { return pane.js(QStringLiteral("got.length")).toInt() > 0; }, 1000));
        QVERIFY(std::any_of(pane.asked.cbegin(), pane.asked.cend(),
                            [](const QString &u) { return u.startsWith(QLatin1String("data:")); }));
    }

    void pageDialogsNeverBlock()
    {
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, "<script>for (let i = 0; i < 500; i++) alert(i);"
                       "const c = confirm('?'); const p = prompt('?', 'x');"
                       "document.title = 'fertig ' + c + ' ' + p;</script>");
        QVERIFY(pane.load(out));
        QVERIFY(waitUntil([&] { return pane.view.title() == QStringLiteral("fertig false null"); }));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!(w->isVisible() && w->isModal()), qPrintable(w->windowTitle()));
    }

    // A link to a remote page named like the output: the server is never asked.
    void remoteOutputNeverShows()
    {
        TestHttpServer server;
        if (!server.isListening())
            QSKIP("port 80 of 127.0.0.2 is not available (needs root)");
        server.route("/Output.htm", TestHttpServer::ok("<p>remote</p>"));
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, "<p>local</p><a id='r' href='http://127.0.0.2/Output.htm'>r</a>"
                       "<a id='p' href='http://127.0.0.2:80/x/Output.htm'>p</a>"
                       "<a id='c' href='http://127.0.0.2/p:Output.htm'>c</a>"
                       "<a id='q' href='http://127.0.0.2:80/?q=:Output.htm'>q</a>");
        QVERIFY(pane.load(out));
        for (const char *id : {"r", "p", "c", "q"}) {
            const int asked = pane.asked.size();
            pane.js(QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(id)));
            QVERIFY(waitUntil([&] { return pane.asked.size() == asked + 1; }));
        }
        QTest::qWait(200);
        QCOMPARE(server.requestCount(), 0);
        QCOMPARE(pane.text().left(5), QStringLiteral("local"));
    }

    // Ways out that the engine asks nobody about: the pane comes back to the output.
    void pageCannotBlankOrLeaveThePane()
    {
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, "<p>shown</p><a id='b' href='about:blank'>b</a>");
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        QVERIFY(pane.load(out));
        QSignalSpy changes(&pane.view, &QWebEngineView::urlChanged);
        pane.js(QStringLiteral("document.getElementById('b').click()"));
        QVERIFY(waitUntil([&] { return changes.size() >= 2 && pane.view.url().fileName() == OutputFileName; }));
        QVERIFY(waitUntil([&] { return pane.text().startsWith(QStringLiteral("shown")); }));
        // Back through the history, to the program's empty start page.
        changes.clear();
        pane.js(QStringLiteral("history.back()"));
        QVERIFY(waitUntil([&] { return changes.size() >= 2 && pane.view.url().fileName() == OutputFileName; }));
        QVERIFY(waitUntil([&] { return pane.text().startsWith(QStringLiteral("shown")); }));
        // A page that leaves whenever it is shown: it stays, without its scripts.
        writeFile(out, "<p>hartnaeckig</p><script>location.href = 'about:blank';</script>");
        pane.view.Navigate(out);
        QVERIFY(waitUntil([&] { return pane.view.url().fileName() == OutputFileName && pane.text() == QStringLiteral("hartnaeckig"); }, 10000));
        QTest::qWait(300);
        QCOMPARE(pane.view.url().fileName(), OutputFileName);
        // The program's own blank page is shown as asked.
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        QTest::qWait(100);
        QCOMPARE(pane.view.url().toString(), QStringLiteral("about:blank"));
    }

    // The context menu as the user opens it: German, and nothing in it leaves the output.
    void contextMenuOffersNoWayOut()
    {
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, "<p style='font-size:40px'>Text zum Kopieren</p>");
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        QVERIFY(pane.load(out));
        QVERIFY(QTest::qWaitForWindowExposed(&pane.view));
        QVERIFY(activate(&pane.view));
        const QPoint at = pane.view.mapToGlobal(QPoint(40, 20));
        QMenu *menu = nullptr;
        QVERIFY(waitUntil([&] {
            if (!menu) {
                // The real pointer, as the user's hand moves it.
                xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                         QStringLiteral("click"), QStringLiteral("3")});
                QTest::qWait(200);
            }
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *m = qobject_cast<QMenu *>(w); m && m->isVisible())
                    menu = m;
            return menu != nullptr;
        }, 10000));
        QStringList entries;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                entries << a->text();
        menu->close();
        QVERIFY2(!entries.isEmpty(), "no entries");
        for (const QString &entry : entries) {
            for (const char *leaving : {"Back", "Forward", "Reload", "View page source", "Save page", "Zurück",
                                        "Vor", "Neu laden", "Seitenquelltext", "Seite speichern", "Fenster"})
                QVERIFY2(!entry.contains(QString::fromUtf8(leaving)), qPrintable(entries.join(QLatin1String(" | "))));
        }
        QVERIFY2(entries.join(QLatin1Char('|')).contains(QStringLiteral("Kopieren"))
                     || entries.join(QLatin1Char('|')).contains(QStringLiteral("auswählen")),
                 qPrintable(entries.join(QLatin1String(" | "))));
    }

    // A page's own copy (a copy listener and execCommand, in the page and in a frame it made,
    // after the user's click) and the selection its script makes leave what the user had
    // copied and selected where it was; the user's own Ctrl+A and Ctrl+C in the pane copy.
    void pageWritesNoClipboard()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("meins"));
        const bool selection = clipboard->supportsSelection();
        if (selection)
            clipboard->setText(QStringLiteral("meine Auswahl"), QClipboard::Selection);
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        writeFile(out, "<body style='margin:0'><p id='t' style='font-size:40px;margin:0'>Seitentext</p><script>"
                       "window.clicks = 0;"
                       "function hostile() {"
                       "  const r = document.createRange(); r.selectNodeContents(document.getElementById('t'));"
                       "  getSelection().removeAllRanges(); getSelection().addRange(r);"
                       "  const own = e => { e.clipboardData.setData('text/plain', 'fremd'); e.preventDefault(); };"
                       "  document.addEventListener('copy', own);"
                       "  document.execCommand('copy');"
                       "  const f = document.createElement('iframe'); document.body.appendChild(f);"
                       "  f.contentDocument.body.textContent = 'Rahmen';"
                       "  f.contentDocument.execCommand('selectAll'); f.contentDocument.execCommand('copy');"
                       "  document.removeEventListener('copy', own);"
                       "  f.remove(); getSelection().removeAllRanges();"
                       "  window.clicks++;"
                       "}"
                       "document.addEventListener('mousedown', hostile, {once: true});"
                       "</script></body>");
        QVERIFY(pane.load(out));
        QVERIFY(QTest::qWaitForWindowExposed(&pane.view));
        QVERIFY(activate(&pane.view));
        const int refusedBefore = platform::EngineClipboard::refused();
        const QPoint at = pane.view.mapToGlobal(QPoint(200, 250));
        QVERIFY(waitUntil([&] {
            if (pane.js(QStringLiteral("window.clicks")).toInt() > 0)
                return true;
            xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                     QStringLiteral("click"), QStringLiteral("1")});
            return false;
        }, 10000));
        // The engine tried, and was refused.
        QVERIFY(waitUntil([&] { return platform::EngineClipboard::refused() > refusedBefore; }));
        QCOMPARE(clipboard->text(), QStringLiteral("meins"));
        if (selection)
            QCOMPARE(clipboard->text(QClipboard::Selection), QStringLiteral("meine Auswahl"));
        // The user's own commands in the pane.
        QVERIFY(activate(&pane.view));
        pane.view.focusProxy()->setFocus();
        QVERIFY(waitUntil([&] {
            if (clipboard->text() == QLatin1String("Seitentext"))
                return true;
            xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")});
            QTest::qWait(200);
            return false;
        }, 10000));
        if (selection)
            QVERIFY(waitUntil([&] { return clipboard->text(QClipboard::Selection) == QLatin1String("Seitentext"); }));
    }

    // The filter knows what a page loads: its own frames and what a web page takes from beside
    // it, from the disk. An address of the network and a kind it does not know (a beacon, a
    // socket, in the page or its worker) are refused before anything could answer, even were
    // the engine's own rule against remote addresses in local pages not there.
    void requestsOnlyOfThePagesOwn()
    {
        QTcpServer tcp;
        QVERIFY(tcp.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&tcp, &QTcpServer::newConnection, &tcp, [&] { ++connections; });
        IsolatedEnvironment env;
        const QString scratch = env.root() + QStringLiteral("/scratch");
        QVERIFY(QDir().mkpath(scratch));
        Pane pane;
        pane.view.setDocumentFolder(env.root());
        QVERIFY(pane.load(QStringLiteral("about:blank")));
        pane.view.page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        writeFile(env.root() + QStringLiteral("/eigen.js"), "window.own = 'geladen';");
        const QByteArray remote = "http://127.0.0.1:" + QByteArray::number(tcp.serverPort());
        const QByteArray socket = "ws://127.0.0.1:" + QByteArray::number(tcp.serverPort());
        writeFile(scratch + QStringLiteral("/Output.htm"),
                  "<body><script src='eigen.js'></script>"
                  "<img src='" + remote + "/bild.png'>"
                  "<link rel='stylesheet' href='" + remote + "/stil.css'>"
                  "<script>"
                  "fetch('" + remote + "/daten').catch(() => {});"
                  "navigator.sendBeacon('" + remote + "/ping', 'x');"
                  "try { new WebSocket('" + socket + "/seite'); } catch (e) {}"
                  "new Worker(URL.createObjectURL(new Blob([\"try { new WebSocket('" + socket + "/arbeiter'); } catch (e) {}\"])));"
                  "</script></body>");
        const int before = pane.view.refusedRequests();
        QVERIFY(pane.load(scratch + QStringLiteral("/Output.htm")));
        QCOMPARE(pane.js(QStringLiteral("window.own")).toString(), QStringLiteral("geladen"));
        QVERIFY2(waitUntil([&] { return pane.view.refusedRequests() - before >= 6; }),
                 qPrintable(QString::number(pane.view.refusedRequests() - before)));
        QCOMPARE(connections, 0);
    }

    // The document's folder is the output's own (a document saved in the scratch folder): what
    // the page loads from beside it is the file itself, and loads.
    void outputInTheDocumentsOwnFolder()
    {
        IsolatedEnvironment env;
        Pane pane;
        pane.view.setDocumentFolder(env.root());
        writeFile(env.root() + QStringLiteral("/eigen.js"), "window.own = 'geladen';");
        writeFile(env.root() + QStringLiteral("/Output.htm"), "<script src='eigen.js'></script>");
        QVERIFY(pane.load(env.root() + QStringLiteral("/Output.htm")));
        QCOMPARE(pane.js(QStringLiteral("window.own")).toString(), QStringLiteral("geladen"));
    }

    void rewrittenOutputIsShownAfresh()
    {
        IsolatedEnvironment env;
        Pane pane;
        const QString out = env.root() + QStringLiteral("/Output.htm");
        for (const char *text : {"eins", "zwei", "drei"}) {
            writeFile(out, text);
            QVERIFY(pane.load(out));
            QCOMPARE(pane.text(), QString::fromLatin1(text));
        }
    }
};

KORLITH_TEST_MAIN(TestBrowserPane)
#include "tst_browserpane.moc"
