// Running the interpreter and ending it: a direct start in a session of its own.
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
    // standard error into it and standard input empty. Raises "Cannot create file" when the
    // output file cannot be created; false when the program could not be started.
    // workingDir: the folder the interpreter runs in (the program's own when empty).
    bool start(const QString &program, const QStringList &arguments, const QString &outputPath,
               const QString &workingDir = QString());

    bool isRunning() const;
    bool waitForFinished(int msecs);
    qint64 processId() const;

    // SIGKILL to the interpreter's process group while it runs: it and whatever it started.
    void kill();
    // Ends what is left of the run after the interpreter itself has gone: every process still
    // in its session (children started in the background). A child that opened a session of
    // its own is out of reach.
    void endSession();

signals:
    void finished();

private:
    void reap(int status);
    bool waitReadable(int msecs);

    pid_t m_pid = 0;
    int m_pidfd = -1;           // readable once the interpreter has ended
    bool m_running = false;     // started and not reaped yet
    QSocketNotifier *m_ended = nullptr;
    qint64 m_session = 0;  // the interpreter's pid, which is its session's and group's id
    int m_slot = -1;       // where the program-wide record of running interpreters holds it
};

// Ends the process groups of all interpreters that still run. Async-signal-safe: the program's
// signal handlers call it when the program ends by a signal.
void killRunningInterpreters();

} // namespace platform
