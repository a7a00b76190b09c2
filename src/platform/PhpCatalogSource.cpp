// PhpCatalogSource: the cache read and the answer parsed on the thread pool, the question asked
// through the preview's container.
#include "platform/PhpCatalogSource.h"

#include "core/AppError.h"
#include "core/TextFile.h"
#include "platform/PreviewRunner.h"
#include "platform/ScratchDir.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QThreadPool>

#include <unistd.h>

namespace platform {

namespace {

const QString ScriptName = QStringLiteral("Catalog.php");
const QString OutputName = QStringLiteral("Catalog.out");
const QString ErrorsName = QStringLiteral("Catalog.err");
// Before the answer: whatever the interpreter says as it starts up comes before it.
const QByteArray AnswerMark = "\x1eKORLITH-CATALOG\n";
const QByteArray TooOldMark = "\x1eKORLITH-CATALOG-TOO-OLD ";

// Reflection from 7.1 on names types as the catalog reads them.
const char ScriptBody[] = R"php(
ini_set('display_errors', 'stderr');
if (PHP_VERSION_ID < 70100 || !function_exists('json_encode')) {
    echo "\x1eKORLITH-CATALOG-TOO-OLD ", PHP_VERSION, "\n";
    exit(3);
}
function korlith_value($v) {
    if (is_array($v)) return $v === [] ? '[]' : '[...]';
    if ($v === null) return 'null';
    if (is_string($v)) return "'" . addcslashes($v, "'\\\n\r\t") . "'";
    return var_export($v, true);
}
function korlith_routine($f) {
    $out = ['n' => $f->getName(), 'p' => []];
    foreach ($f->getParameters() as $p) {
        $d = ['n' => $p->getName()];
        if ($p->hasType()) $d['t'] = (string)$p->getType();
        if ($p->isPassedByReference()) $d['r'] = 1;
        if ($p->isVariadic()) $d['v'] = 1;
        elseif ($p->isOptional()) {
            $d['o'] = 1;
            try {
                if ($p->isDefaultValueAvailable())
                    $d['d'] = $p->isDefaultValueConstant() ? $p->getDefaultValueConstantName()
                                                           : korlith_value($p->getDefaultValue());
            } catch (Throwable $e) {}
        }
        $out['p'][] = $d;
    }
    if ($f->hasReturnType()) $out['t'] = (string)$f->getReturnType();
    elseif (method_exists($f, 'hasTentativeReturnType') && $f->hasTentativeReturnType())
        $out['t'] = (string)$f->getTentativeReturnType();
    return $out;
}
$all = ['format' => 1, 'version' => PHP_VERSION, 'functions' => [], 'classes' => [], 'constants' => [], 'keywords' => []];
foreach (get_defined_functions()['internal'] as $name)
    $all['functions'][] = korlith_routine(new ReflectionFunction($name));
foreach (array_merge(get_declared_classes(), get_declared_interfaces(), get_declared_traits()) as $name) {
    $c = new ReflectionClass($name);
    if (!$c->isInternal()) continue;
    $kind = $c->isInterface() ? 'interface' : ($c->isTrait() ? 'trait'
          : ((method_exists($c, 'isEnum') && $c->isEnum()) ? 'enum' : 'class'));
    $d = ['n' => $c->getName(), 'k' => $kind, 'm' => [], 'c' => array_keys($c->getConstants()), 'p' => []];
    if ($c->getParentClass()) $d['e'] = $c->getParentClass()->getName();
    foreach ($c->getMethods(ReflectionMethod::IS_PUBLIC) as $m) {
        $r = korlith_routine($m);
        if ($m->isStatic()) $r['s'] = 1;
        $d['m'][] = $r;
    }
    foreach ($c->getProperties(ReflectionProperty::IS_PUBLIC) as $p)
        $d['p'][] = $p->isStatic() ? ['n' => $p->getName(), 's' => 1] : ['n' => $p->getName()];
    $all['classes'][] = $d;
}
foreach (get_defined_constants(true) as $group => $constants)
    if ($group !== 'user')
        foreach ($constants as $name => $value) $all['constants'][] = $name;
// The words this interpreter's own lexer reads as words of the language.
foreach (korlith_keywords() as $word) {
    if (!function_exists('token_get_all')) { $all['keywords'][] = $word; continue; }
    $t = token_get_all('<?php ' . $word . ' ');
    if (isset($t[1]) && is_array($t[1]) && $t[1][0] !== T_STRING) $all['keywords'][] = $word;
}
$json = json_encode($all, JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_UNICODE
                          | (defined('JSON_INVALID_UTF8_SUBSTITUTE') ? JSON_INVALID_UTF8_SUBSTITUTE : 0));
if ($json === false) { fwrite(STDERR, json_last_error_msg()); exit(4); }
echo "\x1eKORLITH-CATALOG\n", $json;
)php";

QString cacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/Korlith/");
}

QString located(const QString &interpreter)
{
    if (interpreter.contains(QLatin1Char('/')))
        return QFileInfo(interpreter).canonicalFilePath();
    return QFileInfo(QStandardPaths::findExecutable(interpreter)).canonicalFilePath();
}

} // namespace

PhpCatalogSource::PhpCatalogSource(QObject *parent) : QObject(parent)
{
    m_wait.setSingleShot(true);
    m_wait.setInterval(AnswerWaitMs);
    connect(&m_wait, &QTimer::timeout, this, [this] {
        if (!m_process)
            return;
        m_process->disconnect(this);
        InterpreterProcess::endAndLetGo(std::move(m_process), this, 0);
        fail(m_interpreter, QStringLiteral("antwortet nicht"));
    });
}

PhpCatalogSource::~PhpCatalogSource()
{
    if (m_process) {
        m_process->disconnect(this);
        InterpreterProcess::endAndLetGo(std::move(m_process), nullptr, 0);
    }
}

QByteArray PhpCatalogSource::catalogScript()
{
    QByteArray words;
    for (const QString &w : phpKeywordCandidates())
        words += (words.isEmpty() ? "'" : ", '") + w.toLatin1() + '\'';
    return "<?php\nfunction korlith_keywords() { return [" + words + "]; }\n" + ScriptBody;
}

QString PhpCatalogSource::identity(const QString &interpreter)
{
    const QString path = located(interpreter);
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile())
        return QString();
    return QStringLiteral("%1 %2 %3")
        .arg(file.lastModified().toMSecsSinceEpoch())
        .arg(file.size())
        .arg(path);
}

QString PhpCatalogSource::cachePath(const QString &interpreter)
{
    const QByteArray key = QCryptographicHash::hash(located(interpreter).toUtf8(), QCryptographicHash::Sha1).toHex();
    return cacheFolder() + QStringLiteral("php-") + QString::fromLatin1(key.left(16)) + QStringLiteral(".catalog");
}

std::shared_ptr<const PhpCatalog> PhpCatalogSource::catalog(const QString &interpreter)
{
    const QString id = identity(interpreter);
    if (id == m_identity && (m_busy || m_failed || m_catalog))
        return m_catalog;
    // Another interpreter, or its file changed: what was known goes.
    m_catalog.reset();
    m_identity = id;
    m_failed = false;
    ++m_generation;
    m_wait.stop();
    if (m_process) {
        m_process->disconnect(this);
        InterpreterProcess::endAndLetGo(std::move(m_process), this, 0);
    }
    if (id.isEmpty()) {
        fail(interpreter, QStringLiteral("ist nicht zu finden"));
        return nullptr;
    }
    m_busy = true;
    const quint64 generation = m_generation;
    const QString path = cachePath(interpreter);
    QPointer<PhpCatalogSource> self(this);
    QThreadPool::globalInstance()->start([self, generation, path, id, interpreter] {
        QFile file(path);
        std::optional<PhpCatalog> read;
        if (file.open(QIODevice::ReadOnly))
            read = PhpCatalog::fromCacheFile(file.readAll(), id);
        std::shared_ptr<const PhpCatalog> catalog = read ? std::make_shared<PhpCatalog>(std::move(*read)) : nullptr;
        QMetaObject::invokeMethod(qApp, [self, generation, catalog, interpreter, id] {
            if (!self || generation != self->m_generation)
                return;
            if (catalog)
                self->took(generation, catalog, QString(), interpreter);
            else
                self->ask(interpreter); // none kept, or not this interpreter's, or broken
        });
    });
    return nullptr;
}

void PhpCatalogSource::ask(const QString &interpreter)
{
    const ScratchDirectory dir = scratchDirectory();
    if (!dir.usable) {
        fail(interpreter, QStringLiteral("kann nicht gefragt werden: ") + dir.problem);
        return;
    }
    const QString script = dir.path + ScriptName;
    const std::optional<Container> fence = PreviewRunner::fenceFor(script, script, dir.path.chopped(1));
    // Like every run of the user's interpreter, the question is asked in a container or not at all.
    if (!fence) {
        fail(interpreter, QStringLiteral("kann nicht gefragt werden: ") + PreviewRunner::containerRefusal());
        return;
    }
    const int fd = createScratchFile(script);
    const bool written = fd >= 0 && writeWholeFile(fd, catalogScript());
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        fail(interpreter, QStringLiteral("kann nicht gefragt werden: Die Skriptdatei lässt sich nicht schreiben."));
        return;
    }
    m_interpreter = interpreter;
    m_output = dir.path + OutputName;
    m_process = std::make_unique<InterpreterProcess>();
    connect(m_process.get(), &InterpreterProcess::finished, this, &PhpCatalogSource::answered);
    RunStreams streams;
    streams.errors = dir.path + ErrorsName; // what it warns of stays out of the answer
    InterpreterProcess::Start started = InterpreterProcess::Start::NotStarted;
    try {
        started = m_process->launch(interpreter, {script}, m_output, QString(), &*fence, &streams);
    } catch (const AppError &) {
    }
    if (started != InterpreterProcess::Start::Started) {
        m_process.reset();
        fail(interpreter, QStringLiteral("lässt sich nicht starten"));
        return;
    }
    m_wait.start();
}

void PhpCatalogSource::answered()
{
    m_wait.stop();
    const RunCost cost = m_process->runCost();
    const bool started = m_process->interpreterStarted();
    m_process.release()->deleteLater(); // told by the process itself: it goes after its signal
    if (!started) {
        fail(m_interpreter, QStringLiteral("lässt sich nicht starten"));
        return;
    }
    const ScratchContent content = readScratchFile(m_output, InterpreterProcess::OutputLimit);
    if (cost.known && !cost.exited) {
        fail(m_interpreter, QStringLiteral("ist abgestürzt (Signal %1)").arg(cost.code));
        return;
    }
    const qsizetype tooOld = content.bytes.indexOf(TooOldMark);
    if (tooOld >= 0) {
        const QByteArray version = content.bytes.mid(tooOld + TooOldMark.size()).split('\n').value(0);
        fail(m_interpreter, QStringLiteral("ist zu alt (PHP %1; nötig ist 7.1 oder neuer)").arg(QString::fromLatin1(version)));
        return;
    }
    const qsizetype mark = content.bytes.indexOf(AnswerMark);
    if (mark < 0) {
        fail(m_interpreter, QStringLiteral("gibt keine Auskunft (ist es PHP?)"));
        return;
    }
    const QByteArray answer = content.bytes.mid(mark + AnswerMark.size());
    const quint64 generation = m_generation;
    const QString interpreter = m_interpreter;
    const QString id = m_identity;
    const QString path = cachePath(interpreter);
    QPointer<PhpCatalogSource> self(this);
    QThreadPool::globalInstance()->start([self, generation, answer, interpreter, id, path] {
        std::optional<PhpCatalog> read = PhpCatalog::fromAnswer(answer);
        if (read) {
            try {
                QDir().mkpath(QFileInfo(path).absolutePath());
                writeFileAtomically(path, PhpCatalog::cacheFile(id, answer));
            } catch (const AppError &) {
                // Without a cache it is asked again next time; the catalog serves now.
            }
        }
        std::shared_ptr<const PhpCatalog> catalog = read ? std::make_shared<PhpCatalog>(std::move(*read)) : nullptr;
        QMetaObject::invokeMethod(qApp, [self, generation, catalog, interpreter] {
            if (self)
                self->took(generation, catalog, catalog ? QString() : QStringLiteral("gibt keine lesbare Auskunft"),
                           interpreter);
        });
    });
}

void PhpCatalogSource::took(quint64 generation, std::shared_ptr<const PhpCatalog> catalog, const QString &failure,
                            const QString &interpreter)
{
    if (generation != m_generation)
        return;
    if (!catalog) {
        fail(interpreter, failure);
        return;
    }
    m_busy = false;
    m_catalog = std::move(catalog);
    emit arrived();
}

void PhpCatalogSource::fail(const QString &interpreter, const QString &why)
{
    m_busy = false;
    m_failed = true;
    const QString head = QStringLiteral("Die Vervollständigung kennt nur die Namen des Dokuments: ");
    if (interpreter.trimmed().isEmpty())
        emit unavailable(head + QStringLiteral("Es ist kein PHP-Interpreter eingestellt."));
    else
        emit unavailable(head + QStringLiteral("Der PHP-Interpreter %1 %2.").arg(interpreter, why));
}

} // namespace platform
