// Test entry: the same engine and application set-up as the program, then the Qt Test run.
#pragma once

#include "Startup.h"
#include "TestSupport.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#define KORLITH_TEST_MAIN(TestClass)                                                                                   \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        /* Qt keeps its own settings (the file dialogs' state) where the first QSettings looked: */                \
        /* a folder of this run, gone with it, not one of the cases' environments. */                                \
        QTemporaryDir home(QDir::tempPath() + QStringLiteral("/korlith-tests-XXXXXX"));                                \
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());                                                         \
        qputenv("XDG_STATE_HOME", home.path().toLocal8Bit());                                                          \
        qputenv("XDG_CACHE_HOME", home.path().toLocal8Bit());                                                          \
        rememberUserEnvironment();                                                                                     \
        platform::prepareWebEngine();                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        initApplication(app);                                                                                          \
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).value(QStringLiteral("x"));                       \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
