// The preview pane's navigation: what the program asked for, what shows, whether the shown page
// still answers. Free of the engine, so that each move can be followed alone; the pane does
// what each step says.
#pragma once

#include <QUrl>

class PaneNavigation
{
public:
    enum class State {
        EngineOff, // the engine has not started; a request waits for it
        Shown,     // nothing the program asked for is loading
        Asked,     // a request loads; the page it replaces has not answered since it was asked
        Loading,   // a request loads; the old page answered, or a fresh page took its place
    };

    struct Step
    {
        enum class Do {
            Nothing,
            StartEngineSoon, // a request came before the engine: start it a moment later at most
            Load,            // load url with scripts on; the old page is asked to answer `probe`
            ReplacePage,     // the page hangs: a fresh one in its place, then load url (if any)
            Restore,         // the page left what it was to show: back to url, later, from the event loop
            AskLoaded,       // ask the page, after askAfterMs, for its address once it has loaded
        };
        Do action = Do::Nothing;
        QUrl url;
        quint64 probe = 0;
        bool scripts = true; // Restore: false once a page keeps leaving; its scripts then stay off
        int askAfterMs = 0;
    };

    Step navigate(const QUrl &url);         // the program's request
    Step engineStarted();                   // the engine runs, with an empty page
    Step answered(quint64 probe);           // the old page answered this probe
    Step loadFinished(bool ok, const QUrl &url);
    Step answerWaitOver();                  // the time for the old page's answer is up
    Step urlChanged(const QUrl &url);       // the page's address changed, by any way
    // The page's answer to AskLoaded: its address, or an empty one while it still loads.
    Step pageLoaded(const QUrl &url);

    State state() const { return m_state; }
    bool engineRunning() const { return m_state != State::EngineOff; }
    QUrl pending() const { return m_pending; } // asked for and not yet shown
    QUrl shown() const { return m_shown; }     // asked for and shown
    // The page the pane is to show: the request while it loads, else the one shown.
    QUrl keep() const { return m_pending.isEmpty() ? m_shown : m_pending; }

    // A page that leaves its address this many times after one request has its scripts off.
    static constexpr int RestoresWithScripts = 2;
    static constexpr int AskAgainMs = 100;

private:
    Step load();
    void show();

    State m_state = State::EngineOff;
    QUrl m_pending;
    QUrl m_shown;
    QUrl m_superseded; // asked for before m_pending, and never shown
    int m_restores = 0;
    quint64 m_probe = 0;
};
