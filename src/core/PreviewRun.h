// The preview run's names and the navigation guard's rule.
#pragma once

#include <QString>

inline const QString ScriptFileName = QStringLiteral("temp.php");
inline const QString OutputFileName = QStringLiteral("Output.htm");
// The next run's script while its container waits; it becomes ScriptFileName when the run starts.
inline const QString PreparedScriptName = QStringLiteral(".temp.php.next");

// A request's run: what the CGI interpreter answered, the request's body, its standard error
// (a web server's error log).
inline const QString ResponseFileName = QStringLiteral("Response.cgi");
inline const QString RequestBodyName = QStringLiteral("Request.body");
inline const QString ErrorLogName = QStringLiteral("Errors.log");

// The navigation guard's rule: only a local file whose name is exactly "Output.htm" passes.
bool isPreviewOutputTarget(const QString &url);

// What is known of a run's output once it is read.
struct OutputFacts
{
    bool present = false;     // something stands under the output's name
    bool regular = false;     // and it is a regular file, which was read
    qint64 size = 0;          // its whole size
    qint64 limit = 0;         // the bound the interpreter was held to
    bool scratchFull = false; // the scratch folder's file system has no room left
};

// The status bar's word on a page that looks complete but is not, or would not be shown;
// empty when nothing is amiss.
QString outputStateMessage(const OutputFacts &facts);

// The moments of one preview run and what the window shows at each. The caller tells the time
// (milliseconds on a clock that only goes forward) and keeps the interpreter; the rules stand
// here alone: a run that is still going after ShowAfterMs is shown as it stands and again when
// it ends; from CountAfterMs the status bar counts its seconds; New, Open and a newer run drop
// a run, so that nothing of it shows any more.
class PreviewRunState
{
public:
    static constexpr qint64 ShowAfterMs = 300;
    static constexpr qint64 CountAfterMs = 500;

    struct Step
    {
        bool showPage = false;         // show the output as it stands now
        bool setStatus = false;        // the run's word in the status bar changes:
        QString status;                // to this; empty: the run's word goes
        qint64 wakeAt = -1;            // tick() is due at this time; -1: none is
    };

    Step started(qint64 now);  // the interpreter runs
    Step notStarted();         // it could not be started: its empty output shows at once
    Step ended();              // it ended by itself
    Step tick(qint64 now);
    Step aborted();            // the user ended it: what it wrote shows, and that it was ended
    Step dropped();            // nothing of the run shows any more
    bool running() const;

    static QString countText(int seconds);
    static QString abortedText();

private:
    enum class Phase { Idle, Running, Shown }; // Shown: running, and shown once as it stood
    Phase m_phase = Phase::Idle;
    qint64 m_start = 0;
    int m_counted = 0; // the seconds the status bar says; 0 while it says nothing
    Step finish(bool showPage);
};

// What a run cost, as the operating system counted it for the interpreter.
struct RunCost
{
    bool known = false;  // the run ended and its supervisor said so
    qint64 wallUs = 0;   // from its start to its end
    qint64 peakKiB = 0;  // its peak resident memory
    bool exited = true;  // false: ended by a signal
    int code = 0;        // its exit status, or the signal
};

// "Fertig in 0,12 s · 2,1 MB · Exit 0"; empty where the cost is not known.
QString runCostMessage(const RunCost &cost);
