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
    // "Configured": the first-run prompt has been answered.
    bool configured() const { return m_configured; }
    void setConfigured(bool configured) { m_configured = configured; }

signals:
    // The interpreter changed (not raised when it stays the same).
    void interpreterChanged(const QString &path);

private:
    AppSettings() = default;
    QString m_interpreterPath;
    bool m_configured = false;
};
