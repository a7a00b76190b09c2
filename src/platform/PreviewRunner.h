// PreviewRunner: one preview run without the window: script out, interpreter run in its
// container, output file in.
#pragma once

#include "core/PreviewRun.h"
#include "core/WebRequest.h"
#include "platform/InterpreterProcess.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <memory>
#include <optional>

namespace platform {

struct ScratchDirectory;

// What a run is asked to run.
struct PreviewRequest
{
    QString interpreter;
    QByteArray script;    // the text as its file holds it: its encoding, its line ends
    QString documentPath; // the file the text belongs to; empty while it has none
    QString folder;       // where a document without a file runs when no container can be had
    // A request of the page to the document: run by the CGI interpreter as a web server runs
    // it, with the Cookie header given. None: the plain run.
    std::optional<WebRequest> web = std::nullopt;
    QString cgiInterpreter = QString();
    QByteArray cookie = QByteArray();
};

// A run's output as it stands, for the page and the gutter.
struct PreviewOutput
{
    QString path;         // the output file
    QString scriptPath;   // the script as PHP's messages name it
    bool cut = false;     // the output went past its bound and was cut there
    bool writeFailed = false; // the output file could not take all of it
    QString notice;       // a word for the status bar about how the run was made; once a session
    // A request's run: the CGI interpreter's headers (the page is its body) and what it wrote
    // to its standard error.
    std::optional<CgiResponse> response;
    QByteArray errors;
    RunCost cost;         // once the run has ended
};

class PreviewRunner : public QObject
{
    Q_OBJECT
public:
    static constexpr int EndWaitMs = 50; // upper bound for the ended interpreter to go
    static constexpr int PrepareAfterMs = 100; // the next run's container is made this long after a run
    static constexpr qint64 ErrorsShown = 64 * 1024; // of a request's error log, for the gutter

    explicit PreviewRunner(QObject *parent = nullptr);
    ~PreviewRunner() override;

    // Ends the previous run (see stop()), writes the script into this instance's scratch folder
    // and starts the interpreter on it: in a container, as `php -q FILE` in the file's folder,
    // the script seen under the document's own path (or, without a file, under its own in a
    // folder of its own); where no container can be had, on the scratch file in the document's
    // folder. Returns at once, with the output file's path; outputReady tells when to show it.
    // Raises "Cannot create file %s" when the script or the output cannot be written; nothing
    // is started then.
    QString start(const PreviewRequest &request);

    // Ends the latest run: its interpreter and whatever it started.
    // Nothing of it shows any more.
    void stop();
    // The user ends a running script, with all it started: what it wrote shows, and the status
    // bar says that it was ended. False when no script runs.
    bool abort();

    // The container a run of scriptFile gets, the file seen as scriptInside, in workingDir;
    // none where no container can be had.
    static std::optional<Container> fenceFor(const QString &scriptFile, const QString &scriptInside,
                                             const QString &workingDir);

    // A script runs: started and not yet ended, stopped or aborted.
    bool isRunning() const;
    // The interpreter of the latest run, while it runs (0 otherwise).
    qint64 runningProcessId() const;

    // Why runs of this program go without a container; empty while they have one.
    static QString containerRefusal();
    // PHP's CGI interpreter for a request: the one named (settings), or the one beside this
    // interpreter (php-cgi, or php-cgiX.Y beside phpX.Y). Empty when there is none.
    static QString cgiInterpreterFor(const QString &interpreter, const QString &named);

signals:
    // Show the output as it stands: the run has ended, or has been going for a while (and then
    // again once it ends), or was ended by the user.
    void outputReady(const platform::PreviewOutput &output);
    // The run's word for the status bar; empty when it has nothing more to say.
    void statusChanged(const QString &message);
    void runningChanged(bool running);

private:
    // What the latest run in a container was, so that the next one can be made ahead.
    struct NextRun
    {
        QString program;
        QStringList arguments;
        Container fence;
        QString scriptFile;
        QStringList kept;
        QStringList unchanged; // what the interpreter reads as it starts up
        QString heldAt;        // where it waits for its script; empty: it waits before it starts
    };
    InterpreterProcess::Start startRequest(const PreviewRequest &request, const ScratchDirectory &dir, const QString &document);
    void takeResponse();
    void holdWhereKnown(NextRun &run);
    void askStartupFiles(const QString &program);
    static std::unique_ptr<InterpreterProcess> prepared(const NextRun &run);
    void prepareNext();
    void prepareNow();
    void apply(const PreviewRunState::Step &step);
    void endProcess();

    std::unique_ptr<platform::InterpreterProcess> m_process;
    std::unique_ptr<platform::InterpreterProcess> m_prepared; // the next run's container, waiting
    NextRun m_next;
    QTimer m_prepareLater;
    PreviewRunState m_state;
    PreviewOutput m_output;
    QElapsedTimer m_clock;
    QTimer m_wake;
    QProcess *m_asking = nullptr; // an interpreter asked for what it reads as it starts up
    QString m_responsePath;       // a request's run: the CGI interpreter's answer as it came
};

} // namespace platform
