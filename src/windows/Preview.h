// Preview: the editor's text run in its container and its output shown in the pane, as one flow.
#pragma once

#include "core/ScriptMessages.h"
#include "core/WebRequest.h"
#include "platform/PreviewRunner.h"

#include <QObject>

class TWebBrowser;

// The pane's guard, applied to every navigation it is asked about: only the output passes.
void WebBrowser1BeforeNavigate2(const QString &url, bool &cancel);

class Preview : public QObject
{
    Q_OBJECT
public:
    // Takes the pane's navigation rule into the pane, once.
    static constexpr int MaxRedirects = 10; // followed in a row, as browsers bound them

    explicit Preview(TWebBrowser *pane, QObject *parent = nullptr);

    // Runs the text; the page follows by itself. Raises "Cannot create file %s" (nothing runs).
    // The page's last request is forgotten.
    void run(const platform::PreviewRequest &request);
    // Runs the text as the page's request to its document asks (request.web), with the cookies
    // the document set; a redirect back to the document is followed. Raises as run().
    void request(const platform::PreviewRequest &request);
    // The last request again, with this text. False when the page has made none since the
    // last plain run.
    bool repeatRequest(const platform::PreviewRequest &request);
    // New and Open: the document's cookies and its last request go.
    void forgetRequests();
    // New: the run and its page go; the pane is blank.
    void clear();
    // Esc: ends a running script; what it wrote shows. False when none runs.
    bool abort();
    bool isRunning() const;
    qint64 runningProcessId() const;

signals:
    // The pane shows a run's output: PHP's messages about the script (by the lines of the text
    // it ran), the status bar's word on the page (empty when nothing is amiss), and what the
    // run cost (empty while it runs, or where it was ended).
    void shown(const QList<ScriptMessage> &messages, const QString &state, const QString &cost);
    // The run's word while it goes ("Skript läuft seit …"); empty when it has no more to say.
    void statusChanged(const QString &message);
    void runningChanged(bool running);
    // The page asks for its document with a request (a form, a link): the window runs it.
    void documentRequested(const WebRequest &request);

private:
    void show(const platform::PreviewOutput &output);
    bool takeRequest(const QUrl &url, const WebRequest &request);
    bool followsRedirect(const platform::PreviewOutput &output);
    QString requestState(const platform::PreviewOutput &output) const;
    void start(platform::PreviewRequest request);

    TWebBrowser *m_pane;
    platform::PreviewRunner m_runner;
    DocumentAddress m_address;          // the page shown, for its requests
    CookieJar m_cookies;
    std::optional<WebRequest> m_last;   // the page's last request, for Shift+F5
    platform::PreviewRequest m_running; // the request that runs, for a redirect that follows
    int m_redirects = 0;                // followed in a row
};
