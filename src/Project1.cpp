// Project1: the program entry.
#include "Startup.h"
#include "Unit1.h"
#include "platform/ProgramEnd.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    platform::prepareWebEngine();
    QApplication app(argc, argv);
    initApplication(app);
    platform::endInterpretersWithTheProgram(app);
    createForms();
    Form1->show();
    const int code = app.exec();
    destroyForms();
    return code;
}
