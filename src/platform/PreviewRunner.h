// PreviewRunner: one preview run without the window: script out, interpreter run, output file in.
#pragma once

#include "core/PreviewRun.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace platform {

class InterpreterProcess;

class PreviewRunner : public QObject
{
    Q_OBJECT
public:
    static constexpr int EndWaitMs = 50;   // upper bound for the ended interpreter to go
    static constexpr int RunWaitMs = 300;  // upper bound for the new interpreter to finish

    explicit PreviewRunner(QObject *parent = nullptr);
    ~PreviewRunner() override;

    // Ends the previous run (see stop()), writes the script into the scratch directory,
    // starts the interpreter on it and waits until it has finished or RunWaitMs have passed.
    // Returns the output file to show. Raises "Cannot create file %s" when the script cannot
    // be written; nothing is started then.
    // The interpreter runs in workingDir (the program's own folder when empty). whileRunning is
    // called once it has started (or failed to), before the wait.
    QString run(const QString &interpreterPath, const QString &scriptText, const QString &workingDir = QString(),
                const std::function<void()> &whileRunning = {});

    // Ends the latest run: its interpreter and whatever that left running in its session. Its
    // late outputCompleted is not sent any more.
    void stop();

    // The interpreter of the latest run, while it runs (0 otherwise).
    qint64 runningProcessId() const;

signals:
    // The latest run's interpreter outlived RunWaitMs and has now ended: its output is complete.
    void outputCompleted(const QString &outputPath);

private:
    std::unique_ptr<platform::InterpreterProcess> m_process;
};

} // namespace platform
