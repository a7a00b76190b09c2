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

PreviewRunner::PreviewRunner(QObject *parent) : QObject(parent) {}

PreviewRunner::~PreviewRunner() = default;

void PreviewRunner::stop()
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

QString PreviewRunner::run(const QString &interpreterPath, const QString &scriptText, const QString &workingDir,
                           const std::function<void()> &whileRunning)
{
    stop();

    const ScratchDirectory dir = scratchDirectory();
    const QString scriptPath = dir.path + ScriptFileName;
    const QString outputPath = dir.path + OutputFileName;
    if (!dir.usable)
        throw AppError::cannotCreateFile(scriptPath);
    // The old output goes first: where it filled the disk, the new script needs its room.
    ::unlink(QFile::encodeName(outputPath).constData());
    writeScratchFile(scriptPath, scriptText.toLocal8Bit());

    m_process = std::make_unique<InterpreterProcess>();
    const bool started = m_process->start(interpreterPath, {QStringLiteral("-q")}, outputPath, workingDir, scriptPath);
    if (whileRunning)
        whileRunning();
    if (!started)
        return outputPath;
    if (!m_process->waitForFinished(RunWaitMs)) {
        connect(m_process.get(), &InterpreterProcess::finished, this,
                [this, outputPath] { emit outputCompleted(outputPath); });
    }
    return outputPath;
}

qint64 PreviewRunner::runningProcessId() const
{
    return m_process && m_process->isRunning() ? m_process->processId() : 0;
}

} // namespace platform
