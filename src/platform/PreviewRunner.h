// PreviewRunner: one preview run without the window: script out, interpreter run, output file in.
#pragma once

#include "core/PreviewRun.h"

#include <QObject>
#include <QString>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

namespace platform {

class InterpreterProcess;

class PreviewRunner : public QObject
{
    Q_OBJECT
public:
    static constexpr int EndWaitMs = 50; // upper bound for the ended interpreter to go

    explicit PreviewRunner(QObject *parent = nullptr);
    ~PreviewRunner() override;

    // Ends the previous run (see stop()), writes the script into the scratch directory and
    // starts the interpreter on it, in workingDir (the program's own folder when empty). Returns
    // at once, with the output file's path; outputReady tells when to show it. Raises "Cannot
    // create file %s" when the script cannot be written; nothing is started then.
    QString start(const QString &interpreterPath, const QString &scriptText, const QString &workingDir = QString());

    // Ends the latest run: its interpreter and whatever that left running in its session.
    // Nothing of it shows any more.
    void stop();
    // The user ends a running script, with all it started: what it wrote shows, and the status
    // bar says that it was ended. False when no script runs.
    bool abort();

    // A script runs: started and not yet ended, stopped or aborted.
    bool isRunning() const;
    // The interpreter of the latest run, while it runs (0 otherwise).
    qint64 runningProcessId() const;

signals:
    // Show the output as it stands: the run has ended, or has been going for a while (and then
    // again once it ends), or was ended by the user.
    void outputReady(const QString &outputPath);
    // The run's word for the status bar; empty when it has nothing more to say.
    void statusChanged(const QString &message);
    void runningChanged(bool running);

private:
    void apply(const PreviewRunState::Step &step);
    void endProcess();

    std::unique_ptr<platform::InterpreterProcess> m_process;
    PreviewRunState m_state;
    QString m_output;
    QElapsedTimer m_clock;
    QTimer m_wake;
};

} // namespace platform
