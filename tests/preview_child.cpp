// A program that runs one endless preview and then waits, as Korlith does: the suite ends it by
// a signal and looks at what is left. Prints the interpreter's process id.
#include "platform/PreviewRunner.h"
#include "platform/ProgramEnd.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    platform::endInterpretersWithTheProgram(app);
    if (argc < 3)
        return 2;
    platform::PreviewRunner runner;
    runner.start(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    std::printf("%lld\n", runner.runningProcessId());
    std::fflush(stdout);
    return app.exec();
}
