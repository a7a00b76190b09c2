// Test entry: the same engine and application set-up as the program, then the Qt Test run.
#pragma once

#include "Startup.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QtTest>

#define KORLITH_TEST_MAIN(TestClass)                                                                                   \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        platform::prepareWebEngine();                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        initApplication(app);                                                                                          \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
