// What the benchmarks set up: a private environment, a configured store and the five windows.
#pragma once

#include <algorithm>
#include <vector>

#include "Startup.h"
#include "Unit1.h"
#include "core/SettingsStore.h"
#include "platform/Registry.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QTemporaryDir>

// Comes first: the environment and the engine are set before the application object exists.
struct BenchEnvironment
{
    QTemporaryDir dir;
    BenchEnvironment()
    {
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toLocal8Bit());
        qputenv("TMPDIR", dir.path().toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (dir.path() + QStringLiteral("/cache")).toLocal8Bit());
        // Recovery copies of the benchmarks' documents stay out of the user's own state.
        qputenv("XDG_STATE_HOME", (dir.path() + QStringLiteral("/state")).toLocal8Bit());
        platform::prepareWebEngine();
    }
};

struct BenchProgram : BenchEnvironment
{
    QApplication app;

    BenchProgram(int &argc, char **argv) : app(argc, argv)
    {
        initApplication(app);
        SettingsStore store = platform::programSettings();
        store.open();
        store.writeString(SettingsStore::ValueConfigured, QStringLiteral("1"));
        store.writeString(SettingsStore::ValueInterpreter, QStringLiteral("/usr/bin/php"));
        createForms();
        Form1->show();
    }
    ~BenchProgram() { destroyForms(); }
};

// A figure of a process's memory from its /proc status ("VmRSS:", "VmHWM:"), in kB; 0 when
// it cannot be read.
inline double ms(qint64 ns)
{
    return ns / 1e6;
}

// Lets the event loop run for a while, as a user's pause between keys.
inline void idle(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

// The middle of the figures (the mean of the two middle ones for an even number).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline qint64 memoryKb(const QString &statusFile, const char *field)
{
    QFile status(statusFile);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return 0;
}
