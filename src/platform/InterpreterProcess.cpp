// Running the interpreter: vfork and exec of bubblewrap, whose PID namespace the kernel ends
// with the run, or of the run's supervisor (korlith-run), which reaps whatever the script
// leaves and ends all of it with the run. The output comes through a pipe, copied here into
// the output file up to its bound; the script's own files are not bounded.
#include "platform/InterpreterProcess.h"

#include "core/AppError.h"
#include "core/FileNameCodec.h"
#include "core/TextFile.h"
#include "platform/ProgramVariables.h"
#include "platform/ScratchDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// The children of the runs that are not over, with the signal that ends each run, for the
// signal handlers: a fixed table, no allocation.
constexpr int kSlots = 16;
std::atomic<pid_t> g_running[kSlots];
std::atomic<int> g_endSignal[kSlots];

int remember(pid_t pid, int endSignal)
{
    for (int i = 0; i < kSlots; ++i) {
        pid_t empty = 0;
        g_endSignal[i].store(endSignal);
        if (g_running[i].compare_exchange_strong(empty, pid))
            return i;
    }
    return -1;
}

void forget(int &slot)
{
    if (slot >= 0)
        g_running[slot].store(0);
    slot = -1;
}

// The signals the program handles itself: the child sets them back before its program runs.
constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXFSZ, SIGPIPE,
                            SIGUSR1, SIGUSR2, SIGALRM};

// Where the interpreter reports: see korlith-run.
constexpr int kReportFd = 3;
constexpr int kGoFd = 4;
// What a waiting container reports: it stands and waits before its interpreter; it stands and
// its interpreter starts up; the interpreter waits at its script's open.
constexpr int kStandsWaiting = 0;
constexpr int kStandsHolding = 0x4b480001;
constexpr int kHeld = 0x4b480002;
// After the interpreter's end: what it cost (its wait status and peak memory follow).
constexpr int kCost = 0x4b430001;
// How long an interpreter that starts up gets to come to its script. PHP takes milliseconds;
// one that does not come there opens its script otherwise, and waits before it starts.
constexpr int kHoldMs = 3000;

// Interpreters that did not come to their script's open: for the session, their containers
// wait before them.
QStringList &notHolding()
{
    static QStringList programs;
    return programs;
}

// How long the output's last writers get after the run's end: only a process that escaped
// the run (one that changed its user) can still hold the pipe then.
constexpr int kDrainMs = 300;

QString supervisorPath()
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString beside = dir + QStringLiteral("/korlith-run");
    const QString installed = QDir::cleanPath(dir + QStringLiteral("/../lib/korlith/korlith-run"));
    return QFileInfo(beside).isExecutable() || !QFileInfo(installed).isExecutable() ? beside : installed;
}

// What the child of the vfork needs, all made before it: it may only make system calls.
struct ChildSetup
{
    pid_t parent;
    int input, output, errors, report, go; // errors: -1 with the output; go: -1 for a run that starts at once
    int deathSignal;
    const char *dir; // empty: stay
    char *const *argv;
    char *const *envp; // null: the program's own
};

// A function of its own, so that no variable of the caller lives across the vfork; the child
// never returns from it.
pid_t spawnChild(const ChildSetup &setup)
{
    const struct rlimit core = {0, 0};
    // No handler of the program may run in the child, which shares its memory until exec.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    // vfork: the large program is not copied, so the start costs what the child's costs.
    const pid_t pid = vfork();
    if (pid == 0) {
        for (int sig : kHandled)
            signal(sig, SIG_DFL);
        setsid(); // own session and process group, no controlling terminal
        // The run ends when the program ends, however the program ends.
        prctl(PR_SET_PDEATHSIG, setup.deathSignal);
        if (getppid() != setup.parent)
            _exit(127);
        dup2(setup.input, STDIN_FILENO);
        dup2(setup.output, STDOUT_FILENO);
        dup2(setup.errors >= 0 ? setup.errors : setup.output, STDERR_FILENO);
        dup2(setup.report, kReportFd);
        if (setup.go >= 0)
            dup2(setup.go, kGoFd);
        // Nothing else of the program reaches the run: not the web engine's sockets, not its
        // shared memory, not the scratch folder's lock.
        close_range(setup.go >= 0 ? kGoFd + 1 : kReportFd + 1, ~0U, CLOSE_RANGE_CLOEXEC);
        setrlimit(RLIMIT_CORE, &core);
        const int e = setup.dir[0] && chdir(setup.dir) != 0 ? errno : 0;
        if (e == 0) {
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (setup.envp)
                execve(setup.argv[0], setup.argv, setup.envp);
            else
                execv(setup.argv[0], setup.argv);
        }
        const int failed = -(e ? e : errno);
        [[maybe_unused]] const ssize_t n = write(kReportFd, &failed, sizeof failed);
        _exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return pid;
}

// A child that outlives its InterpreterProcess is reaped once it has ended.
void reapWhenEnded(pid_t pid, int pidfd, int slot)
{
    if (pidfd < 0 || !QCoreApplication::instance()) {
        if (pidfd >= 0)
            ::close(pidfd);
        return;
    }
    auto *notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, pid, pidfd, slot]() mutable {
        if (waitpid(pid, nullptr, WNOHANG) == 0)
            return;
        forget(slot);
        notifier->setEnabled(false);
        ::close(pidfd);
        notifier->deleteLater();
    });
}

// Reads one int, waiting at most msecs for it; false at the pipe's end or when none came.
bool readInt(int fd, int *value, int msecs)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    while ((r = poll(&p, 1, msecs)) < 0 && errno == EINTR) {
    }
    if (r <= 0)
        return false;
    ssize_t n;
    while ((n = ::read(fd, value, sizeof *value)) < 0 && errno == EINTR) {
    }
    return n == sizeof *value;
}

// The first child of a process, from /proc; 0 when it has none.
pid_t firstChild(pid_t pid)
{
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (!children.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(children.readAll().split(' ').value(0).toLongLong());
}

// A process of ours away from the core this thread runs on, where there is another.
void keepOffThisCore(pid_t pid)
{
    cpu_set_t cores;
    const int here = sched_getcpu();
    if (here < 0 || sched_getaffinity(pid, sizeof cores, &cores) != 0 || !CPU_ISSET(here, &cores)
        || CPU_COUNT(&cores) < 2)
        return;
    CPU_CLR(here, &cores);
    sched_setaffinity(pid, sizeof cores, &cores);
}

// Files and folders by what they are on the disk, not by their names; with their last change.
QByteArray identities(const QStringList &paths, bool withChange = false)
{
    QByteArray id;
    for (const QString &path : paths) {
        struct stat st;
        if (stat(encodeFileName(path).constData(), &st) == 0) {
            id += QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
            if (withChange)
                id += '@' + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec))
                    + '/' + QByteArray::number(qint64(st.st_size));
        }
        id += ' ';
    }
    return id;
}

// A notifier whose descriptor is done with: it fires no more and goes.
void dropNotifier(QSocketNotifier *&notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

void killRunningInterpreters()
{
    // Each run's child ends everything of its run.
    for (int i = 0; i < kSlots; ++i) {
        const pid_t pid = g_running[i].load();
        if (pid > 0)
            ::kill(pid, g_endSignal[i].load());
    }
}

InterpreterProcess::InterpreterProcess(QObject *parent) : QObject(parent) {}

InterpreterProcess::~InterpreterProcess()
{
    if (isRunning()) {
        kill();
        waitForFinished(1000);
    }
    closeOutput();
    closeFd(m_report);
    closeFd(m_interpreterFd);
    if (m_scriptFd >= 0) {
        // Only while the name is still this file's.
        struct stat held, named;
        if (fstat(m_scriptFd, &held) == 0 && stat(encodeFileName(m_scriptFile).constData(), &named) == 0
            && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            ::unlink(encodeFileName(m_scriptFile).constData());
        closeFd(m_scriptFd);
    }
    // A container made ahead of its run and never started ends unused.
    if (m_go >= 0 && m_child > 0)
        ::kill(m_child, SIGKILL);
    closeFd(m_go);
    if (m_child > 0 && waitpid(m_child, nullptr, WNOHANG) == 0) {
        reapWhenEnded(m_child, m_childFd, m_slot);
    } else {
        forget(m_slot);
        closeFd(m_childFd);
    }
}

InterpreterProcess::Start InterpreterProcess::start(const QString &program, const QStringList &arguments,
                                                    const QString &outputPath, const QString &workingDir,
                                                    const Container *container, const RunStreams *streams)
{
    return startRun(program, arguments, outputPath, workingDir, container, streams, true);
}

InterpreterProcess::Start InterpreterProcess::launch(const QString &program, const QStringList &arguments,
                                                     const QString &outputPath, const QString &workingDir,
                                                     const Container *container, const RunStreams *streams)
{
    return startRun(program, arguments, outputPath, workingDir, container, streams, false);
}

InterpreterProcess::Start InterpreterProcess::startRun(const QString &program, const QStringList &arguments,
                                                       const QString &outputPath, const QString &workingDir,
                                                       const Container *container, const RunStreams *streams,
                                                       bool awaitReport)
{
    // Created anew, so that a writer left over from an earlier run never writes into this page.
    // The output is emptied even when the program cannot start, as a shell redirect would.
    const int out = createScratchFile(outputPath);
    if (out < 0)
        throw AppError::cannotCreateFile(outputPath, errno);
    const Start spawned = spawn(program, arguments, workingDir, container, false, QString(), streams);
    if (spawned != Start::Started) {
        ::close(out);
        return spawned;
    }
    if (awaitReport)
        return begin(out, container != nullptr);
    // The interpreter's number comes first in the report read at the end, before any errno.
    m_out = out;
    m_reportsBeforeError = 1;
    watch();
    return Start::Started;
}

bool InterpreterProcess::prepare(const QString &program, const QStringList &arguments, const Container &container,
                                 const QString &scriptFile, const QStringList &kept, const QStringList &unchanged,
                                 const QString &heldAt)
{
    // The container shows this file under the script's name: the run's text goes into it later.
    m_scriptFd = createScratchFile(scriptFile);
    if (m_scriptFd < 0)
        return false;
    m_scriptFile = scriptFile;
    m_key = QStringList{program} + arguments + QStringList{container.program} + container.options;
    m_kept = kept;
    m_unchanged = unchanged;
    m_keptIdentity = identities(kept) + '|' + identities(unchanged, true);
    m_program = program;
    m_arguments = arguments;
    m_container = container;
    const QString held = notHolding().contains(program) ? QString() : heldAt;
    if (spawn(program, arguments, QString(), &container, true, held) != Start::Started) {
        closeFd(m_scriptFd);
        return false;
    }
    return true;
}

bool InterpreterProcess::preparedFor(const QString &program, const QStringList &arguments, const Container &container) const
{
    // The files it was made for must still be the same: a document saved since (a new file
    // under its name) would not be covered by the container's copy.
    return m_go >= 0 && m_child > 0 && waitpid(m_child, nullptr, WNOHANG) == 0
        && m_key == QStringList{program} + arguments + QStringList{container.program} + container.options
        && m_keptIdentity == identities(m_kept) + '|' + identities(m_unchanged, true);
}

InterpreterProcess::Start InterpreterProcess::go(const QByteArray &script, const QString &scriptPath, const QString &outputPath)
{
    // The container stands before its script file takes the script's name (it finds the file
    // by its name while it is made).
    if (m_stands < 0 && !readInt(m_report, &m_stands, 10000))
        m_stands = -1;
    bool stands = m_stands == kStandsWaiting || m_stands == kStandsHolding;
    if (m_stands == kStandsHolding && !awaitHold(kHoldMs)) {
        if (m_startError > 0) {
            // The interpreter could not be started at all.
            closeFd(m_scriptFd);
            ::unlink(encodeFileName(m_scriptFile).constData());
            discardContainer();
            return Start::NotStarted;
        }
        // Its interpreter did not come to its script, which it may have read meanwhile: the run
        // is made anew and waits before it. One that went on running never comes there.
        if (m_child > 0 && waitpid(m_child, nullptr, WNOHANG) == 0)
            notHolding() << m_program;
        discardContainer();
        stands = spawn(m_program, m_arguments, QString(), &m_container, true) == Start::Started
            && readInt(m_report, &m_stands, 10000) && m_stands == kStandsWaiting;
    }
    // The waiting process is the interpreter, or becomes it, under the number it has now:
    // known before the start, the start need not wait for its report.
    const pid_t interpreter = stands ? firstChild(firstChild(m_child)) : 0;
    const int interpreterFd = interpreter > 0 ? int(syscall(SYS_pidfd_open, interpreter, 0)) : -1;
    if (interpreterFd < 0) {
        closeFd(m_scriptFd);
        ::unlink(encodeFileName(m_scriptFile).constData());
        return refused(true);
    }
    const bool whole = writeWholeFile(m_scriptFd, script);
    const int writeError = errno;
    closeFd(m_scriptFd);
    if (!whole) {
        ::close(interpreterFd);
        ::unlink(encodeFileName(m_scriptFile).constData());
        throw AppError::cannotCreateFile(scriptPath, writeError);
    }
    // Woken by this thread, the interpreter would start on the window's core and take it from
    // the window for the first milliseconds (the other core idle meanwhile): it wakes on any
    // other, and takes back all of its own at once.
    // The interpreter is the supervisor's child: one that waits at its script runs already.
    keepOffThisCore(m_held ? firstChild(interpreter) : interpreter);
    const uint64_t start = 1;
    clockStarts();
    const bool sent = ::write(m_go, &start, sizeof start) == sizeof start;
    closeFd(m_go);
    if (!sent) {
        ::close(interpreterFd);
        return Start::ContainerRefused;
    }
    // The names follow the start, while the interpreter starts: the container holds the file,
    // not its name, and the output waits in the pipe.
    const bool named = ::rename(encodeFileName(m_scriptFile).constData(), encodeFileName(scriptPath).constData()) == 0;
    const int out = named ? createScratchFile(outputPath) : -1;
    if (out < 0) {
        const int error = errno;
        ::close(interpreterFd);
        if (!named)
            ::unlink(encodeFileName(m_scriptFile).constData());
        refused(true); // the run goes with its container
        throw AppError::cannotCreateFile(named ? outputPath : scriptPath, error);
    }
    m_out = out;
    m_pid = interpreter;
    m_heard = true;
    m_interpreterFd = interpreterFd;
    m_reportsBeforeError = m_held ? 0 : 1; // a process that becomes the interpreter reports itself first
    watch();
    return Start::Started;
}

bool InterpreterProcess::awaitHold(int msecs)
{
    QElapsedTimer t;
    t.start();
    while (!m_held && m_report >= 0) {
        pollfd p[2] = {{m_report, POLLIN, 0}, {m_childFd, POLLIN, 0}};
        const int r = poll(p, 2, int(std::max<qint64>(0, msecs - t.elapsed())));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || !(p[0].revents & POLLIN))
            return false; // the bound, or the container ended first
        int word = 0;
        if (!readInt(m_report, &word, 0) || word == kCost)
            return false; // the interpreter ended before its script
        m_held = word == kHeld;
        if (!m_held) {
            m_startError = word; // the interpreter could not be started: that is its report
            return false;
        }
    }
    return m_held;
}

void InterpreterProcess::endChild()
{
    if (m_child > 0)
        ::kill(m_child, SIGKILL);
    while (m_child > 0 && waitpid(m_child, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_child = 0;
    forget(m_slot);
    closeFd(m_childFd);
}

void InterpreterProcess::discardContainer()
{
    endChild();
    closeFd(m_pipe);
    closeFd(m_report);
    closeFd(m_go);
    m_stands = -1;
    m_held = false;
}

InterpreterProcess::Start InterpreterProcess::spawn(const QString &program, const QStringList &arguments,
                                                    const QString &workingDir, const Container *container, bool wait,
                                                    const QString &heldAt, const RunStreams *streams)
{
    const QString supervisor = supervisorPath();
    if (!QFileInfo(supervisor).isExecutable())
        throw AppError(QStringLiteral("Das Hilfsprogramm %1 fehlt; Korlith ist unvollständig installiert.").arg(supervisor));
    // The program as it stands; a bare name is looked up on PATH, here, before the start.
    QString path = program;
    if (!path.isEmpty() && !path.contains(QLatin1Char('/')))
        path = QStandardPaths::findExecutable(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !QFileInfo(path).isExecutable())
        return Start::NotStarted;
    if (!wait)
        clockStarts();
    // Everything the child needs is made before it exists: between vfork and exec it may only
    // make system calls.
    QList<QByteArray> args;
    if (container) {
        args << QFile::encodeName(container->program);
        for (const QString &o : container->options)
            args << encodeFileName(o);
        if (streams && !streams->environment.isEmpty()) {
            args << "--clearenv";
            for (const QByteArray &variable : streams->environment) {
                const qsizetype equals = variable.indexOf('=');
                args << "--setenv" << variable.left(equals) << variable.mid(equals + 1);
            }
        }
        args << "--" << QFile::encodeName(supervisor);
        if (wait)
            args << "--wait";
        if (wait && !heldAt.isEmpty())
            args << "--hold" << encodeFileName(heldAt);
        args << "--exec";
    } else {
        args << QFile::encodeName(supervisor);
    }
    args << QFile::encodeName(path) << QFile::encodeName(program);
    for (const QString &a : arguments)
        args << encodeFileName(a);
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    // A request's own variables, else the environment the program was given (without those it
    // set for its own libraries).
    QList<QByteArray> environment = streams && !container ? streams->environment : QList<QByteArray>();
    if (environment.isEmpty())
        environment = givenEnvironment();
    for (QByteArray &variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const QByteArray dir = container ? QByteArray() : encodeFileName(workingDir);
    const bool fromFile = streams && !streams->input.isEmpty();
    const int input = ::open(fromFile ? encodeFileName(streams->input).constData() : "/dev/null", O_RDONLY | O_CLOEXEC);
    const bool apart = streams && !streams->errors.isEmpty();
    const int errors = apart ? createScratchFile(streams->errors) : -1;
    if (input < 0 || (apart && errors < 0)) {
        for (int fd : {input, errors})
            if (fd >= 0)
                ::close(fd);
        return Start::NotStarted;
    }
    // The start is an event, not a pipe: a pipe's writer is taken to sleep at once, so the
    // waiting interpreter would start on the window's core and queue behind it.
    int output[2] = {-1, -1}, report[2] = {-1, -1};
    const int go = wait ? eventfd(0, EFD_CLOEXEC) : -1;
    const bool piped = input >= 0 && pipe2(output, O_CLOEXEC) == 0 && pipe2(report, O_CLOEXEC) == 0
        && (!wait || go >= 0);
    // The child's ends above the numbers they take there, so that no dup2 overwrites another.
    const int childOutput = piped ? fcntl(output[1], F_DUPFD_CLOEXEC, 10) : -1;
    const int childReport = piped ? fcntl(report[1], F_DUPFD_CLOEXEC, 10) : -1;
    const int childErrors = piped && apart ? fcntl(errors, F_DUPFD_CLOEXEC, 10) : -1;
    const int childGo = piped && wait ? fcntl(go, F_DUPFD_CLOEXEC, 10) : -1;
    for (int fd : {output[1], report[1], errors})
        if (fd >= 0)
            ::close(fd);
    if (childOutput < 0 || childReport < 0 || (wait && childGo < 0) || (apart && childErrors < 0)) {
        for (int fd : {input, output[0], report[0], go, childOutput, childReport, childGo, childErrors})
            if (fd >= 0)
                ::close(fd);
        return Start::NotStarted;
    }
    const ChildSetup setup{getpid(),   input, childOutput, childErrors, childReport, childGo,
                           container ? SIGKILL : SIGTERM, dir.constData(), argv.data(),
                           envp.data()};
    const pid_t pid = spawnChild(setup);
    for (int fd : {input, childOutput, childReport, childGo, childErrors})
        if (fd >= 0)
            ::close(fd);
    if (pid < 0) {
        for (int fd : {output[0], report[0], go})
            if (fd >= 0)
                ::close(fd);
        return Start::NotStarted;
    }
    m_child = pid;
    m_childFd = int(syscall(SYS_pidfd_open, pid, 0));
    m_slot = remember(pid, container ? SIGKILL : SIGTERM);
    m_pipe = output[0];
    m_report = report[0];
    m_go = go;
    return Start::Started;
}

InterpreterProcess::Start InterpreterProcess::refused(bool contained)
{
    endChild();
    if (contained && m_pipe >= 0) {
        fcntl(m_pipe, F_SETFL, fcntl(m_pipe, F_GETFL) | O_NONBLOCK);
        char buf[4096];
        const ssize_t n = ::read(m_pipe, buf, sizeof buf);
        m_containerMessage = n > 0 ? QByteArray(buf, n) : QByteArray();
    }
    closeOutput();
    closeFd(m_report);
    return contained ? Start::ContainerRefused : Start::NotStarted;
}

InterpreterProcess::Start InterpreterProcess::begin(int out, bool contained)
{
    m_out = out;
    // The interpreter reports itself just before it starts; bubblewrap, when it cannot make the
    // container, says why on the output and ends without a report.
    int reported = 0;
    if (!readInt(m_report, &reported, 10000) || reported <= 0)
        return refused(contained);
    m_heard = true;
    // In the container the interpreter has a number of the container's own: this program sees
    // it as the child of the container's first process. Its own end is the run's: the
    // container's teardown is not waited for.
    m_pid = contained ? firstChild(firstChild(m_child)) : pid_t(reported);
    m_interpreterFd = contained && m_pid > 0 ? int(syscall(SYS_pidfd_open, m_pid, 0)) : -1;
    watch();
    return Start::Started;
}

void InterpreterProcess::watch()
{
    m_running = true;
    fcntl(m_pipe, F_SETFL, fcntl(m_pipe, F_GETFL) | O_NONBLOCK);
    fcntl(m_report, F_SETFL, fcntl(m_report, F_GETFL) | O_NONBLOCK);
    m_outputReady = new QSocketNotifier(m_pipe, QSocketNotifier::Read, this);
    connect(m_outputReady, &QSocketNotifier::activated, this, [this] { pump(0); });
    if (m_interpreterFd >= 0) {
        m_ended = new QSocketNotifier(m_interpreterFd, QSocketNotifier::Read, this);
        connect(m_ended, &QSocketNotifier::activated, this, [this] { pump(0); });
    }
    if (m_childFd >= 0) {
        m_childEnded = new QSocketNotifier(m_childFd, QSocketNotifier::Read, this);
        connect(m_childEnded, &QSocketNotifier::activated, this, [this] { pump(0); });
    }
    m_drain = new QTimer(this);
    m_drain->setSingleShot(true);
    connect(m_drain, &QTimer::timeout, this, [this] {
        closeOutput();
        finishIfDone();
    });
}

bool InterpreterProcess::readOutput()
{
    // A slice at a time, so that a flood of output leaves the window its turns.
    char buf[64 * 1024];
    for (int slice = 0; slice < 16 && m_pipe >= 0; ++slice) {
        const ssize_t n = ::read(m_pipe, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false; // nothing more for now
        if (n == 0) {
            closeOutput();
            return false;
        }
        const qint64 room = OutputLimit - m_copied;
        const qint64 take = std::min<qint64>(room, n);
        for (qint64 done = 0; done < take && !m_writeFailed;) {
            const ssize_t w = ::write(m_out, buf + done, size_t(take - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                m_writeFailed = true;
            else
                done += w, m_copied += w;
        }
        if (n > room) {
            // The script is told by its next write that nobody reads any more.
            m_cut = true;
            closeOutput();
            return false;
        }
    }
    return m_pipe >= 0;
}

void InterpreterProcess::closeOutput()
{
    dropNotifier(m_outputReady);
    closeFd(m_pipe);
    closeFd(m_out);
}

void InterpreterProcess::clockStarts()
{
    m_cost = RunCost();
    m_runClock.start();
}

void InterpreterProcess::noteEnd()
{
    if (m_cost.wallUs == 0 && m_runClock.isValid())
        m_cost.wallUs = m_runClock.nsecsElapsed() / 1000;
}

void InterpreterProcess::reap()
{
    if (m_child <= 0 || waitpid(m_child, nullptr, WNOHANG) == 0)
        return;
    noteEnd();
    m_child = 0;
    forget(m_slot);
    dropNotifier(m_childEnded);
    closeFd(m_childFd);
    readOutput();
    if (m_pipe >= 0)
        m_drain->start(kDrainMs);
}

void InterpreterProcess::interpreterEnded()
{
    // All it wrote is in the pipe now. What it left running goes with its container (which
    // holds the pipe until then): the run is over, its output complete.
    noteEnd();
    dropNotifier(m_ended);
    closeFd(m_interpreterFd);
    m_interpreterGone = true;
    while (m_pipe >= 0 && readOutput()) {
    }
    closeOutput();
    if (m_child > 0)
        ::kill(m_child, SIGKILL);
    finishIfDone();
}

void InterpreterProcess::finishIfDone()
{
    if (!m_running || m_pipe >= 0 || (m_child > 0 && !m_interpreterGone))
        return;
    m_running = false;
    m_drain->stop();
    // An interpreter that could not be started said why, after its own number; once it
    // ended, its supervisor said what it cost.
    for (int word = 0; m_report >= 0 && readInt(m_report, &word, 0);) {
        if (word == kCost) {
            int status = 0, peak = 0;
            if (readInt(m_report, &status, 0) && readInt(m_report, &peak, 0)) {
                m_cost.known = true;
                m_cost.exited = WIFEXITED(status);
                m_cost.code = m_cost.exited ? WEXITSTATUS(status) : WTERMSIG(status);
                m_cost.peakKiB = peak;
            }
            break;
        }
        if (m_reportsBeforeError > 0 && word > 0)
            m_heard = true;
        if (m_reportsBeforeError-- <= 0 && m_startError == 0)
            m_startError = word > 0 ? word : 0;
    }
    closeFd(m_report);
    emit finished();
}

void InterpreterProcess::pump(int msecs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        pollfd p[3] = {{m_pipe, POLLIN, 0}, {m_child > 0 ? m_childFd : -1, POLLIN, 0}, {m_interpreterFd, POLLIN, 0}};
        const int left = msecs < 0 ? -1 : int(std::max<qint64>(0, msecs - t.elapsed()));
        const int r = poll(p, 3, left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r > 0 && p[0].revents)
            readOutput();
        if (r > 0 && p[1].revents)
            reap();
        if (r > 0 && p[2].revents)
            interpreterEnded();
        finishIfDone();
        if (!m_running || r <= 0 || (msecs >= 0 && t.elapsed() >= msecs))
            return;
    }
}

void InterpreterProcess::endAndLetGo(std::unique_ptr<InterpreterProcess> process, QObject *keeper, int waitMs)
{
    if (process->isRunning()) {
        process->kill();
        if (waitMs > 0)
            process->waitForFinished(waitMs);
    }
    InterpreterProcess *old = process.release();
    if (old->isRunning()) {
        connect(old, &InterpreterProcess::finished, old, &QObject::deleteLater);
        old->setParent(keeper);
    } else {
        delete old;
    }
}

bool InterpreterProcess::isRunning() const
{
    return m_running;
}

bool InterpreterProcess::waitForFinished(int msecs)
{
    if (m_running)
        pump(msecs);
    return !m_running;
}

qint64 InterpreterProcess::processId() const
{
    return m_running ? m_pid : 0;
}

void InterpreterProcess::kill()
{
    // The child is this program's and not reaped: its number is still its own.
    if (m_child > 0 && m_slot >= 0)
        ::kill(m_child, g_endSignal[m_slot].load());
    else if (m_child > 0)
        ::kill(m_child, SIGKILL);
}

} // namespace platform
