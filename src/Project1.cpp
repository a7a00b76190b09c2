// Project1: the program entry.
#include "Startup.h"
#include "Unit1.h"
#include "platform/FileNames.h"
#include "platform/ProgramEnd.h"
#include "platform/ScratchDir.h"
#include "platform/WebEngineSetup.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (!platform::windowSystemNamed()) {
        std::fputs(platform::noWindowSystemMessage(), stderr);
        return 1;
    }
    platform::chooseWindowSystem();
    platform::prepareWebEngine();
    QApplication app(argc, argv);
    initApplication(app);
    platform::endInterpretersWithTheProgram(app);
    createForms();
    // A file named on the command line (the desktop entry's %f) is loaded, not run.
    // The name by its own bytes (Qt has taken its own options out of argv): one that is not
    // UTF-8 still names its file.
    Form1->StartUp(argc > 1 ? platform::commandLineFile(QByteArray(argv[1])) : QString());
    // A signal during the start (while a message box waited for its OK) ends the program here.
    const int code = platform::endRequested() ? 0 : app.exec();
    destroyForms();
    // The runs have ended with the window: their folder goes (a crash leaves it to the next start).
    platform::releaseScratchDirectory();
    return code;
}
