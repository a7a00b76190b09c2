// SyntaxCheck: the editor's text checked by the user's own interpreter (`php -l`), in the same
// container as a preview run; the code is parsed, never run.
#pragma once

#include "core/ScriptMessages.h"
#include "platform/InterpreterProcess.h"

#include <QObject>
#include <memory>

namespace platform {

class SyntaxCheck : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 OutputRead = 64 * 1024; // of what the check wrote

    explicit SyntaxCheck(QObject *parent = nullptr);
    ~SyntaxCheck() override;

    // Ends a check still going, then checks script as the file documentPath (or, without one,
    // as a scratch file of its own) in its folder. False when no check could be started: no
    // container can be had, the interpreter is missing, the script cannot be written; nothing
    // is told then. The start does not wait for the container: one that could not be made
    // after all is told as a check that found nothing.
    bool start(const QString &interpreter, const QByteArray &script, const QString &documentPath);
    void stop();
    bool isRunning() const;

signals:
    // The check ended: the errors it found (a parse error names its line), none when the text
    // parses.
    void checked(const QList<ScriptMessage> &errors);

private:
    void ended();

    std::unique_ptr<InterpreterProcess> m_process;
    QString m_output;
    QString m_inside; // the script's name as the interpreter sees it
};

} // namespace platform
