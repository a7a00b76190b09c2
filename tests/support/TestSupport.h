// Helpers shared by the suites: private environment per test, and answering modal windows.
#pragma once

#include <thread>

#include <atomic>

#include <QProcessEnvironment>

#include <QByteArray>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

class QWebEngineView;
class QWidget;

// Points XDG_CONFIG_HOME, XDG_STATE_HOME and TMPDIR into a fresh temporary directory for its lifetime.
class IsolatedEnvironment
{
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();
    QString root() const { return m_dir.path(); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString tmpDir() const { return m_dir.path() + QStringLiteral("/tmp"); }
    QString stateHome() const { return m_dir.path() + QStringLiteral("/state"); }
    QString cacheHome() const { return m_dir.path() + QStringLiteral("/cache"); }
    QString registryFile() const { return configHome() + QStringLiteral("/Korlith/HKEY_LOCAL_MACHINE.reg"); }
    // This instance's scratch folder (the test's own process), and the folder of all instances.
    QString scratchDir() const;
    QString scratchRoot() const;
    void writeRegistry(const QByteArray &text) const;
    QByteArray readRegistry() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig, m_oldTmp, m_oldState, m_oldCache;
};

// Watches for modal message boxes while it lives; records "caption|text" of each and closes it
// with the given button where it has one.
class MessageBoxCatcher : public QObject
{
public:
    explicit MessageBoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok);
    QStringList seen;
    QStringList reasons; // each box's informative text, in the same order

private:
    QTimer m_timer;
};

// Answers the file dialogs that open while it lives, one answer each: a file name to confirm,
// or an empty text to cancel. Records the file name that each dialog was preset with.
class FileDialogAnswerer : public QObject
{
public:
    explicit FileDialogAnswerer(QStringList answers);
    QStringList presets;
    QStringList folders; // the folder each dialog showed
    int answered() const { return int(presets.size()); }

private:
    QStringList m_answers;
    QTimer m_timer;
};

// The text the web view shows now.
QString pageText(QWebEngineView *view);
// The value of a script run in the page; invalid when the page did not answer.
QVariant pageScript(QWebEngineView *view, const QString &script);

// Reads a whole file (empty when missing).
QByteArray readAll(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);

// Processes events until the predicate holds or the time is up.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Raises and activates a window, and waits until the window system says it is active.
bool activate(QWidget *window);

// Taken before the suite sets up its own web engine; userEnvironment() is then the environment
// a user's session gives a program the suite starts: without the engine flags of the suite.
void rememberUserEnvironment();
QProcessEnvironment userEnvironment();

// Whether a window manager runs on this display.
bool windowManagerRuns();
// Runs xdotool (the real keyboard, pointer and window manager requests); its exit code, or -1
// when it did not end within the time, so that no step can hang a test.
int xdotool(const QStringList &args, int timeoutMs = 10000);

// The X window ids of another program's shown windows with exactly this title.
QStringList windowsNamed(const QString &title);

// The preview runs below this process: the names of its descendants that are an interpreter
// ("php…"), a run's container or supervisor, or what the suites' scripts start (sh, sleep); the
// syntax check's aside.
QStringList runningPreviews();

// A program that takes the X clipboard (or "PRIMARY", the selection) on a connection of its
// own and never answers a request for it, while it lives.
class SilentClipboardOwner
{
public:
    explicit SilentClipboardOwner(const char *selection = "CLIPBOARD");
    ~SilentClipboardOwner();
    SilentClipboardOwner(const SilentClipboardOwner &) = delete;
    SilentClipboardOwner &operator=(const SilentClipboardOwner &) = delete;
    bool holds() const { return m_holds; }

private:
    struct xcb_connection_t *m_connection = nullptr;
    bool m_holds = false;
};

// A program that holds the X clipboard (or "PRIMARY") on a connection and a thread of its own
// and answers the list of what it offers (UTF-8 text). With ListOnly it never sends the text
// itself; with Text it sends `text`, in pieces (INCR) of pieceSize bytes where it is longer.
class ServingClipboardOwner
{
public:
    enum Answers { ListOnly, Text };
    ServingClipboardOwner(const char *selection, Answers answers, const QByteArray &text = {}, int pieceSize = 0);
    ~ServingClipboardOwner();
    ServingClipboardOwner(const ServingClipboardOwner &) = delete;
    ServingClipboardOwner &operator=(const ServingClipboardOwner &) = delete;
    bool holds() const { return m_holds; }
    int textAsked() const { return m_textAsked; } // requests for the text itself so far

private:
    void serve();

    struct xcb_connection_t *m_connection = nullptr;
    uint32_t m_window = 0;
    Answers m_answers;
    QByteArray m_text;
    int m_pieceSize;
    bool m_holds = false;
    std::atomic<int> m_textAsked{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A container made ahead of the next run waits below this process.
bool containerWaits();
// Its interpreter starts up before the run (its container says so), and has come to its
// script's open, where it waits.
bool containerHolds();
bool interpreterHolds();
// A process of a container made ahead of its run, before its run: the container itself, or
// (also with interpreterOnly) the interpreter that waits at its script.
bool waitsForItsRun(qint64 pid, bool interpreterOnly = false);

// The living processes, anywhere on the system, whose command line holds part (a container
// that waits for its run aside).
QList<qint64> processesNaming(const QString &part);

// A process below this one by the number a script saw, in its run's own process numbers or
// not; 0 when none is alive.
qint64 hostPid(qint64 seen);
// Gives another program's window the keyboard (through the window manager where one runs) and
// types into it, or presses keys ("F5", "alt+F4"), as the real keyboard does.
bool typeInto(const QString &windowId, const QString &text);
bool pressKeysIn(const QString &windowId, const QString &keys);

// Drives the next file dialog that opens, as a user does: types `typed` into its name field on
// the real keyboard, waits for the completion list and takes its first entry with Down and
// Return. Every step is bounded: a dialog is never left open.
struct CompletionPick : QObject
{
    bool listShown = false;
    QString notShown; // what was seen instead, for a failure's message
    // Rejects every dialog still open (also an error box that a wrong pick brought up).
    static void closeDialogs();
};
void pickFromCompletionList(const QString &typed, CompletionPick *pick);

// The title that the window manager gets for a shown window (_NET_WM_NAME, read by xprop).
QString windowManagerTitle(QWidget *window);

// Whether a process with this id still runs (zombies count as ended).
// The program's five windows for one scope, made as the program makes them. They go at the
// scope's end, also when a check in between failed, or earlier by destroy().
class ProgramForms
{
public:
    ProgramForms();
    ~ProgramForms();
    ProgramForms(const ProgramForms &) = delete;
    ProgramForms &operator=(const ProgramForms &) = delete;
    void destroy();

private:
    bool m_alive = true;
};

// Settings files: a program that has asked its first-run question, with PHP's interpreter
// configured or without an interpreter.
extern const QByteArray ConfiguredWithPhp;
extern const QByteArray ConfiguredOnly;

bool processAlive(qint64 pid);

// A script of 133,000 lines: a listing long enough to show its progress and to be stopped.
QString longListingText();
