// What the benchmarks set up: a private environment, a configured store and the five windows.
#pragma once

#include "BenchFigures.h"
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

// Lets the event loop run for a while, as a user's pause between keys.
inline void idle(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}
