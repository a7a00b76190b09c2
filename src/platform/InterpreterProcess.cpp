// Running the interpreter: QProcess with a child set-up for a new session, a file-size bound and
// an end together with the program.
#include "platform/InterpreterProcess.h"

#include "core/AppError.h"
#include "platform/ScratchDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/wait.h>
#include <vector>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// The interpreters that run now, for the signal handlers: a fixed table, no allocation.
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

// The session id of a process, from /proc/<pid>/stat; 0 when it is gone.
pid_t sessionOf(const char *pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%s/stat", pid);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buf[512];
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0)
        return 0;
    buf[n] = 0;
    // pid (comm) state ppid pgrp session ...: the name may hold blanks and brackets.
    const char *p = strrchr(buf, ')');
    int ppid = 0, pgrp = 0, session = 0;
    char state = 0;
    if (!p || sscanf(p + 1, " %c %d %d %d", &state, &ppid, &pgrp, &session) != 4)
        return 0;
    return state == 'Z' ? 0 : pid_t(session);
}

} // namespace

void killRunningInterpreters()
{
    for (auto &slot : g_running) {
        const pid_t pid = slot.load();
        if (pid > 0)
            ::kill(-pid, SIGKILL);
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
    if (m_slot >= 0)
        g_running[m_slot].store(0);
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

namespace {

// The signals the program handles itself: the child sets them back before the interpreter runs.
constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXFSZ, SIGPIPE};

} // namespace

bool InterpreterProcess::start(const QString &program, const QStringList &arguments, const QString &outputPath,
                               const QString &workingDir)
{
    // Created anew, so that a writer left over from an earlier run never writes into this page.
    // The output is emptied even when the program cannot start, as a shell redirect would.
    const int out = createScratchFile(outputPath);
    if (out < 0)
        throw AppError::cannotCreateFile(outputPath);
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
    const QByteArray file = QFile::encodeName(path);
    QList<QByteArray> args{QFile::encodeName(program)};
    for (const QString &a : arguments)
        args << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(workingDir);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int report[2];
    if (input < 0 || pipe2(report, O_CLOEXEC) != 0) {
        ::close(out);
        if (input >= 0)
            ::close(input);
        return false;
    }
    const pid_t parent = getpid();
    const struct rlimit fsize = {rlim_t(OutputLimit), rlim_t(OutputLimit)};
    const struct rlimit core = {0, 0};

    // No handler of the program may run in the child, which shares its memory until exec.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    // vfork: the large program is not copied, so the start costs what the interpreter's costs.
    const pid_t pid = vfork();
    if (pid == 0) {
        for (int sig : kHandled)
            signal(sig, SIG_DFL);
        setsid(); // own session and process group, no controlling terminal
        // Ends with the program, however the program ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(input, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_CORE, &core);
        if (!dir.isEmpty() && chdir(dir.constData()) != 0) {
            const int e = errno;
            [[maybe_unused]] const ssize_t n = write(report[1], &e, sizeof e);
            _exit(127);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(file.constData(), argv.data());
        const int e = errno;
        [[maybe_unused]] const ssize_t n = write(report[1], &e, sizeof e);
        _exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(out);
    ::close(input);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return false;
    }
    // The exec is done (or failed) once vfork has returned: the report says which.
    int error = 0;
    const bool failed = ::read(report[0], &error, sizeof error) == sizeof error;
    ::close(report[0]);
    m_pid = pid;
    m_running = true;
    m_session = pid;
    m_slot = remember(pid);
    if (failed) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        reap(status);
        m_session = 0;
        return false;
    }
    m_pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (m_pidfd >= 0) {
        m_ended = new QSocketNotifier(m_pidfd, QSocketNotifier::Read, this);
        connect(m_ended, &QSocketNotifier::activated, this, [this] { waitForFinished(0); });
    }
    return true;
}

void InterpreterProcess::reap(int)
{
    m_running = false;
    if (m_slot >= 0)
        g_running[m_slot].store(0);
    m_slot = -1;
    if (m_ended)
        m_ended->setEnabled(false);
}

bool InterpreterProcess::waitReadable(int msecs)
{
    if (m_pidfd < 0)
        return true; // no pidfd: the reap below blocks
    pollfd p{m_pidfd, POLLIN, 0};
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
    int status = 0;
    pid_t r;
    while ((r = waitpid(m_pid, &status, m_pidfd >= 0 ? WNOHANG : 0)) < 0 && errno == EINTR) {
    }
    if (r != m_pid)
        return false;
    reap(status);
    emit finished();
    return true;
}

qint64 InterpreterProcess::processId() const
{
    return m_pid;
}

void InterpreterProcess::kill()
{
    // While the interpreter has not been reaped its id cannot pass to anyone else.
    if (m_pid > 0 && m_running)
        ::kill(-m_pid, SIGKILL);
}

void InterpreterProcess::endSession()
{
    if (m_session <= 0 || isRunning())
        return;
    const pid_t session = pid_t(m_session);
    // Nearly always the group has gone with the interpreter: then there is nothing to look for.
    // (A child that moved to a group of its own within the session is found only while some
    // process is left in the interpreter's group.)
    if (::kill(-session, 0) != 0 && errno == ESRCH) {
        m_session = 0;
        return;
    }
    // Each candidate is pinned by a pidfd before its session is read, so a number that has
    // passed to another process in between is never signalled.
    DIR *proc = opendir("/proc");
    if (!proc)
        return;
    bool any = false;
    while (dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const pid_t pid = pid_t(atoi(entry->d_name));
        const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0)
            continue;
        if (sessionOf(entry->d_name) == session) {
            syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
            any = true;
        }
        close(pidfd);
    }
    closedir(proc);
    if (!any)
        m_session = 0;
}

} // namespace platform
