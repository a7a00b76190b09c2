// Running the interpreter and ending it, with all it started: in a container of its own per
// run, or through a supervisor where no container can be had.
#pragma once

#include "core/PreviewRun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <memory>

#include <sys/types.h>

class QSocketNotifier;
class QTimer;

namespace platform {

// The run's container: bubblewrap and the options that build it, up to the command.
struct Container
{
    QString program;     // bwrap, as found
    QStringList options; // mounts, namespaces, folder
};

// Where a run's standard streams come from and go, and its environment, where not as usual.
struct RunStreams
{
    QString input;  // standard input read from this file; empty: nothing
    QString errors; // standard error into this file, created anew; empty: with the output
    QList<QByteArray> environment; // "NAME=value", the whole of it; empty: the program's own
};

class InterpreterProcess : public QObject
{
    Q_OBJECT
public:
    // Bound on what is copied from the run's output into the output file; at the bound the
    // copying stops and the output's pipe closes, which ends a script that goes on writing.
    // Small enough that the pane shows a page of this size within about two seconds.
    static constexpr qint64 OutputLimit = 2ll * 1024 * 1024;

    enum class Start {
        Started,
        NotStarted,       // the program could not be started: missing, not a program
        ContainerRefused, // the container could not be made; nothing ran
    };

    explicit InterpreterProcess(QObject *parent = nullptr);
    ~InterpreterProcess() override;

    // Creates outputPath anew (a regular file of ours, never written through a planted link),
    // then starts program (as it stands: no shell, no splitting) with standard input empty and
    // standard output and error, in their order, through a pipe into the output file. In the
    // container when one is given (which then sets the folder), otherwise under the supervisor
    // in workingDir (the program's own folder when empty). Raises "Cannot create file" when the
    // output file cannot be created, and a message of its own when the supervisor is missing.
    // streams: see RunStreams.
    Start start(const QString &program, const QStringList &arguments, const QString &outputPath,
                const QString &workingDir = QString(), const Container *container = nullptr,
                const RunStreams *streams = nullptr);

    // As start, but returns as soon as the container is asked for, without waiting until it
    // stands and the interpreter reports itself (the window's thread would wait on that): a
    // container that could not be made, or an interpreter that could not start, is known
    // once the run has ended (interpreterStarted, startError). processId stays 0.
    Start launch(const QString &program, const QStringList &arguments, const QString &outputPath,
                 const QString &workingDir = QString(), const Container *container = nullptr,
                 const RunStreams *streams = nullptr);

    // A run made ahead of its key: the container stands, showing scriptFile (created anew) as
    // the container's options say, and its interpreter starts up as far as the open of its
    // script, which it opens as heldAt (it waits before it starts where it does not get there,
    // or heldAt is empty). It is the same run later only while the files and folders in kept
    // are the same ones on the disk, and those in unchanged also not modified (what the
    // interpreter read as it started up). False when it cannot be made so.
    bool prepare(const QString &program, const QStringList &arguments, const Container &container,
                 const QString &scriptFile, const QStringList &kept, const QStringList &unchanged = {},
                 const QString &heldAt = QString());
    // Whether the prepared run would be this one, the files it was made for still the same.
    bool preparedFor(const QString &program, const QStringList &arguments, const Container &container) const;
    // Starts the prepared run with this script, its file then named scriptPath. Raises "Cannot
    // create file" when the script or the output cannot be written.
    Start go(const QByteArray &script, const QString &scriptPath, const QString &outputPath);

    // The run goes on: its interpreter has not ended, or its output is not all in yet.
    bool isRunning() const;
    bool waitForFinished(int msecs);
    // The interpreter, as this program sees it, while the run goes on (0 otherwise).
    qint64 processId() const;

    // Ends the run: the interpreter and whatever it started. What it wrote so far stays.
    void kill();
    // Ends the process's run and lets it go, waiting up to waitMs for it to be reaped; one not
    // reaped by then finishes in the background, kept by keeper until it has.
    static void endAndLetGo(std::unique_ptr<InterpreterProcess> process, QObject *keeper, int waitMs);

    // The output as it was copied: its size in the file, whether the bound cut it, whether the
    // file could not take all of it (a full disk).
    qint64 outputSize() const { return m_copied; }
    bool outputCut() const { return m_cut; }
    bool outputWriteFailed() const { return m_writeFailed; }
    // Why the interpreter itself could not be started (an errno), once the run has ended or
    // did not start; 0 when it started or the reason is not known.
    int startError() const { return m_startError; }
    // Whether the interpreter was started and reported itself (for a launch: known at its end).
    bool interpreterStarted() const { return m_heard && m_startError == 0; }
    // What the run cost, once it has ended (see korlith-run).
    RunCost runCost() const { return m_cost; }
    // What bubblewrap said when the container was refused.
    const QByteArray &containerMessage() const { return m_containerMessage; }

signals:
    void finished();

private:
    Start startRun(const QString &program, const QStringList &arguments, const QString &outputPath,
                   const QString &workingDir, const Container *container, const RunStreams *streams,
                   bool awaitReport);
    Start spawn(const QString &program, const QStringList &arguments, const QString &workingDir,
                const Container *container, bool wait, const QString &heldAt = QString(),
                const RunStreams *streams = nullptr);
    bool awaitHold(int msecs);
    void endChild();         // the container or the supervisor killed and reaped
    void discardContainer(); // and all that was made for it
    Start begin(int out, bool contained);
    void watch(); // the running interpreter's output and end
    Start refused(bool contained);
    void pump(int msecs);
    bool readOutput(); // false: nothing more for now, or the output has closed
    void interpreterEnded();
    void clockStarts(); // the run begins: its cost is counted afresh
    void noteEnd();     // the run's time, at its end's first sign
    void closeOutput();
    void reap();
    void finishIfDone();

    pid_t m_child = 0;          // bwrap or the supervisor: this program's child, until reaped
    int m_childFd = -1;         // its pidfd
    pid_t m_pid = 0;            // the interpreter
    int m_pipe = -1;            // the run's output, read end
    int m_out = -1;             // the output file
    int m_report = -1;          // where the interpreter reports itself
    int m_interpreterFd = -1;   // its pidfd, in a container: its end is the run's
    bool m_interpreterGone = false;
    QSocketNotifier *m_ended = nullptr;
    int m_go = -1;              // a prepared run's start: an eventfd
    int m_scriptFd = -1;        // a prepared run's script file
    QStringList m_key;          // what a prepared run was made for
    QString m_program;          // and its parts, for a container made anew
    QStringList m_arguments;
    Container m_container;
    int m_startError = 0;
    RunCost m_cost;
    QElapsedTimer m_runClock;   // since the interpreter was started or woken
    bool m_heard = false;
    int m_reportsBeforeError = 0; // the interpreter's reports still to come before its errno
    int m_stands = -1;          // what its container reported when it stood; -1: nothing yet
    bool m_held = false;        // its interpreter has started up and waits at its script
    QString m_scriptFile;       // and its name until it starts
    QStringList m_kept;         // the files and folders it was made for
    QStringList m_unchanged;
    QByteArray m_keptIdentity;  // as they were on the disk then
    bool m_running = false;
    qint64 m_copied = 0;
    bool m_cut = false;
    bool m_writeFailed = false;
    QByteArray m_containerMessage;
    QSocketNotifier *m_childEnded = nullptr;
    QSocketNotifier *m_outputReady = nullptr;
    QTimer *m_drain = nullptr;  // the output's last writers get this long after the run's end
    int m_slot = -1;            // where the program-wide record of running children holds it
};

// Ends every run that is not over, with all it started. Async-signal-safe: the program's signal
// handlers call it when the program ends by a signal.
void killRunningInterpreters();

} // namespace platform
