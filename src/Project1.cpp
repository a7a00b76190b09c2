// Project1: the program entry.
#include "Startup.h"
#include "Unit1.h"
#include "platform/ProgramEnd.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    platform::prepareWebEngine();
    QApplication app(argc, argv);
    initApplication(app);
    platform::endInterpretersWithTheProgram(app);
    createForms();
    Form1->show();
    // A file named on the command line (the desktop entry's %f) is loaded, not run.
    // From inside the event loop, so that the program's end by a signal ends it at any point.
    const QStringList arguments = app.arguments();
    QTimer::singleShot(0, Form1, [arguments] {
        // Unsaved text that a crash or a kill left comes first; taken, it is the document.
        if (Form1->RecoverAtStart())
            return;
        if (arguments.size() > 1)
            Form1->OpenAtStart(arguments.at(1));
    });
    // A signal during the start (while a message box waited for its OK) ends the program here.
    const int code = platform::endRequested() ? 0 : app.exec();
    destroyForms();
    return code;
}
