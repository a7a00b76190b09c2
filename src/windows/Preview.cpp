// Preview: reads a run's output once, for the pane and the gutter alike.
#include "Preview.h"

#include "WebBrowser.h"
#include "core/PreviewRun.h"
#include "platform/ErrorBox.h"
#include "platform/InterpreterProcess.h"
#include "platform/ScratchDir.h"

#include <QDateTime>
#include <algorithm>
#include <QFileInfo>

void WebBrowser1BeforeNavigate2(const QString &url, bool &cancel)
{
    if (!isPreviewOutputTarget(url))
        cancel = true;
}

Preview::Preview(TWebBrowser *pane, QObject *parent) : QObject(parent), m_pane(pane)
{
    m_pane->OnBeforeNavigate2 = WebBrowser1BeforeNavigate2;
    m_pane->OnDocumentRequest = [this](const QUrl &url, const WebRequest &request) { return takeRequest(url, request); };
    connect(&m_runner, &platform::PreviewRunner::outputReady, this, [this](const platform::PreviewOutput &output) {
        platform::guarded([&] { show(output); });
    });
    connect(&m_runner, &platform::PreviewRunner::statusChanged, this, &Preview::statusChanged);
    connect(&m_runner, &platform::PreviewRunner::runningChanged, this, &Preview::runningChanged);
}

void Preview::run(const platform::PreviewRequest &request)
{
    m_last.reset();
    platform::PreviewRequest plain = request;
    plain.web.reset();
    start(plain);
}

void Preview::request(const platform::PreviewRequest &request)
{
    m_last = request.web;
    m_redirects = 0;
    start(request);
}

bool Preview::repeatRequest(const platform::PreviewRequest &request)
{
    if (!m_last)
        return false;
    platform::PreviewRequest again = request;
    again.web = m_last;
    this->request(again);
    return true;
}

void Preview::forgetRequests()
{
    m_cookies.clear();
    m_last.reset();
}

void Preview::start(platform::PreviewRequest request)
{
    if (request.web)
        request.cookie = m_cookies.header(QDateTime::currentDateTimeUtc());
    m_running = request;
    m_runner.start(request);
}

bool Preview::takeRequest(const QUrl &url, const WebRequest &asked)
{
    QByteArray query;
    if (m_address.page.isEmpty() || !leadsToDocument(url, m_address, &query))
        return false;
    WebRequest request = asked;
    request.query = query;
    // Out of the engine's call: the run replaces the page that asks.
    QMetaObject::invokeMethod(this, [this, request] { emit documentRequested(request); }, Qt::QueuedConnection);
    return true;
}

bool Preview::followsRedirect(const platform::PreviewOutput &output)
{
    const CgiResponse &response = *output.response;
    QByteArray query;
    if (m_runner.isRunning() || response.status < 300 || response.status >= 400 || response.location.isEmpty()
        || !redirectsToDocument(response.location, output.scriptPath, &query) || m_redirects >= MaxRedirects)
        return false;
    // As a browser follows it: its body is never shown, and a loop of them is bounded.
    ++m_redirects;
    platform::PreviewRequest next = m_running;
    next.web = WebRequest{"GET", query, {}, {}, -1};
    QMetaObject::invokeMethod(this, [this, next] { platform::guarded([&] { start(next); }); }, Qt::QueuedConnection);
    return true;
}

QString Preview::requestState(const platform::PreviewOutput &output) const
{
    const WebRequest &request = *m_running.web;
    const QString name = QFileInfo(output.scriptPath).fileName();
    const CgiResponse &response = *output.response;
    if (m_redirects >= MaxRedirects && redirectsToDocument(response.location, output.scriptPath))
        return requestLabel(request, name) + QStringLiteral(" → %1 Weiterleitungen in Folge, die letzte nicht gefolgt")
                                                  .arg(MaxRedirects);
    const QString note = responseNote(request, name, response, false);
    return note.isEmpty() ? requestLabel(request, name) : note;
}

void Preview::clear()
{
    forgetRequests();
    // The discarded script's run goes with it, late page and background children included.
    m_runner.stop();
    m_pane->Navigate(QStringLiteral("about:blank"));
}

bool Preview::abort()
{
    return m_runner.abort();
}

bool Preview::isRunning() const
{
    return m_runner.isRunning();
}

qint64 Preview::runningProcessId() const
{
    return m_runner.runningProcessId();
}

void Preview::show(const platform::PreviewOutput &output)
{
    m_address = DocumentAddress{output.path, output.scriptPath};
    if (output.response && !m_runner.isRunning())
        m_cookies.take(output.response->cookies, QDateTime::currentDateTimeUtc());
    if (output.response && m_running.web && followsRedirect(output))
        return;
    // Read without following a link or waiting on a pipe that a script may have left there,
    // and never more than the bound the output was held to.
    const platform::ScratchContent content =
        platform::readScratchFile(output.path, platform::InterpreterProcess::OutputLimit);
    // A page cut short looks complete: the status bar says that it is not.
    OutputFacts facts;
    facts.regular = content.regular;
    facts.present = content.regular || QFileInfo::exists(output.path);
    facts.size = output.cut ? platform::InterpreterProcess::OutputLimit : content.size;
    facts.limit = platform::InterpreterProcess::OutputLimit;
    facts.scratchFull = facts.size < facts.limit && (output.writeFailed || platform::scratchSpaceExhausted());
    QString state = outputStateMessage(facts);
    if (state.isEmpty())
        state = output.notice;
    const QString asked = output.response && m_running.web ? requestState(output) : QString();
    if (state.isEmpty())
        state = asked;
    m_pane->Navigate(content.regular ? output.path : QStringLiteral("about:blank"));
    // A request's messages may also stand in its error log, as a server's do; one that stands
    // in both (errors shown and logged) is marked once.
    QList<ScriptMessage> messages = findScriptMessages(content.bytes, output.scriptPath);
    for (const ScriptMessage &logged : findScriptMessages(output.errors, output.scriptPath)) {
        const bool known = std::any_of(messages.cbegin(), messages.cend(), [&](const ScriptMessage &m) {
            return m.line == logged.line && m.text == logged.text;
        });
        if (!known)
            messages << logged;
    }
    emit shown(messages, state, runCostMessage(output.cost));
}
