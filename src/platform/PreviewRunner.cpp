// PreviewRunner: ends only the interpreter it started itself, waits no longer than needed.
#include "platform/PreviewRunner.h"

#include "core/AppError.h"
#include "platform/InterpreterProcess.h"
#include "platform/ScratchDir.h"

#include <QFile>

#include <cerrno>
#include <unistd.h>

namespace platform {

namespace {

// The scratch script is rewritten on every run and needs no trip to the disk's platter:
// a fresh file, without the sync of an atomic save.
void writeScratchFile(const QString &path, const QByteArray &bytes)
{
    const int fd = createScratchFile(path);
    if (fd < 0)
        throw AppError::cannotCreateFile(path);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    if (done != bytes.size())
        throw AppError::cannotCreateFile(path);
}

} // namespace

PreviewRunner::PreviewRunner(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, [this] { apply(m_state.tick(m_clock.elapsed())); });
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
    if (step.showPage)
        emit outputReady(m_output);
    if (step.setStatus)
        emit statusChanged(step.status);
}

void PreviewRunner::endProcess()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    if (m_process->isRunning()) {
        m_process->kill();
        m_process->waitForFinished(EndWaitMs);
    }
    // A process that has not been reaped yet is left to finish in the background.
    InterpreterProcess *old = m_process.release();
    if (old->isRunning()) {
        connect(old, &InterpreterProcess::finished, old, &QObject::deleteLater);
        old->setParent(this);
    } else {
        delete old;
    }
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
    return true;
}

QString PreviewRunner::start(const QString &interpreterPath, const QString &scriptText, const QString &workingDir)
{
    stop();

    const ScratchDirectory dir = scratchDirectory();
    const QString scriptPath = dir.path + ScriptFileName;
    m_output = dir.path + OutputFileName;
    if (!dir.usable)
        throw AppError::cannotCreateFile(scriptPath);
    // The old output goes first: where it filled the disk, the new script needs its room.
    ::unlink(QFile::encodeName(m_output).constData());
    writeScratchFile(scriptPath, scriptText.toLocal8Bit());

    m_process = std::make_unique<InterpreterProcess>();
    if (!m_process->start(interpreterPath, {QStringLiteral("-q")}, m_output, workingDir, scriptPath)) {
        apply(m_state.notStarted());
        return m_output;
    }
    connect(m_process.get(), &InterpreterProcess::finished, this, [this] {
        apply(m_state.ended());
        emit runningChanged(false);
    });
    apply(m_state.started(m_clock.elapsed()));
    emit runningChanged(true);
    return m_output;
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
