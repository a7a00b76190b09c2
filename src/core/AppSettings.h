// AppSettings: the program's two settings as every window shares them, with a signal when the
// interpreter changes; the settings file is read and written by whoever changes them.
#pragma once

#include <QObject>
#include <QString>

class AppSettings : public QObject
{
    Q_OBJECT
public:
    static AppSettings &instance();

    // "InterpreterPath": the interpreter the preview runs; empty until one is chosen.
    const QString &interpreterPath() const { return m_interpreterPath; }
    void setInterpreterPath(const QString &path);
    // "CGIInterpreter": PHP's CGI interpreter for the page's requests, where it does not stand
    // beside the interpreter; empty: beside it.
    const QString &cgiInterpreterPath() const { return m_cgiInterpreterPath; }
    void setCgiInterpreterPath(const QString &path) { m_cgiInterpreterPath = path; }
    // "Configured": the first-run prompt has been answered.
    bool configured() const { return m_configured; }
    void setConfigured(bool configured) { m_configured = configured; }

signals:
    // The interpreter changed (not raised when it stays the same).
    void interpreterChanged(const QString &path);

private:
    AppSettings() = default;
    QString m_interpreterPath;
    QString m_cgiInterpreterPath;
    bool m_configured = false;
};
