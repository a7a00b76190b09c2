// Running the interpreter: QProcess with a child set-up for a new session and a file-size bound.
#include "platform/InterpreterProcess.h"

#include <QFile>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

InterpreterProcess::InterpreterProcess(QObject *parent) : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setChildProcessModifier([] {
        // Runs in the child between fork and exec: async-signal-safe calls only.
        setsid(); // own session and process group, no controlling terminal
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
    connect(&m_process, &QProcess::finished, this, &InterpreterProcess::finished);
}

InterpreterProcess::~InterpreterProcess()
{
    if (isRunning()) {
        kill();
        m_process.waitForFinished(1000);
    }
}

bool InterpreterProcess::start(const QString &program, const QStringList &arguments, const QString &outputPath)
{
    {
        // The output is emptied even when the program cannot start, as a shell redirect would.
        QFile out(outputPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
    }
    if (program.isEmpty())
        return false;
    m_process.setStandardOutputFile(outputPath, QIODevice::Truncate);
    m_process.start(program, arguments, QIODevice::ReadOnly);
    return m_process.waitForStarted(-1);
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
    if (pid > 0 && isRunning())
        ::kill(-pid_t(pid), SIGKILL);
}

} // namespace platform
