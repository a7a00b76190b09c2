// TWebBrowser: the preview pane, a web view whose every navigation asks OnBeforeNavigate2 first.
#pragma once

#include "core/PaneNavigation.h"
#include "core/WebRequest.h"

#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

class TWebBrowser;
class PreviewAddressMap;
class TWebFormBridge;

class TWebBrowserPage : public QWebEnginePage
{
    Q_OBJECT
public:
    TWebBrowserPage(QWebEngineProfile *profile, TWebBrowser *browser);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    // Pages the output opens in new windows are never opened.
    QWebEnginePage *createWindow(WebWindowType type) override;
    // A page's alert, confirm and prompt never block the program (a loop of them would lock
    // every window): none is shown; confirm and prompt answer as if cancelled.
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;

private:
    TWebBrowser *m_browser;
};

// What a page's submitted form hands over, from a world of its own that the page's scripts
// cannot reach.
class TWebFormBridge : public QObject
{
    Q_OBJECT
public:
    explicit TWebFormBridge(TWebBrowser *browser) : QObject(nullptr), m_browser(browser) {}
    // body: base64; fields: how many the form sent.
    Q_INVOKABLE void submit(const QString &action, const QString &method, const QString &contentType,
                            const QString &body, int fields);

private:
    TWebBrowser *m_browser;
};

class TWebBrowser : public QWebEngineView
{
    Q_OBJECT
public:
    explicit TWebBrowser(QWidget *parent = nullptr);
    ~TWebBrowser() override;

    // Starts showing a local file path or "about:blank"; returns without waiting for the load.
    // The pane shows only what was asked for here: a page that leaves it by a way the guard is
    // never asked about (about:blank, history) is taken back to it.
    void Navigate(const QString &target);

    // The folder the page's relative addresses lead to (stylesheets, images, scripts, fonts):
    // a request for a file beside the shown page, other than the page, is served from the same
    // place below this folder, never from outside it. Empty: nothing is mapped.
    void setDocumentFolder(const QString &folder);
    // How many of the pages' requests were refused so far: every address of the network, every
    // kind of request that is not one of a page's own or what a web page loads.
    int refusedRequests() const;

    // The engine starts when it is first needed: after the pane's first paint once a page has
    // been asked for (a moment later where the pane is not shown), or soon after warmUp(). The
    // empty pane needs none: until then it is a plain widget of the empty page's colour, and the
    // program holds neither the engine's processes nor their memory.
    void startEngine();
    bool engineStarted() const;
    // A page will be asked for soon (the user has begun to type): the engine starts a moment
    // later, so that the first run finds it ready.
    void warmUp();
    // The page asked for last has loaded, and nothing else is on its way.
    bool pageSettled() const { return m_navigation.state() == PaneNavigation::State::Shown; }

    // Raised before every navigation, the program's and the page's own; set cancel to stop it.
    std::function<void(const QString &url, bool &cancel)> OnBeforeNavigate2;
    // The page asks for an address with a request: a form submitted (its fields as the engine
    // encodes them), a link followed. True: it is run as a request, and the page stays.
    std::function<bool(const QUrl &url, const WebRequest &request)> OnDocumentRequest;

protected:
    // Copying and selecting; nothing that would navigate, open a window or save.
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    // The engine's view inside the pane, made and remade with its pages: what the user does
    // there is watched for the commands that let the engine write the clipboard.
    void childEvent(QChildEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TWebBrowserPage *makePage(QWebEngineProfile *profile);
    QColor emptyColour() const;
    QColor backgroundFor(const QUrl &url) const;
    // Does what the navigation's step says.
    void apply(const PaneNavigation::Step &step);

    PaneNavigation m_navigation;
    QTimer m_answerWait; // how long the page may take to answer after a navigation began
    PreviewAddressMap *m_addresses; // the profile's once the engine runs
    TWebFormBridge *m_forms;        // every page's channel shows it
    QTimer m_engineStart; // at once after a paint, a moment after a navigation where none comes
    bool m_engineWanted = false; // a page was asked for, or the warm-up
    bool m_painted = false;
    static constexpr int StartAtTheLatestMs = 250;
    // After the key that asked for the warm-up has been painted: the start holds the window's
    // thread for some tens of milliseconds, which fall between two keys of a typist.
    static constexpr int WarmUpAfterMs = 20;
    QPoint m_pressedAt; // where the left button went down in the pane
    bool m_pressed = false;
};
