// PreviewRunner: ends only the interpreter it started itself, waits no longer than needed.
#include "platform/PreviewRunner.h"

#include "core/AppError.h"
#include "core/FileNameCodec.h"
#include "core/TextFile.h"
#include "platform/InterpreterProcess.h"
#include "platform/ScratchDir.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace platform {

using Start = InterpreterProcess::Start;

namespace {

// The scratch script is rewritten on every run and needs no trip to the disk's platter:
// a fresh file, without the sync of an atomic save.
void writeScratchFile(const QString &path, const QByteArray &bytes)
{
    const int fd = createScratchFile(path);
    if (fd < 0)
        throw AppError::cannotCreateFile(path, errno);
    const bool whole = writeWholeFile(fd, bytes);
    const int error = errno;
    ::close(fd);
    if (!whole)
        throw AppError::cannotCreateFile(path, error);
}

// Whether runs get their container, decided once for the bubblewrap that PATH finds.
struct ContainerState
{
    QString program;  // bwrap, as found when it was decided
    bool decided = false;
    QString refusal;  // why there is none; empty: there is
    bool told = false; // the status bar has said so
};

ContainerState &containerState()
{
    static ContainerState state;
    const QString found = QStandardPaths::findExecutable(QStringLiteral("bwrap"));
    if (!state.decided || found != state.program) {
        state = ContainerState{found, true, QString(), false};
        if (found.isEmpty())
            state.refusal = QStringLiteral("bubblewrap (bwrap) ist nicht installiert.");
    }
    return state;
}

bool headerSaysUtf8(const QByteArray &contentType)
{
    const QByteArray type = contentType.toLower();
    const qsizetype at = type.indexOf("charset=");
    if (at < 0)
        return false;
    const QByteArray charset = type.mid(at + 8).split(';').value(0).trimmed().replace('"', "");
    return charset == "utf-8" || charset == "utf8";
}

// Said once a session: runs go without their container, and why.
QString unfencedNotice(ContainerState &state)
{
    const bool first = !state.told;
    state.told = true;
    return first ? QStringLiteral("Vorschau ohne Abschirmung: ") + state.refusal : QString();
}

// bubblewrap's own words, for the status bar: its first line without its name.
QString refusalFrom(const QByteArray &message)
{
    QString line = QString::fromLocal8Bit(message).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (line.startsWith(QLatin1String("bwrap: ")))
        line = line.mid(7);
    return line.isEmpty() ? QStringLiteral("Der Container ließ sich nicht anlegen.")
                          : QStringLiteral("Der Container ließ sich nicht anlegen (%1).").arg(line);
}

bool isRegularFile(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && stat(encodeFileName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool lies(const QString &path, const QString &folder)
{
    return path.startsWith(folder) || path + QLatin1Char('/') == folder;
}

// The container of one run: the system as the user sees it (its files writable as they are),
// its own process numbers, which the kernel ends with the run, the scratch folders hidden, and
// the script read-only under the name it runs by.
Container containerFor(const QString &program, const ScratchDirectory &dir, const QString &scriptFile,
                       const QString &scriptInside, const QString &workingDir)
{
    Container c{program, {QStringLiteral("--dev-bind"), QStringLiteral("/"), QStringLiteral("/"),
                          QStringLiteral("--proc"), QStringLiteral("/proc"),
                          QStringLiteral("--unshare-pid"), QStringLiteral("--die-with-parent")}};
    // A document kept among the scratch folders sees them: they are its own folder.
    if (!lies(workingDir, dir.root) || workingDir + QLatin1Char('/') == dir.path)
        c.options << QStringLiteral("--tmpfs") << dir.root.chopped(1);
    c.options << QStringLiteral("--ro-bind") << scriptFile << scriptInside
              << QStringLiteral("--chdir") << workingDir;
    return c;
}

// The files an interpreter reads as it starts up, by program, as far as they are known: its
// settings files and the folders it scans for more, as `php --ini` lists them, and the program
// itself. Empty: it does not say, and its runs do not start before their key.
QHash<QString, QStringList> &startupFiles()
{
    static QHash<QString, QStringList> known;
    return known;
}

QStringList startupFilesListed(const QByteArray &listing, const QString &program)
{
    QStringList files;
    bool additional = false;
    for (const QByteArray &raw : listing.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        const int colon = line.indexOf(QLatin1String(": "));
        const QString label = colon > 0 ? line.left(colon) : QString();
        QString value = colon > 0 ? line.mid(colon + 2).trimmed() : line;
        if (label == QLatin1String("Loaded Configuration File")) {
            additional = false;
        } else if (label == QLatin1String("Configuration File (php.ini) Path")) {
            // A settings file that appears there is read at the next start.
            additional = false;
            if (value.startsWith(QLatin1Char('/')))
                files << value;
            continue;
        } else if (label == QLatin1String("Scan for additional .ini files in")) {
            additional = false;
            for (const QString &folder : value.split(QLatin1Char(':'), Qt::SkipEmptyParts))
                files << folder;
            continue;
        } else if (label == QLatin1String("Additional .ini files parsed")) {
            additional = true;
        } else if (!label.isEmpty() || !additional) {
            additional = false;
            continue;
        }
        for (const QString &file : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (file.trimmed().startsWith(QLatin1Char('/')))
                files << file.trimmed();
    }
    if (files.isEmpty() && !listing.contains("Loaded Configuration File"))
        return {};
    return files << program;
}

// The status bar's word for an interpreter that could not be started, and why: as its file
// is, or as its start failed (an errno).
QString notStartedMessage(const QString &program, int error = 0)
{
    const QString lead = QStringLiteral("Der PHP-Interpreter %1 konnte nicht gestartet werden: ").arg(program);
    if (program.trimmed().isEmpty())
        return QStringLiteral("Es ist kein PHP-Interpreter eingestellt (Einstellungen).");
    if (!program.contains(QLatin1Char('/')))
        return QStandardPaths::findExecutable(program).isEmpty() ? lead + QStringLiteral("Er ist im Suchpfad (PATH) nicht zu finden.")
                                                                 : lead.chopped(2) + QLatin1Char('.');
    struct stat st;
    if (stat(encodeFileName(program).constData(), &st) != 0)
        return lead + (errno == ENOENT || errno == ENOTDIR ? QStringLiteral("Die Datei gibt es nicht.")
                                                           : QString::fromLocal8Bit(strerror(errno)) + QLatin1Char('.'));
    if (S_ISDIR(st.st_mode))
        return lead + QStringLiteral("Das ist ein Ordner.");
    if (access(encodeFileName(program).constData(), X_OK) != 0 || error == EACCES)
        return lead + QStringLiteral("Die Datei ist nicht ausführbar.");
    if (error == ENOEXEC)
        return lead + QStringLiteral("Die Datei ist kein Programm, das sich starten lässt.");
    if (error == ENOENT)
        return lead + QStringLiteral("Das Programm, das sie ausführen soll, gibt es nicht.");
    if (error > 0)
        return lead + QString::fromLocal8Bit(strerror(error)) + QLatin1Char('.');
    return lead.chopped(2) + QLatin1Char('.');
}

} // namespace

PreviewRunner::PreviewRunner(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, [this] { apply(m_state.tick(m_clock.elapsed())); });
    m_prepareLater.setSingleShot(true);
    m_prepareLater.setInterval(PrepareAfterMs);
    connect(&m_prepareLater, &QTimer::timeout, this, &PreviewRunner::prepareNow);
}

PreviewRunner::~PreviewRunner()
{
    // The interpreter's end must not reach the half-destroyed runner.
    endProcess();
}

void PreviewRunner::apply(const PreviewRunState::Step &step)
{
    if (step.wakeAt >= 0)
        m_wake.start(int(qMax<qint64>(0, step.wakeAt - m_clock.elapsed())));
    else
        m_wake.stop();
    if (step.showPage) {
        if (m_process) {
            m_output.cut = m_process->outputCut();
            m_output.writeFailed = m_process->outputWriteFailed();
        }
        if (!m_responsePath.isEmpty())
            takeResponse();
        emit outputReady(m_output);
        m_output.notice.clear();
    }
    if (step.setStatus)
        emit statusChanged(step.status);
}

void PreviewRunner::endProcess()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    InterpreterProcess::endAndLetGo(std::move(m_process), this, EndWaitMs);
}

void PreviewRunner::stop()
{
    endProcess();
    const bool wasRunning = m_state.running();
    apply(m_state.dropped());
    if (wasRunning)
        emit runningChanged(false);
}

bool PreviewRunner::abort()
{
    if (!m_state.running())
        return false;
    endProcess();
    apply(m_state.aborted());
    emit runningChanged(false);
    prepareNext();
    return true;
}

QString PreviewRunner::start(const PreviewRequest &request)
{
    stop();

    const ScratchDirectory dir = scratchDirectory();
    const QString scratchScript = dir.path + ScriptFileName;
    m_output = PreviewOutput();
    m_output.path = dir.path + OutputFileName;
    m_output.scriptPath = scratchScript;
    if (!dir.usable)
        throw AppError::cannotCreateFile(scratchScript).because(dir.problem);
    // The old output goes first: where it filled the disk, the new script needs its room.
    ::unlink(QFile::encodeName(m_output.path).constData());

    // The document's file as PHP names it (links resolved); one that is gone runs as a text
    // without a file, so that nothing appears in its place on the disk.
    const QString document = isRegularFile(request.documentPath) ? QFileInfo(request.documentPath).canonicalFilePath()
                                                                 : QString();
    ContainerState &container = containerState();
    Start outcome = Start::NotStarted;
    m_responsePath.clear();
    if (request.web) {
        outcome = startRequest(request, dir, document);
    } else {
        m_next.program.clear();
        if (container.refusal.isEmpty()) {
            const QString inside = document.isEmpty() ? scratchScript : document;
            const QString folder = document.isEmpty() ? dir.path.chopped(1) : QFileInfo(document).absolutePath();
            NextRun run{request.interpreter, {QStringLiteral("-q"), inside},
                        containerFor(container.program, dir, dir.path + PreparedScriptName, inside, folder),
                        dir.path + PreparedScriptName, QStringList{document, folder}, {}, {}};
            holdWhereKnown(run);
            // The container made ahead for this run, or one made now.
            if (!m_prepared || !m_prepared->preparedFor(run.program, run.arguments, run.fence)) {
                m_prepared.reset(); // its script file's name is the new one's
                m_prepared = prepared(run);
            }
            m_process = std::move(m_prepared);
            if (m_process) {
                outcome = m_process->go(request.script, scratchScript, m_output.path);
            } else {
                // Nothing could start: the page is empty, as a shell's redirect leaves it.
                const int out = createScratchFile(m_output.path);
                if (out < 0)
                    throw AppError::cannotCreateFile(m_output.path, errno);
                ::close(out);
            }
            if (outcome == Start::ContainerRefused) {
                container.refusal = refusalFrom(m_process->containerMessage());
            } else {
                m_output.scriptPath = inside;
                m_next = run;
            }
        }
        if (!container.refusal.isEmpty()) {
            m_output.notice = unfencedNotice(container);
            writeScratchFile(scratchScript, request.script);
            const QString folder = document.isEmpty() ? request.folder : QFileInfo(document).absolutePath();
            m_process = std::make_unique<InterpreterProcess>();
            outcome = m_process->start(request.interpreter, {QStringLiteral("-q"), scratchScript}, m_output.path, folder);
        }
    }
    const QString program = request.web ? request.cgiInterpreter : request.interpreter;
    if (outcome != Start::Started) {
        m_output.notice = notStartedMessage(program, m_process ? m_process->startError() : 0);
        apply(m_state.notStarted());
        return m_output.path;
    }
    connect(m_process.get(), &InterpreterProcess::finished, this, [this, program] {
        if (m_process->startError() > 0)
            m_output.notice = notStartedMessage(program, m_process->startError());
        m_output.cost = m_process->runCost();
        apply(m_state.ended());
        emit runningChanged(false);
        prepareNext();
    });
    apply(m_state.started(m_clock.elapsed()));
    emit runningChanged(true);
    return m_output.path;
}

Start PreviewRunner::startRequest(const PreviewRequest &request, const ScratchDirectory &dir, const QString &document)
{
    // As a web server runs it: the script under the document's own name in its folder, the
    // request in the environment and the body on standard input; what it logs goes apart.
    ContainerState &container = containerState();
    const QString scratchScript = dir.path + ScriptFileName;
    const QString bodyFile = dir.path + RequestBodyName;
    writeScratchFile(scratchScript, request.script);
    writeScratchFile(bodyFile, request.web->body);
    m_responsePath = dir.path + ResponseFileName;
    const QString folder = document.isEmpty() ? dir.path.chopped(1) : QFileInfo(document).absolutePath();
    const auto streamsFor = [&](const QString &script) {
        RunStreams streams{bodyFile, dir.path + ErrorLogName, {}};
        for (const auto &variable : cgiVariables(*request.web, script, request.cookie))
            streams.environment << variable.first + '=' + variable.second;
        streams.environment << QByteArrayLiteral("PATH=/usr/local/bin:/usr/bin:/bin");
        return streams;
    };
    m_process = std::make_unique<InterpreterProcess>();
    if (container.refusal.isEmpty()) {
        const QString inside = document.isEmpty() ? scratchScript : document;
        m_output.scriptPath = inside;
        const Container fence = containerFor(container.program, dir, scratchScript, inside, folder);
        const RunStreams streams = streamsFor(inside);
        const Start outcome = m_process->start(request.cgiInterpreter, {}, m_responsePath, QString(), &fence, &streams);
        if (outcome != Start::ContainerRefused)
            return outcome;
        container.refusal = refusalFrom(m_process->containerMessage());
        m_process = std::make_unique<InterpreterProcess>();
    }
    // Without a container the script is the scratch copy, and runs in its folder: the CGI
    // interpreter goes to its script's folder and takes no option that keeps it elsewhere.
    m_output.notice = unfencedNotice(container);
    m_output.scriptPath = scratchScript;
    const RunStreams streams = streamsFor(scratchScript);
    return m_process->start(request.cgiInterpreter, {}, m_responsePath, dir.path, nullptr, &streams);
}

void PreviewRunner::takeResponse()
{
    // The page is the answer's body; until its headers are all in, there is none. A run that
    // ended without headers shows what it wrote.
    const ScratchContent raw = readScratchFile(m_responsePath, InterpreterProcess::OutputLimit);
    const CgiResponse response = parseCgiResponse(raw.bytes);
    QByteArray body = response.headed ? raw.bytes.mid(response.bodyAt)
                                      : (m_state.running() ? QByteArray() : raw.bytes);
    // The header's charset holds over the page's own guess, as a browser takes it from a
    // server: the file says so by its byte order mark.
    if (headerSaysUtf8(response.contentType) && !body.startsWith("\xEF\xBB\xBF"))
        body.prepend("\xEF\xBB\xBF");
    const int fd = createScratchFile(m_output.path);
    if (fd < 0 || !writeWholeFile(fd, body))
        m_output.writeFailed = true;
    if (fd >= 0)
        ::close(fd);
    m_output.response = response;
    m_output.errors = readScratchFile(m_responsePath.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/') + ErrorLogName,
                                      ErrorsShown).bytes;
}

std::unique_ptr<InterpreterProcess> PreviewRunner::prepared(const NextRun &run)
{
    auto process = std::make_unique<InterpreterProcess>();
    if (!process->prepare(run.program, run.arguments, run.fence, run.scriptFile, run.kept, run.unchanged, run.heldAt))
        return nullptr;
    return process;
}

void PreviewRunner::holdWhereKnown(NextRun &run)
{
    // The interpreter starts up before the key only where it is known what it reads then: a
    // change to its settings is in the next run, as in a start of its own.
    const auto known = startupFiles().constFind(run.program);
    if (known == startupFiles().constEnd()) {
        askStartupFiles(run.program);
        return;
    }
    run.unchanged = *known;
    run.heldAt = known->isEmpty() ? QString() : run.arguments.last();
}

void PreviewRunner::askStartupFiles(const QString &program)
{
    if (m_asking)
        return;
    // In the background: the window never waits for it. Until it answers, runs wait before
    // their interpreter.
    m_asking = new QProcess(this);
    m_asking->setStandardInputFile(QProcess::nullDevice());
    m_asking->setStandardErrorFile(QProcess::nullDevice());
    connect(m_asking, &QProcess::finished, this, [this, program](int code, QProcess::ExitStatus status) {
        const QByteArray listing = m_asking->readAllStandardOutput();
        m_asking->deleteLater();
        m_asking = nullptr;
        const QString path = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
        startupFiles().insert(program, status == QProcess::NormalExit && code == 0 ? startupFilesListed(listing, path)
                                                                                   : QStringList());
        // The next run's container, made before this was known, is made again.
        if (m_prepared && m_next.program == program && !m_state.running()) {
            m_prepared.reset();
            prepareNow();
        }
    });
    connect(m_asking, &QProcess::errorOccurred, this, [this, program](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        startupFiles().insert(program, QStringList());
        m_asking->deleteLater();
        m_asking = nullptr;
    });
    m_asking->start(program, {QStringLiteral("--ini")});
}

void PreviewRunner::prepareNext()
{
    // The next run of the same document starts in a container that already stands: what is
    // left for the key is the interpreter's own start. It is made once the page has had its
    // turn: made at once, it would take the cores from the page's load.
    m_prepareLater.start();
}

void PreviewRunner::prepareNow()
{
    if (m_next.program.isEmpty() || m_prepared || m_state.running())
        return;
    holdWhereKnown(m_next);
    try {
        m_prepared = prepared(m_next);
    } catch (const AppError &) {
        // The run itself will say what is missing.
    }
}

QString PreviewRunner::cgiInterpreterFor(const QString &interpreter, const QString &named)
{
    const auto runnable = [](const QString &path) {
        const QFileInfo file(path);
        return file.isFile() && file.isExecutable();
    };
    if (!named.trimmed().isEmpty()) {
        const QString found = named.contains(QLatin1Char('/')) ? named : QStandardPaths::findExecutable(named);
        return runnable(found) ? found : QString();
    }
    const QString program = interpreter.contains(QLatin1Char('/')) ? interpreter : QStandardPaths::findExecutable(interpreter);
    if (program.isEmpty())
        return QString();
    const QFileInfo file(program);
    const QString folder = file.absolutePath() + QLatin1Char('/');
    const QString name = file.fileName();
    QStringList candidates;
    if (name.startsWith(QLatin1String("php")) && name.size() > 3)
        candidates << folder + QStringLiteral("php-cgi") + name.mid(3);
    candidates << folder + QStringLiteral("php-cgi");
    for (const QString &candidate : candidates)
        if (runnable(candidate))
            return candidate;
    return QString();
}

std::optional<Container> PreviewRunner::fenceFor(const QString &scriptFile, const QString &scriptInside,
                                                 const QString &workingDir)
{
    const ContainerState &container = containerState();
    if (!container.refusal.isEmpty())
        return std::nullopt;
    return containerFor(container.program, scratchDirectory(), scriptFile, scriptInside, workingDir);
}

QString PreviewRunner::containerRefusal()
{
    return containerState().refusal;
}

bool PreviewRunner::isRunning() const
{
    return m_state.running();
}

qint64 PreviewRunner::runningProcessId() const
{
    return m_process && m_process->isRunning() ? m_process->processId() : 0;
}

} // namespace platform
