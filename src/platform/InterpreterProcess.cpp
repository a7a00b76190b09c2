// Running the interpreter: QProcess with a child set-up for a new session, a file-size bound and
// an end together with the program.
#include "platform/InterpreterProcess.h"

#include "core/AppError.h"
#include "platform/ScratchDir.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

InterpreterProcess::InterpreterProcess(QObject *parent) : QObject(parent)
{
    m_process.setStandardInputFile(QProcess::nullDevice());
    // Standard output and error go to the output file, set up in the child.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    connect(&m_process, &QProcess::finished, this, [this] {
        if (m_slot >= 0)
            g_running[m_slot].store(0);
        m_slot = -1;
        emit finished();
    });
}

InterpreterProcess::~InterpreterProcess()
{
    if (isRunning()) {
        kill();
        m_process.waitForFinished(1000);
    }
    endSession();
    if (m_slot >= 0)
        g_running[m_slot].store(0);
}

bool InterpreterProcess::start(const QString &program, const QStringList &arguments, const QString &outputPath,
                               const QString &workingDir)
{
    // Created anew, so that a writer left over from an earlier run never writes into this page.
    // The output is emptied even when the program cannot start, as a shell redirect would.
    const int out = createScratchFile(outputPath);
    if (out < 0)
        throw AppError::cannotCreateFile(outputPath);
    if (program.isEmpty()) {
        close(out);
        return false;
    }
    const pid_t parent = getpid();
    m_process.setChildProcessModifier([out, parent] {
        // Runs in the child between fork and exec: async-signal-safe calls only.
        setsid(); // own session and process group, no controlling terminal
        // Ends with the program, however the program ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        close(out);
        struct rlimit fsize = {rlim_t(OutputLimit), rlim_t(OutputLimit)};
        setrlimit(RLIMIT_FSIZE, &fsize);
        struct rlimit core = {0, 0};
        setrlimit(RLIMIT_CORE, &core);
        signal(SIGXFSZ, SIG_DFL);
        sigset_t xfsz;
        sigemptyset(&xfsz);
        sigaddset(&xfsz, SIGXFSZ);
        sigprocmask(SIG_UNBLOCK, &xfsz, nullptr);
    });
    // Relative includes and files resolve where the document lives; the program's own folder
    // stays as it is.
    m_process.setWorkingDirectory(workingDir);
    m_process.start(program, arguments, QIODevice::ReadOnly);
    const bool started = m_process.waitForStarted(-1);
    close(out);
    if (!started)
        return false;
    m_session = m_process.processId();
    m_slot = remember(pid_t(m_session));
    return true;
}

bool InterpreterProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

bool InterpreterProcess::waitForFinished(int msecs)
{
    if (!isRunning())
        return true;
    return m_process.waitForFinished(msecs);
}

qint64 InterpreterProcess::processId() const
{
    return m_process.processId();
}

void InterpreterProcess::kill()
{
    const qint64 pid = m_process.processId();
    // While the interpreter has not been reaped its id cannot pass to anyone else.
    if (pid > 0 && isRunning())
        ::kill(-pid_t(pid), SIGKILL);
}

void InterpreterProcess::endSession()
{
    if (m_session <= 0 || isRunning())
        return;
    const pid_t session = pid_t(m_session);
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
