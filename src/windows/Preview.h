// Preview: the editor's text run in its container and its output shown in the pane, as one flow.
#pragma once

#include "core/ScriptMessages.h"
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
    explicit Preview(TWebBrowser *pane, QObject *parent = nullptr);

    // Runs the text; the page follows by itself. Raises "Cannot create file %s" (nothing runs).
    void run(const platform::PreviewRequest &request);
    // New: the run and its page go; the pane is blank.
    void clear();
    // Esc: ends a running script; what it wrote shows. False when none runs.
    bool abort();
    bool isRunning() const;
    qint64 runningProcessId() const;

signals:
    // The pane shows a run's output: PHP's messages about the script (by the lines of the text
    // it ran), and the status bar's word on the page (empty when nothing is amiss).
    void shown(const QList<ScriptMessage> &messages, const QString &state);
    // The run's word while it goes ("Skript läuft seit …"); empty when it has no more to say.
    void statusChanged(const QString &message);
    void runningChanged(bool running);

private:
    void show(const platform::PreviewOutput &output);

    TWebBrowser *m_pane;
    platform::PreviewRunner m_runner;
};
