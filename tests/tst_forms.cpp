// Forms and links of the output page that lead back to the document: run through PHP's CGI
// interpreter in the real window, with cookies, uploads, redirects and Shift+F5.
#include "TestMain.h"
#include "TestSupport.h"
#include "CodeEdit.h"
#include "FormSupport.h"
#include "Preview.h"
#include "Unit1.h"
#include "WebBrowser.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QWebEngineView>

namespace {

struct Window
{
    ProgramForms forms;
    explicit Window(const QString &document)
    {
        Form1->show();
        if (!QTest::qWaitForWindowExposed(Form1))
            return;
        FileDialogAnswerer answers({document});
        Form1->action("ffnnen1")->trigger();
    }
    QString pane() const { return pageText(Form1->WebBrowser1()); }
    bool paneShows(const QString &text) const
    {
        const bool shown = waitUntil([&] { return pane() == text; }, 10000);
        if (!shown)
            qWarning() << "pane:" << pane() << "status:" << status();
        return shown;
    }
    QString status() const { return Form1->statusBar()->currentMessage(); }
    // Runs once the run is over and its page has loaded (a run that takes a while is shown
    // again as it ends, and a click on the page it replaces would be lost).
    bool inPage(const QString &script) const
    {
        const Preview *preview = Form1->findChild<Preview *>();
        if (!preview || !waitUntil([&] { return !preview->isRunning() && Form1->WebBrowser1()->pageSettled(); }, 20000)) {
            qWarning() << "the page did not settle; status:" << status() << "running:" << (preview && preview->isRunning())
                       << "settled:" << Form1->WebBrowser1()->pageSettled() << "url:" << Form1->WebBrowser1()->url();
            return false;
        }
        // The renderer answers late on a busy machine: each try may take seconds.
        const QString guarded = QStringLiteral("(() => { try { %1; return 'ok'; } catch (e) { return String(e); } })()").arg(script);
        QString answer;
        if (waitUntil([&] { return (answer = pageScript(Form1->WebBrowser1(), guarded).toString()) == QLatin1String("ok"); }, 20000))
            return true;
        qWarning() << "the page's script:" << answer << "pane:" << pane();
        return false;
    }
    // The key's shortcut belongs to the window: it takes it while the window is active.
    bool shiftF5() const
    {
        if (!activate(Form1))
            return false;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::ShiftModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F5, Qt::ShiftModifier);
        QApplication::sendEvent(Form1->memo1(), &press);
        QApplication::sendEvent(Form1->memo1(), &release);
        return true;
    }
};

// A form that posts to itself with a file, a session and what the server saw.
const QByteArray FormPage = R"PHP(<?php
session_start();
$_SESSION['n'] = ($_SESSION['n'] ?? 0) + 1;
if (($_SERVER['REQUEST_METHOD'] ?? '') === 'POST') {
    $f = ($_FILES['f']['error'] ?? 4) === 0 ? $_FILES['f'] : null;
    echo 'v1|', $_POST['name'] ?? '-', '|', $_GET['q'] ?? '-', '|', $_SESSION['n'], '|',
         getcwd() === __DIR__ ? 'dir' : getcwd(), '|', $f ? $f['name'] . ':' . bin2hex(file_get_contents($f['tmp_name'])) : '-',
         '|', $_SERVER['SCRIPT_NAME'], '|', $_COOKIE['gesehen'] ?? '-';
    setcookie('gesehen', 'ja');
} else {
    echo "<form method='post' action='?q=7' enctype='multipart/form-data'>",
         "<input name='name' id='name'><input type='file' name='f' id='f'><button id='go'>Senden</button></form>",
         'Formular ', PHP_SAPI;
}
)PHP";

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

    void needCgi()
    {
        if (!QFileInfo(QStringLiteral("/usr/bin/php-cgi")).isExecutable())
            QSKIP("php-cgi is not installed (scripts/install-deps.sh --tests installs it)");
    }

private slots:
    void initTestCase()
    {
        needCgi();
    }

    void formPostsToItsOwnDocument()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        QVERIFY(QDir().mkpath(env.root() + QStringLiteral("/site")));
        const QString document = env.root() + QStringLiteral("/site/index.php");
        writeFile(document, FormPage);
        Window w(document);
        // The plain run: php as on the command line.
        QVERIFY(w.paneShows(QStringLiteral("Senden\nFormular cli")));
        QVERIFY(w.inPage(QStringLiteral(
            "document.getElementById('name').value = 'Anna & B ä';"
            "const t = new DataTransfer(); t.items.add(new File(['abc\\r\\n\\0z'], 'a b.txt'));"
            "document.getElementById('f').files = t.files;"
            "document.getElementById('go').click()")));
        const QString seen = QStringLiteral("v1|Anna & B ä|7|1|dir|a b.txt:6162630d0a007a|/index.php|-");
        QVERIFY2(w.paneShows(seen), qPrintable(w.pane()));
        QCOMPARE(w.status(), QStringLiteral("POST index.php · 2 Felder"));
        // The pane stays with the output; the page shown is the body, without its headers.
        QCOMPARE(Form1->WebBrowser1()->url().fileName(), QStringLiteral("Output.htm"));

        // Shift+F5: the same request with the text as it stands now; the session and the cookie
        // the first answer set go with it.
        Form1->memo1()->setPlainText(QString::fromUtf8(FormPage).replace(QStringLiteral("'v1|'"), QStringLiteral("'v2|'")));
        QVERIFY(w.shiftF5());
        QVERIFY2(w.paneShows(QStringLiteral("v2|Anna & B ä|7|2|dir|a b.txt:6162630d0a007a|/index.php|ja")),
                 qPrintable(w.pane()));

        // F5 is the plain run, and forgets the request.
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(w.paneShows(QStringLiteral("Senden\nFormular cli")));
        QVERIFY(w.shiftF5());
        QVERIFY(waitUntil([&] { return w.status().contains(QStringLiteral("keine Anfrage")); }));
        QVERIFY(!waitUntil([&] { return w.pane() != QStringLiteral("Senden\nFormular cli"); }, 500));

        // The cookies stay through a plain run: the session goes on.
        QVERIFY(w.inPage(QStringLiteral("document.getElementById('name').value = 'C'; document.getElementById('go').click()")));
        QVERIFY2(w.paneShows(QStringLiteral("v2|C|7|3|dir|-|/index.php|ja")), qPrintable(w.pane()));
        // Open forgets them: the next session starts afresh.
        {
            FileDialogAnswerer answers({document});
            Form1->action("ffnnen1")->trigger();
        }
        QVERIFY(w.paneShows(QStringLiteral("Senden\nFormular cli")));
        QVERIFY(w.inPage(QStringLiteral("document.getElementById('name').value = 'D'; document.getElementById('go').click()")));
        QVERIFY2(w.paneShows(QStringLiteral("v1|D|7|1|dir|-|/index.php|-")), qPrintable(w.pane()));
    }

    void linksRedirectsAndWhatIsNotAPage()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        const QString document = env.root() + QStringLiteral("/seiten.php");
        writeFile(document, R"PHP(<?php
$s = $_GET['s'] ?? '';
if ($s === 'weiter') { header('Location: seiten.php?s=ziel&von=weiter'); exit; }
if ($s === 'kreis') { header('Location: ?s=kreis'); echo 'im Kreis'; exit; }
if ($s === 'fort') { header('Location: /login.php'); echo 'fort'; exit; }
if ($s === 'json') { header('Content-Type: application/json'); echo '{"a":1}'; exit; }
if ($s === 'warn') { ini_set('display_errors', '1'); echo $nix, 'gewarnt'; exit; }
echo "Seite [$s] ", $_SERVER['REQUEST_METHOD'] ?? 'cli';
foreach (['weiter', 'kreis', 'fort', 'json', 'ziel', 'warn'] as $l) echo " <a id='$l' href='?s=$l'>$l</a>";
echo " <a id='ohne' href='seiten.php'>ohne</a> <a id='anders' href='anders.php?s=1'>anders</a>";
)PHP");
        writeFile(env.root() + QStringLiteral("/anders.php"), "<?php echo 'anders';");
        Window w(document);
        const QString links = QStringLiteral(" weiter kreis fort json ziel warn ohne anders");
        QVERIFY(w.paneShows(QStringLiteral("Seite [] cli") + links));
        const auto click = [&](const char *id) {
            return w.inPage(QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(id)));
        };

        // A link with a query runs the document with it.
        QVERIFY(click("ziel"));
        QVERIFY(w.paneShows(QStringLiteral("Seite [ziel] GET") + links));
        QCOMPARE(w.status(), QStringLiteral("GET seiten.php?s=ziel"));

        // A redirect back to the document is followed with a GET.
        QVERIFY(click("weiter"));
        QVERIFY(waitUntil([&] { return w.status() == QStringLiteral("GET seiten.php?s=ziel&von=weiter"); }, 10000));
        QVERIFY(w.paneShows(QStringLiteral("Seite [ziel] GET") + links));

        // Ten in a row, then the last is shown and said.
        QVERIFY(click("kreis"));
        QVERIFY2(waitUntil([&] { return w.status().contains(QStringLiteral("10 Weiterleitungen")); }, 20000),
                 qPrintable(w.status()));
        QVERIFY(w.paneShows(QStringLiteral("im Kreis")));

        // A redirect elsewhere and a body that is no page are said; nothing else is run.
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(w.paneShows(QStringLiteral("Seite [] cli") + links));
        QVERIFY(click("fort"));
        QVERIFY2(waitUntil([&] { return w.status() == QStringLiteral("GET seiten.php?s=fort → 302 nach /login.php"); }, 10000),
                 qPrintable(w.status()));
        QVERIFY(w.paneShows(QStringLiteral("fort")));
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(w.paneShows(QStringLiteral("Seite [] cli") + links));
        QVERIFY(click("json"));
        QVERIFY(waitUntil([&] { return w.status() == QStringLiteral("GET seiten.php?s=json → kein HTML (application/json)"); }, 10000));

        // What the interpreter logs (a server's error log, not the page) marks its line; shown
        // on the page as well, it is marked once.
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(w.paneShows(QStringLiteral("Seite [] cli") + links));
        QVERIFY(click("warn"));
        QVERIFY(waitUntil([&] { return w.pane().contains(QStringLiteral("Warning: Undefined variable")) && w.pane().endsWith(QStringLiteral("gewarnt")); }));
        QVERIFY(waitUntil([&] {
            const auto marks = static_cast<TCodeEdit *>(Form1->memo1())->lineMarks();
            return marks.size() == 1 && std::get<0>(marks.first()) == 7
                && std::get<2>(marks.first()).contains(QStringLiteral("Undefined variable $nix"));
        }));

        // A link without a query and a link to another file stay where they are, as before.
        Form1->action("Jetztaktualisieren1")->trigger();
        QVERIFY(w.paneShows(QStringLiteral("Seite [] cli") + links));
        for (const char *id : {"ohne", "anders"}) {
            QVERIFY(click(id));
            QVERIFY2(!waitUntil([&] { return w.pane() != QStringLiteral("Seite [] cli") + links; }, 1000), id);
        }
    }

    void withoutTheCgiInterpreterFormsSaySo()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp.trimmed() + "\n\"CGIInterpreter\"=\"/nirgends/php-cgi\"\n");
        const QString document = env.root() + QStringLiteral("/index.php");
        writeFile(document, FormPage);
        Window w(document);
        QVERIFY(w.paneShows(QStringLiteral("Senden\nFormular cli")));
        QVERIFY(w.inPage(QStringLiteral("document.getElementById('go').click()")));
        QVERIFY(waitUntil([&] { return w.status().contains(QStringLiteral("php-cgi")); }));
        QVERIFY(!waitUntil([&] { return w.pane() != QStringLiteral("Senden\nFormular cli"); }, 1000));
        // Once: the next submit leaves the status bar alone.
        Form1->statusBar()->clearMessage();
        QVERIFY(w.inPage(QStringLiteral("document.getElementById('go').click()")));
        QVERIFY(!waitUntil([&] { return !w.status().isEmpty(); }, 1000));
    }
};

KORLITH_TEST_MAIN(TestForms)
#include "tst_forms.moc"
