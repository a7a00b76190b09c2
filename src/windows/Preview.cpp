// Preview: reads a run's output once, for the pane and the gutter alike.
#include "Preview.h"

#include "WebBrowser.h"
#include "core/PreviewRun.h"
#include "platform/ErrorBox.h"
#include "platform/InterpreterProcess.h"
#include "platform/ScratchDir.h"

#include <QFileInfo>

void WebBrowser1BeforeNavigate2(const QString &url, bool &cancel)
{
    if (!isPreviewOutputTarget(url))
        cancel = true;
}

Preview::Preview(TWebBrowser *pane, QObject *parent) : QObject(parent), m_pane(pane)
{
    m_pane->OnBeforeNavigate2 = WebBrowser1BeforeNavigate2;
    connect(&m_runner, &platform::PreviewRunner::outputReady, this, [this](const platform::PreviewOutput &output) {
        platform::guarded([&] { show(output); });
    });
    connect(&m_runner, &platform::PreviewRunner::statusChanged, this, &Preview::statusChanged);
    connect(&m_runner, &platform::PreviewRunner::runningChanged, this, &Preview::runningChanged);
}

void Preview::run(const platform::PreviewRequest &request)
{
    m_runner.start(request);
}

void Preview::clear()
{
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
    m_pane->Navigate(content.regular ? output.path : QStringLiteral("about:blank"));
    emit shown(findScriptMessages(content.bytes, output.scriptPath), state);
}
