// Completion and signature help: the interpreter's catalog against what the same interpreter
// says by `php -r`, its cache, the document's own names, and the list and the tip under keys.
#include "CodeCompletion.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "WebBrowser.h"
#include "core/PhpCompletion.h"
#include "platform/PhpCatalogSource.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>

namespace {

QString phpProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("php"));
}

QByteArray phpSays(const QString &php, const QString &code)
{
    QProcess p;
    p.start(php, {QStringLiteral("-r"), code});
    p.waitForFinished(20000);
    return p.readAllStandardOutput().trimmed();
}

// "name:type:optional:reference:variadic" for each parameter, joined by " ".
QString parameterList(const PhpRoutine &r)
{
    QStringList out;
    for (const PhpParameter &p : r.parameters)
        out << QStringLiteral("%1:%2:%3:%4:%5")
                   .arg(p.name, p.type)
                   .arg(int(p.optional || p.variadic))
                   .arg(int(p.byReference))
                   .arg(int(p.variadic));
    return out.join(QLatin1Char(' '));
}

const char ReflectedParameters[] =
    "$r = %1; $o = []; foreach ($r->getParameters() as $p) $o[] = $p->getName() . ':' . ($p->hasType() ? "
    "(string)$p->getType() : '') . ':' . (int)$p->isOptional() . ':' . (int)$p->isPassedByReference() . ':' "
    ". (int)$p->isVariadic(); echo implode(' ', $o);";

std::shared_ptr<const PhpCatalog> catalogOf(platform::PhpCatalogSource &source, const QString &php)
{
    std::shared_ptr<const PhpCatalog> c;
    waitUntil([&] { return (c = source.catalog(php)) != nullptr; }, 30000);
    return c;
}

// A program in the temporary folder that stands where an interpreter is expected.
QString notAnInterpreter(const QString &folder, const QString &name, const QByteArray &script)
{
    const QString path = folder + QLatin1Char('/') + name;
    writeFile(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

CompletionSite siteOf(const QString &line)
{
    PhpSyntax syntax;
    QList<SyntaxRange> ranges;
    syntax.highlightLine(line, -1, ranges);
    return completionSite(line, ranges, SyntaxState::Html, int(line.size()));
}

QByteArray registryWith(const QString &interpreter)
{
    return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\"\n\"Interpreter\"=\""
           + interpreter.toUtf8() + "\"\n\n";
}

struct Window
{
    ProgramForms forms;
    bool show()
    {
        Form1->show();
        if (!QTest::qWaitForWindowExposed(Form1))
            return false;
        Form1->memo1()->setFocus();
        return activate(Form1) && waitUntil([] { return Form1->memo1()->hasFocus(); });
    }
    QPlainTextEdit *memo() const { return Form1->memo1(); }
    QListWidget *list() const { return Form1->findChild<QListWidget *>(QStringLiteral("Vervollstaendigung")); }
    QLabel *tip() const { return Form1->findChild<QLabel *>(QStringLiteral("Parameterhilfe")); }
    bool listShows() const { return list() && list()->isVisible(); }
    bool tipShows() const { return tip() && tip()->isVisible(); }
    // All of the tip's text has room in it, and the tip in the window.
    bool wholeTipShows() const
    {
        QLabel probe;
        probe.setFont(tip()->font());
        probe.setFrameShape(tip()->frameShape());
        probe.setMargin(tip()->margin());
        probe.setTextFormat(Qt::RichText);
        probe.setWordWrap(true);
        probe.setText(tip()->text());
        return tipShows() && tip()->height() >= probe.heightForWidth(tip()->width())
            && Form1->rect().contains(tip()->geometry());
    }
    QStringList items() const
    {
        QStringList out;
        if (listShows())
            for (int i = 0; i < list()->count(); ++i)
                out << list()->item(i)->text();
        return out;
    }
    void startWith(const QString &text)
    {
        memo()->setPlainText(text);
        memo()->moveCursor(QTextCursor::End);
    }
    QString caretLine() const { return memo()->textCursor().block().text(); }
    // Keys as the user types them; the list follows each once the editor has it.
    void type(const QString &keys)
    {
        const QStringList lines = keys.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(memo(), Qt::Key_Return);
            QTest::keyClicks(memo(), lines[i]);
            QCoreApplication::processEvents();
        }
    }
};

} // namespace

class TestCompletion : public QObject
{
    Q_OBJECT

private slots:
    // One pass finds what the document declares, and nothing in strings, comments, heredocs or
    // the HTML around PHP.
    void documentNames()
    {
        const DocumentNames names = scanDocumentNames(QStringLiteral(
            "<p>function imHtml() {}</p>\n<?php\n"
            "// function imKommentar() {}\n"
            "$s = 'function imString() { class ImString {}';\n"
            "$h = <<<EOT\nclass ImHeredoc {}\nEOT;\n"
            "function &rechne(int &$a, ?string $b = null, ...$rest): ?int { $lokal = 1; }\n"
            "abstract class Zaehler extends \\ArrayObject {\n"
            "    const START = 1;\n"
            "    public static $anzahl = 0;\n"
            "    public $wert;\n"
            "    public static function neu(): static { return new static(); }\n"
            "    function hoch($um = 1) { return $this->wert += $um; }\n"
            "}\n"
            "$z = new Zaehler();\n$k = Zaehler::class;\n"
            "?>\n<b>class ImHtml {}</b><?php enum Farbe: string { case Rot = 'r'; }"));
        QCOMPARE(names.functions.size(), 1);
        const PhpRoutine &f = names.functions.first();
        QCOMPARE(f.name, QStringLiteral("rechne"));
        QCOMPARE(f.signature(), QStringLiteral("rechne(int &$a, ?string $b = null, ...$rest): ?int"));
        QVERIFY(f.parameters[0].byReference && f.parameters[1].optional && f.parameters[2].variadic);
        QStringList classes;
        for (const PhpClass &c : names.classes)
            classes << c.kind + QLatin1Char(' ') + c.name;
        QCOMPARE(classes, QStringList({QStringLiteral("class Zaehler"), QStringLiteral("enum Farbe")}));
        const PhpClass *z = names.findClass(QStringLiteral("zaehler"));
        QVERIFY(z);
        QCOMPARE(z->parent, QStringLiteral("\\ArrayObject"));
        QCOMPARE(z->constants, QStringList{QStringLiteral("START")});
        QCOMPARE(z->staticProperties, QStringList{QStringLiteral("anzahl")});
        QCOMPARE(z->properties, QStringList{QStringLiteral("wert")});
        QCOMPARE(z->methods.size(), 2);
        QVERIFY(z->methods[0].isStatic && !z->methods[1].isStatic);
        QCOMPARE(z->methods[1].signature(), QStringLiteral("hoch($um = 1)"));
        QCOMPARE(names.instances.value(QStringLiteral("$z")), QStringLiteral("Zaehler"));
        QCOMPARE(names.variables, QStringList({QStringLiteral("$s"), QStringLiteral("$h"), QStringLiteral("$a"),
                                               QStringLiteral("$b"), QStringLiteral("$rest"),
                                               QStringLiteral("$lokal"), QStringLiteral("$um"),
                                               QStringLiteral("$z"), QStringLiteral("$k")}));
        const QString text = QStringLiteral("<?php class A { function f() { $x; } } $y;");
        const DocumentNames inner = scanDocumentNames(text);
        QCOMPARE(inner.classAt(int(text.indexOf(QLatin1String("$x"))))->name, QStringLiteral("A"));
        QCOMPARE(inner.classAt(int(text.indexOf(QLatin1String("$y")))), nullptr);
    }

    // What the caret stands after, and the call it is in.
    void sitesAndCalls()
    {
        const CompletionSite name = siteOf(QStringLiteral("<?php echo str_r"));
        QCOMPARE(int(name.kind), int(CompletionSite::Name));
        QCOMPARE(name.prefix, QStringLiteral("str_r"));
        QCOMPARE(name.start, 11);
        QCOMPARE(int(siteOf(QStringLiteral("<?php echo 'str_r")).kind), int(CompletionSite::None));
        QCOMPARE(int(siteOf(QStringLiteral("<?php echo \"a $b str_r")).kind), int(CompletionSite::None));
        QCOMPARE(int(siteOf(QStringLiteral("<?php // str_r")).kind), int(CompletionSite::None));
        QCOMPARE(int(siteOf(QStringLiteral("<?php /* str_r")).kind), int(CompletionSite::None));
        QCOMPARE(int(siteOf(QStringLiteral("<p>str_r")).kind), int(CompletionSite::None));
        QCOMPARE(int(siteOf(QStringLiteral("<?php $x = 12")).kind), int(CompletionSite::None));
        const CompletionSite member = siteOf(QStringLiteral("<?php $z?->ho"));
        QCOMPARE(int(member.kind), int(CompletionSite::Member));
        QCOMPARE(member.receiver, QStringLiteral("$z"));
        QCOMPARE(member.prefix, QStringLiteral("ho"));
        const CompletionSite statics = siteOf(QStringLiteral("<?php \\Foo\\Bar::"));
        QCOMPARE(int(statics.kind), int(CompletionSite::Static));
        QCOMPARE(statics.receiver, QStringLiteral("\\Foo\\Bar"));
        const CompletionSite variable = siteOf(QStringLiteral("<?php $va"));
        QCOMPARE(int(variable.kind), int(CompletionSite::Variable));
        QCOMPARE(variable.prefix, QStringLiteral("$va"));

        const CallSite nested = callSiteBefore(u"$a = f(1, g(2, 3), [4, 5], ");
        QCOMPARE(int(nested.kind), int(CallSite::Function));
        QCOMPARE(nested.name, QStringLiteral("f"));
        QCOMPARE(nested.argument, 3);
        const CallSite inner = callSiteBefore(u"f(1, g(2, ");
        QCOMPARE(inner.name, QStringLiteral("g"));
        QCOMPARE(inner.argument, 1);
        const CallSite method = callSiteBefore(u"$z->hoch(");
        QCOMPARE(int(method.kind), int(CallSite::Method));
        QCOMPARE(method.receiver, QStringLiteral("$z"));
        QCOMPARE(int(callSiteBefore(u"new Zaehler(1, ").kind), int(CallSite::New));
        QCOMPARE(int(callSiteBefore(u"Zaehler::neu(").kind), int(CallSite::Static));
        QCOMPARE(int(callSiteBefore(u"$a = [1, ").kind), int(CallSite::None));
        QCOMPARE(int(callSiteBefore(u"function f($a, ").kind), int(CallSite::None));
        QCOMPARE(int(callSiteBefore(u"f(1); $b = ").kind), int(CallSite::None));
        QCOMPARE(int(callSiteBefore(u"f(1)").kind), int(CallSite::None));
        // The variadic parameter takes every later argument.
        PhpRoutine r;
        r.name = QStringLiteral("m");
        r.parameters = {PhpParameter{QStringLiteral("a"), {}, {}, false, false, false},
                        PhpParameter{QStringLiteral("v"), QStringLiteral("mixed"), {}, false, true, false}};
        QCOMPARE(r.signature(3, QStringLiteral("<"), QStringLiteral(">")), QStringLiteral("m($a, <mixed ...$v>)"));
    }

    // The interpreter's own catalog agrees with what it says of the same names; it is kept and
    // read back while the interpreter's file is the same, and asked anew when the cache is
    // broken or the file changed.
    void catalogAgreesWithThisPhp()
    {
        IsolatedEnvironment env;
        const QString system = phpProgram();
        QVERIFY(!system.isEmpty());
        // A copy of the interpreter, whose file the case may change.
        const QString php = env.root() + QStringLiteral("/php");
        QVERIFY(QFile::copy(QFileInfo(system).canonicalFilePath(), php));
        platform::PhpCatalogSource source;
        const std::shared_ptr<const PhpCatalog> catalog = catalogOf(source, php);
        QVERIFY(catalog);
        QCOMPARE(catalog->version.toUtf8(), phpSays(php, QStringLiteral("echo PHP_VERSION;")));
        QCOMPARE(QByteArray::number(catalog->functions.size()),
                 phpSays(php, QStringLiteral("echo count(get_defined_functions()['internal']);")));
        for (const char *name : {"str_replace", "array_map", "preg_match"}) {
            const PhpRoutine *f = catalog->function(QString::fromLatin1(name).toUpper());
            QVERIFY2(f, name);
            QCOMPARE(parameterList(*f).toUtf8(),
                     phpSays(php, QString::fromLatin1(ReflectedParameters)
                                      .arg(QStringLiteral("new ReflectionFunction('%1')").arg(QLatin1String(name)))));
        }
        const PhpClass *date = catalog->findClass(QStringLiteral("\\datetime"));
        QVERIFY(date);
        const auto format = std::find_if(date->methods.begin(), date->methods.end(),
                                         [](const PhpRoutine &m) { return m.name == QLatin1String("format"); });
        QVERIFY(format != date->methods.end());
        QCOMPARE(parameterList(*format).toUtf8(),
                 phpSays(php, QString::fromLatin1(ReflectedParameters).arg(QStringLiteral("new ReflectionMethod('DateTime', 'format')"))));
        QVERIFY(date->constants.contains(QStringLiteral("ATOM")));
        // A constant of a loaded extension is there; none of one that is not loaded.
        QCOMPARE(phpSays(php, QStringLiteral("echo (int)extension_loaded('pcre');")), QByteArray("1"));
        QVERIFY(catalog->constants.contains(QStringLiteral("PREG_SPLIT_NO_EMPTY")));
        bool checkedAbsent = false;
        for (const auto &[extension, constant] : {std::pair{"mbstring", "MB_CASE_UPPER"}, {"curl", "CURLOPT_URL"},
                                                  {"gd", "IMG_PNG"}, {"intl", "INTL_MAX_LOCALE_LEN"}}) {
            if (phpSays(php, QStringLiteral("echo (int)extension_loaded('%1');").arg(QLatin1String(extension))) == "1")
                continue;
            QVERIFY2(!catalog->constants.contains(QLatin1String(constant)), constant);
            checkedAbsent = true;
        }
        QVERIFY(checkedAbsent);
        // Keywords as this interpreter's lexer has them.
        QVERIFY(catalog->keywords.contains(QStringLiteral("foreach")));
        QVERIFY(catalog->keywords.contains(QStringLiteral("match")));

        // Kept: a new source reads it back without asking (the kept one says so by its version).
        const QString cache = platform::PhpCatalogSource::cachePath(php);
        QVERIFY(cache.startsWith(env.cacheHome() + QStringLiteral("/Korlith/")));
        QByteArray kept = readAll(cache);
        QVERIFY(kept.contains(catalog->version.toUtf8()));
        writeFile(cache, QByteArray(kept).replace("\"version\":\"" + catalog->version.toUtf8() + '"',
                                                  "\"version\":\"aus dem Cache\""));
        {
            platform::PhpCatalogSource again;
            QCOMPARE(catalogOf(again, php)->version, QStringLiteral("aus dem Cache"));
        }
        // Broken, or another file's: asked anew, and kept anew.
        for (const QByteArray &spoilt : {kept.left(kept.size() / 2), QByteArray(kept).replace("\"functions\"", "\"f\""),
                                        QByteArray("fremd\n") + kept.mid(kept.indexOf('\n') + 1)}) {
            writeFile(cache, spoilt);
            platform::PhpCatalogSource again;
            QCOMPARE(catalogOf(again, php)->version, catalog->version);
            QCOMPARE(readAll(cache), kept);
        }
        writeFile(cache, QByteArray(kept).replace("\"version\":\"" + catalog->version.toUtf8() + '"',
                                                  "\"version\":\"aus dem Cache\""));
        QFile file(php);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(catalogOf(source, php)->version, catalog->version);
    }

    // An interpreter that cannot answer says so once, and is not asked again meanwhile.
    void interpreterThatCannotAnswer()
    {
        IsolatedEnvironment env;
        const QString notPhp = notAnInterpreter(env.root(), QStringLiteral("kein-php"), "#!/bin/sh\necho Hallo\n");
        const QString crashes = notAnInterpreter(env.root(), QStringLiteral("stuerzt"), "#!/bin/sh\nkill -SEGV $$\n");
        const QString unstartable = notAnInterpreter(env.root(), QStringLiteral("startet-nicht"), "#!/nicht/da\n");
        for (const auto &[program, why] : {std::pair{notPhp, "gibt keine Auskunft"}, {crashes, "ist abgestürzt (Signal 11)"},
                                           {unstartable, "lässt sich nicht starten"}}) {
            platform::PhpCatalogSource source;
            QSignalSpy said(&source, &platform::PhpCatalogSource::unavailable);
            QCOMPARE(source.catalog(program), nullptr);
            QVERIFY(waitUntil([&] { return said.size() == 1; }, 20000));
            QVERIFY2(said.first().first().toString().contains(QString::fromUtf8(why)),
                     qPrintable(said.first().first().toString()));
            QVERIFY(said.first().first().toString().startsWith(QStringLiteral("Die Vervollständigung kennt nur die Namen des Dokuments")));
            QCOMPARE(source.catalog(program), nullptr);
            QVERIFY(!source.busy());
            QCOMPARE(source.catalog(program), nullptr);
            QVERIFY(!source.busy());
            QCoreApplication::processEvents();
            QCOMPARE(said.size(), 1);
            QVERIFY(!QFile::exists(platform::PhpCatalogSource::cachePath(program)));
        }
        // No interpreter set at all: said in plain words, not as an empty name.
        platform::PhpCatalogSource source;
        QSignalSpy said(&source, &platform::PhpCatalogSource::unavailable);
        QCOMPARE(source.catalog(QString()), nullptr);
        QVERIFY(waitUntil([&] { return said.size() == 1; }, 20000));
        QCOMPARE(said.first().first().toString(),
                 QStringLiteral("Die Vervollständigung kennt nur die Namen des Dokuments: Es ist kein PHP-Interpreter eingestellt."));
    }

    // The list and the tip in the window, under the keys: what fits, Tab, Escape, Enter.
    void listAndTipUnderKeys()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredWithPhp);
        Window w;
        QVERIFY(w.show());
        w.startWith(QStringLiteral("<?php echo 'lief';\nfunction eigene_hilfe(int $wie) {}\n"
                                   "class Zaehler { public $wert; function hoch(int $um = 1) {} }\n"
                                   "$z = new Zaehler();\n$d = new ArrayObject();\n"));
        // Two letters open it; the interpreter's names come in as they arrive.
        w.type(QStringLiteral("str_rep"));
        QVERIFY(waitUntil([&] { return w.items() == QStringList({QStringLiteral("str_repeat"), QStringLiteral("str_replace")}); }, 30000));
        QTest::keyClick(w.memo(), Qt::Key_Down);
        QTest::keyClick(w.memo(), Qt::Key_Tab);
        QCOMPARE(w.caretLine(), QStringLiteral("str_replace"));
        QVERIFY(!w.listShows());
        // The tip follows the arguments; commas in strings are not theirs.
        w.type(QStringLiteral("("));
        QVERIFY(w.tipShows());
        QCOMPARE(w.tip()->property("signature").toString().toUtf8(),
                 phpSays(phpProgram(), QStringLiteral(
                     "$f = new ReflectionFunction('str_replace'); $p = []; foreach ($f->getParameters() as $x) "
                     "$p[] = ($x->hasType() ? $x->getType() . ' ' : '') . ($x->isPassedByReference() ? '&' : '') . '$' "
                     ". $x->getName() . ($x->isOptional() ? ' = ' . strtolower(var_export($x->getDefaultValue(), true)) : ''); "
                     "echo 'str_replace(', implode(', ', $p), '): ', $f->getReturnType();")));
        QVERIFY2(w.tip()->text().contains(QStringLiteral("<b><u>array|string $search</u></b>")), qPrintable(w.tip()->text()));
        QVERIFY(w.wholeTipShows());
        // In a window narrower than the signature it wraps; nothing of it is cut off.
        const QSize wide = Form1->size();
        Form1->resize(480, wide.height());
        QVERIFY(waitUntil([&] { return Form1->width() < w.tip()->width(); }));
        w.type(QStringLiteral("'a,b', "));
        QVERIFY(w.tip()->wordWrap());
        QVERIFY(w.wholeTipShows());
        Form1->resize(wide);
        QCOMPARE(w.tip()->property("argument").toInt(), 1);
        w.type(QStringLiteral("f(1, 2), $z"));
        QCOMPARE(w.tip()->property("argument").toInt(), 2);
        w.type(QStringLiteral(")"));
        QVERIFY(!w.tipShows());
        // The document's own: its function, its class's members, an extension's class's methods.
        w.startWith(w.memo()->toPlainText() + QStringLiteral(";\n"));
        w.type(QStringLiteral("eig"));
        QVERIFY(w.items().contains(QStringLiteral("eigene_hilfe")));
        QTest::keyClick(w.memo(), Qt::Key_Tab);
        w.type(QStringLiteral("("));
        QCOMPARE(w.tip()->property("signature").toString(), QStringLiteral("eigene_hilfe(int $wie)"));
        w.type(QStringLiteral(");\n$z->"));
        QCOMPARE(w.items(), QStringList({QStringLiteral("hoch"), QStringLiteral("wert")}));
        QTest::keyClick(w.memo(), Qt::Key_Escape);
        QVERIFY(!w.listShows());
        w.type(QStringLiteral("hoch;\n$d->app"));
        QCOMPARE(w.items(), QStringList{QStringLiteral("append")});
        // Enter keeps its meaning: the run has the text as typed, the line breaks, the list goes.
        w.startWith(QStringLiteral("<?php echo 'lief', \n;"));
        QTextCursor caret = w.memo()->textCursor();
        caret.setPosition(int(w.memo()->toPlainText().indexOf(QLatin1Char('\n'))));
        w.memo()->setTextCursor(caret);
        w.type(QStringLiteral("arr"));
        QVERIFY(w.listShows());
        QTest::keyClick(w.memo(), Qt::Key_Return);
        QVERIFY(!w.listShows());
        QCOMPARE(w.memo()->toPlainText(), QStringLiteral("<?php echo 'lief', arr\n\n;"));
        QVERIFY(waitUntil([] { return pageText(Form1->WebBrowser1()).startsWith(QStringLiteral("lief")); }, 10000));
        // Nothing inside strings, comments, or HTML outside PHP; Ctrl+Space anywhere in code.
        for (const QString &line : {QStringLiteral("echo \"str_r"), QStringLiteral("echo 'str_r"),
                                    QStringLiteral("// str_r"), QStringLiteral("?><p>str_r")}) {
            w.startWith(QStringLiteral("<?php\n"));
            w.type(line);
            QVERIFY2(!w.listShows(), qPrintable(line));
            QTest::keyClick(w.memo(), Qt::Key_Space, Qt::ControlModifier);
            QVERIFY2(!w.listShows(), qPrintable(line));
        }
        w.startWith(QStringLiteral("<?php\n"));
        QTest::keyClick(w.memo(), Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(w.items().size() > 1000);
        QVERIFY(w.items().contains(QStringLiteral("foreach")));
        QTest::keyClick(w.memo(), Qt::Key_Escape);
        QVERIFY(!w.listShows());
    }

    // Without the interpreter's names, the document's own are offered, and the bar says why once.
    void documentNamesWithoutTheInterpreter()
    {
        IsolatedEnvironment env;
        const QString notPhp = notAnInterpreter(env.root(), QStringLiteral("kein-php"), "#!/bin/sh\necho Hallo\n");
        env.writeRegistry(registryWith(notPhp));
        Window w;
        QVERIFY(w.show());
        QStringList said;
        QObject::connect(Form1->statusBar(), &QStatusBar::messageChanged, [&](const QString &m) {
            if (m.startsWith(QStringLiteral("Die Vervollständigung kennt nur")))
                said << m;
        });
        w.startWith(QStringLiteral("<?php function eigene_hilfe() {}\n$eigener = 1;\n"));
        w.type(QStringLiteral("ei"));
        QCOMPARE(w.items(), QStringList{QStringLiteral("eigene_hilfe")});
        QVERIFY(waitUntil([&] { return said.size() == 1; }, 20000));
        QVERIFY(said.first().contains(notPhp));
        QTest::keyClick(w.memo(), Qt::Key_Escape);
        w.type(QStringLiteral(";\n$ei"));
        QCOMPARE(w.items(), QStringList{QStringLiteral("$eigener")});
        QCOMPARE(said.size(), 1);
    }

    // In a document too large to read at each key, its names follow once typing pauses: into
    // the list and the tip that wait for them, and what was typed since is in the next.
    void largeDocumentNamesFollowTyping()
    {
        IsolatedEnvironment env;
        const QString notPhp = notAnInterpreter(env.root(), QStringLiteral("kein-php"), "#!/bin/sh\nexit 1\n");
        env.writeRegistry(registryWith(notPhp));
        Window w;
        QVERIFY(w.show());
        QString text = QStringLiteral("<?php\nfunction weit_oben(int $zahl) {}\n");
        while (text.size() <= TCodeCompletion::ScanAtKey)
            text += QStringLiteral("$fuell = 1; // nichts\n");
        w.startWith(text);
        w.type(QStringLiteral("we"));
        QVERIFY(waitUntil([&] { return w.items() == QStringList{QStringLiteral("weit_oben")}; }));
        QTest::keyClick(w.memo(), Qt::Key_Escape);
        // Whatever the first scan left to do is done; what follows needs the pause's own scan.
        QTest::qWait(3 * TCodeCompletion::ScanPause);
        w.type(QStringLiteral("_unten();\nfunction neu_unten(string $wort) {}\nneu_unten("));
        QVERIFY(waitUntil([&] { return w.tipShows(); }));
        QCOMPARE(w.tip()->property("signature").toString(), QStringLiteral("neu_unten(string $wort)"));
        QTest::keyClick(w.memo(), Qt::Key_Escape);
        w.type(QStringLiteral(");\nneu"));
        QVERIFY(waitUntil([&] { return w.items() == QStringList{QStringLiteral("neu_unten")}; }));
    }
};

KORLITH_TEST_MAIN(TestCompletion)
#include "tst_completion.moc"
