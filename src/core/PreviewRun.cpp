// PreviewRunner: ends only the interpreter it started itself, waits no longer than needed.
#include "core/PreviewRun.h"

#include "core/AppError.h"
#include "platform/FileNames.h"
#include "platform/InterpreterProcess.h"
#include "platform/ScratchDir.h"

#include <QFile>

bool isPreviewOutputTarget(const QString &url)
{
    return platform::fileNamePart(url) == OutputFileName;
}

namespace {

// The scratch script is rewritten on every run and needs no trip to the disk's platter:
// a plain overwrite, without the sync of an atomic save.
void writeScratchFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        throw AppError::cannotCreateFile(path);
}

} // namespace

PreviewRunner::PreviewRunner(QObject *parent) : QObject(parent) {}

PreviewRunner::~PreviewRunner() = default;

void PreviewRunner::endPrevious()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    if (m_process->isRunning()) {
        m_process->kill();
        m_process->waitForFinished(EndWaitMs);
    }
    // A process that has not been reaped yet is left to finish in the background.
    platform::InterpreterProcess *old = m_process.release();
    if (old->isRunning()) {
        connect(old, &platform::InterpreterProcess::finished, old, &QObject::deleteLater);
        old->setParent(this);
    } else {
        delete old;
    }
}

QString PreviewRunner::run(const QString &interpreterPath, const QString &scriptText)
{
    endPrevious();

    const platform::ScratchDirectory dir = platform::scratchDirectory();
    const QString scriptPath = dir.path + ScriptFileName;
    const QString outputPath = dir.path + OutputFileName;
    if (!dir.usable)
        throw AppError::cannotCreateFile(scriptPath);
    writeScratchFile(scriptPath, scriptText.toLocal8Bit());

    m_process = std::make_unique<platform::InterpreterProcess>();
    if (!m_process->start(interpreterPath, {QStringLiteral("-q"), scriptPath}, outputPath))
        return outputPath;
    if (!m_process->waitForFinished(RunWaitMs)) {
        connect(m_process.get(), &platform::InterpreterProcess::finished, this,
                [this, outputPath] { emit outputCompleted(outputPath); });
    }
    return outputPath;
}

qint64 PreviewRunner::runningProcessId() const
{
    return m_process && m_process->isRunning() ? m_process->processId() : 0;
}
