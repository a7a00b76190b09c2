// Running the interpreter and ending it, with all it started: through a supervisor per run.
#pragma once

#include <QObject>
#include <QStringList>

#include <sys/types.h>

class QSocketNotifier;

namespace platform {

class InterpreterProcess : public QObject
{
    Q_OBJECT
public:
    // Bound on the output file; a script that writes past it is ended by the kernel (SIGXFSZ).
    // Small enough that the pane shows a page of this size within about two seconds.
    static constexpr qint64 OutputLimit = 2ll * 1024 * 1024;

    explicit InterpreterProcess(QObject *parent = nullptr);
    ~InterpreterProcess() override;

    // Creates outputPath anew (a regular file of ours, never written through a planted link),
    // then starts program (as it stands: no shell, no splitting) with standard output and
    // standard error into it and standard input from inputPath (empty when none is given).
    // Raises "Cannot create file" when the output file cannot be created; false when the
    // program could not be started.
    // workingDir: the folder the interpreter runs in (the program's own when empty).
    bool start(const QString &program, const QStringList &arguments, const QString &outputPath,
               const QString &workingDir = QString(), const QString &inputPath = QString());

    bool isRunning() const;
    bool waitForFinished(int msecs);
    qint64 processId() const;

    // Ends the run while the interpreter runs: it and whatever it started.
    void kill();
    // Ends what is left of the run after the interpreter itself has gone: every process the
    // script started, also those that left its group or session or went into the background.
    // (A process that changed its user cannot be signalled.)
    void endSession();

signals:
    void finished();

private:
    bool waitReadable(int msecs);

    pid_t m_pid = 0;            // the interpreter
    pid_t m_supervisor = 0;     // korlith-run, this program's child, until reaped
    int m_supervisorFd = -1;    // its pidfd
    int m_endedFd = -1;         // readable once the interpreter has ended (or the supervisor)
    int m_pidfd = -1;           // the interpreter's, readable at its end
    bool m_running = false;     // the interpreter has not been reported ended
    QSocketNotifier *m_ended = nullptr;
    int m_slot = -1;            // where the program-wide record of running supervisors holds it
};

// Ends every run that is not over, with all it started. Async-signal-safe: the program's signal
// handlers call it when the program ends by a signal.
void killRunningInterpreters();

} // namespace platform
