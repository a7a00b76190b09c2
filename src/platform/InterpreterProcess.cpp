// Running the interpreter: vfork and exec of the run's supervisor (korlith-run), which starts
// the interpreter, reaps whatever the script leaves, and ends all of it with the run.
#include "platform/InterpreterProcess.h"

#include "core/AppError.h"
#include "core/FileNameCodec.h"
#include "platform/ScratchDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// The supervisors of the runs that are not over, for the signal handlers: a fixed table, no
// allocation.
constexpr int kSlots = 16;
std::atomic<pid_t> g_running[kSlots];

int remember(pid_t pid)
{
    for (int i = 0; i < kSlots; ++i) {
        pid_t empty = 0;
        if (g_running[i].compare_exchange_strong(empty, pid))
            return i;
    }
    return -1;
}

// The signals the program handles itself: the child sets them back before the supervisor runs.
constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXFSZ, SIGPIPE};

// Where the supervisor hands over: see korlith-run.
constexpr int kReportFd = 3;
constexpr int kEndedFd = 4;

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
    int input, output, report, ended;
    const char *dir; // empty: stay
    char *const *argv;
};

// A function of its own, so that no variable of the caller lives across the vfork; the child
// never returns from it.
pid_t spawnSupervisor(const ChildSetup &setup)
{
    const struct rlimit fsize = {rlim_t(InterpreterProcess::OutputLimit), rlim_t(InterpreterProcess::OutputLimit)};
    const struct rlimit core = {0, 0};
    // No handler of the program may run in the child, which shares its memory until exec.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    // vfork: the large program is not copied, so the start costs what the supervisor's costs.
    const pid_t pid = vfork();
    if (pid == 0) {
        for (int sig : kHandled)
            signal(sig, SIG_DFL);
        setsid(); // own session and process group, no controlling terminal
        // The supervisor ends the run when the program ends, however the program ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != setup.parent)
            _exit(127);
        dup2(setup.input, STDIN_FILENO);
        dup2(setup.output, STDOUT_FILENO);
        dup2(setup.output, STDERR_FILENO);
        dup2(setup.report, kReportFd);
        dup2(setup.ended, kEndedFd);
        // Nothing else of the program reaches the run: not the web engine's sockets, not its
        // shared memory.
        close_range(kEndedFd + 1, ~0U, CLOSE_RANGE_CLOEXEC);
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_CORE, &core);
        if (setup.dir[0] && chdir(setup.dir) != 0) {
            const int e = errno;
            [[maybe_unused]] const ssize_t n = write(kReportFd, &e, sizeof e);
            _exit(127);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(setup.argv[0], setup.argv);
        const int e = errno;
        [[maybe_unused]] const ssize_t n = write(kReportFd, &e, sizeof e);
        _exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return pid;
}

// A supervisor that outlives its InterpreterProcess is reaped once it has ended.
void reapWhenEnded(pid_t pid, int pidfd)
{
    if (pidfd < 0 || !QCoreApplication::instance()) {
        if (pidfd >= 0)
            ::close(pidfd);
        return;
    }
    auto *notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, pid, pidfd] {
        if (waitpid(pid, nullptr, WNOHANG) == 0)
            return;
        notifier->setEnabled(false);
        ::close(pidfd);
        notifier->deleteLater();
    });
}

bool readInt(int fd, int *value)
{
    ssize_t n;
    while ((n = ::read(fd, value, sizeof *value)) < 0 && errno == EINTR) {
    }
    return n == sizeof *value;
}

} // namespace

void killRunningInterpreters()
{
    // The supervisors end everything of their runs.
    for (auto &slot : g_running) {
        const pid_t pid = slot.load();
        if (pid > 0)
            ::kill(pid, SIGTERM);
    }
}

InterpreterProcess::InterpreterProcess(QObject *parent) : QObject(parent) {}

InterpreterProcess::~InterpreterProcess()
{
    if (isRunning()) {
        kill();
        waitForFinished(1000);
    }
    endSession();
    for (int fd : {m_endedFd, m_pidfd})
        if (fd >= 0)
            ::close(fd);
    if (m_supervisor > 0 && waitpid(m_supervisor, nullptr, WNOHANG) == 0) {
        reapWhenEnded(m_supervisor, m_supervisorFd);
    } else {
        if (m_slot >= 0)
            g_running[m_slot].store(0);
        if (m_supervisorFd >= 0)
            ::close(m_supervisorFd);
    }
}

bool InterpreterProcess::start(const QString &program, const QStringList &arguments, const QString &outputPath,
                               const QString &workingDir, const QString &inputPath)
{
    // Created anew, so that a writer left over from an earlier run never writes into this page.
    // The output is emptied even when the program cannot start, as a shell redirect would.
    const int out = createScratchFile(outputPath);
    if (out < 0)
        throw AppError::cannotCreateFile(outputPath);
    const QString supervisor = supervisorPath();
    if (!QFileInfo(supervisor).isExecutable()) {
        ::close(out);
        throw AppError(QStringLiteral("Das Hilfsprogramm %1 fehlt; Korlith ist unvollständig installiert.").arg(supervisor));
    }
    // The program as it stands; a bare name is looked up on PATH, here, before the start.
    QString path = program;
    if (!path.isEmpty() && !path.contains(QLatin1Char('/')))
        path = QStandardPaths::findExecutable(path);
    if (path.isEmpty()) {
        ::close(out);
        return false;
    }
    // Everything the child needs is made before it exists: between vfork and exec it may only
    // make system calls.
    QList<QByteArray> args{QFile::encodeName(supervisor), QFile::encodeName(path), QFile::encodeName(program)};
    for (const QString &a : arguments)
        args << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray dir = encodeFileName(workingDir);
    const QByteArray inputName = inputPath.isEmpty() ? QByteArray("/dev/null") : encodeFileName(inputPath);
    const int input = ::open(inputName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    // Read as a file, which never waits (the flag only kept the open from waiting).
    if (input >= 0)
        fcntl(input, F_SETFL, fcntl(input, F_GETFL) & ~O_NONBLOCK);
    int report[2] = {-1, -1}, ended[2] = {-1, -1};
    const bool piped = input >= 0 && pipe2(report, O_CLOEXEC) == 0 && pipe2(ended, O_CLOEXEC) == 0;
    // The child's ends above the numbers they take there, so that no dup2 overwrites another.
    const int childReport = piped ? fcntl(report[1], F_DUPFD_CLOEXEC, 10) : -1;
    const int childEnded = piped ? fcntl(ended[1], F_DUPFD_CLOEXEC, 10) : -1;
    for (int fd : {report[1], ended[1]})
        if (fd >= 0)
            ::close(fd);
    if (childReport < 0 || childEnded < 0) {
        for (int fd : {out, input, report[0], ended[0], childReport, childEnded})
            if (fd >= 0)
                ::close(fd);
        return false;
    }
    const ChildSetup setup{getpid(), input, out, childReport, childEnded, dir.constData(), argv.data()};
    const pid_t pid = spawnSupervisor(setup);
    for (int fd : {out, input, childReport, childEnded})
        ::close(fd);
    if (pid < 0) {
        ::close(report[0]);
        ::close(ended[0]);
        return false;
    }
    m_supervisor = pid;
    m_supervisorFd = int(syscall(SYS_pidfd_open, pid, 0));
    m_slot = remember(pid);
    // The report closes once the interpreter runs, or carries why it could not start.
    int error = 0;
    const bool failed = readInt(report[0], &error);
    ::close(report[0]);
    int interpreter = 0;
    if (failed || !readInt(ended[0], &interpreter)) {
        ::close(ended[0]);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_supervisor = 0;
        if (m_slot >= 0)
            g_running[m_slot].store(0);
        m_slot = -1;
        return false;
    }
    m_pid = pid_t(interpreter);
    m_endedFd = ended[0];
    m_running = true;
    // The interpreter's end is seen directly, without waiting for the supervisor to be
    // scheduled: its number cannot have passed to another process yet, since the supervisor
    // reports an end it has reaped on the pipe at once, and the pipe is empty now.
    m_pidfd = int(syscall(SYS_pidfd_open, m_pid, 0));
    pollfd reported{m_endedFd, POLLIN, 0};
    if (m_pidfd >= 0 && poll(&reported, 1, 0) != 0) {
        ::close(m_pidfd);
        m_pidfd = -1;
    }
    const int watched = m_pidfd >= 0 ? m_pidfd : m_endedFd;
    m_ended = new QSocketNotifier(watched, QSocketNotifier::Read, this);
    connect(m_ended, &QSocketNotifier::activated, this, [this] { waitForFinished(0); });
    return true;
}

bool InterpreterProcess::waitReadable(int msecs)
{
    pollfd p{m_pidfd >= 0 ? m_pidfd : m_endedFd, POLLIN, 0};
    QElapsedTimer t;
    t.start();
    for (;;) {
        const int left = msecs < 0 ? -1 : int(std::max<qint64>(0, msecs - t.elapsed()));
        const int r = poll(&p, 1, left);
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

bool InterpreterProcess::isRunning() const
{
    return m_running;
}

bool InterpreterProcess::waitForFinished(int msecs)
{
    if (!m_running)
        return true;
    if (!waitReadable(msecs))
        return false;
    m_running = false;
    m_ended->setEnabled(false);
    emit finished();
    return true;
}

qint64 InterpreterProcess::processId() const
{
    return m_pid;
}

void InterpreterProcess::kill()
{
    // The supervisor is this program's child and not reaped: its number is still its own.
    if (m_supervisor > 0 && m_running)
        ::kill(m_supervisor, SIGTERM);
}

void InterpreterProcess::endSession()
{
    if (m_supervisor > 0 && !isRunning() && waitpid(m_supervisor, nullptr, WNOHANG) == 0)
        ::kill(m_supervisor, SIGTERM);
}

} // namespace platform
