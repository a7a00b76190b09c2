// Running the interpreter and ending it: a direct start in a process group of its own.
#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

namespace platform {

class InterpreterProcess : public QObject
{
    Q_OBJECT
public:
    // Bound on the output file; a script that writes past it is ended by the kernel (SIGXFSZ).
    static constexpr qint64 OutputLimit = 64ll * 1024 * 1024;

    explicit InterpreterProcess(QObject *parent = nullptr);
    ~InterpreterProcess() override;

    // Creates or truncates outputPath, then starts program (as it stands: no shell, no splitting)
    // with standard output and standard error into it and standard input empty.
    // False when the program could not be started; the output file is then empty.
    bool start(const QString &program, const QStringList &arguments, const QString &outputPath);

    bool isRunning() const;
    bool waitForFinished(int msecs);
    qint64 processId() const;

    // SIGKILL to the interpreter's process group: it and whatever it started, nothing else.
    void kill();

signals:
    void finished();

private:
    QProcess m_process;
};

} // namespace platform
