// A program that runs one preview and then waits, as Korlith does: the suite ends it by a signal
// and looks at what is left. Prints the interpreter's process id and the output file's path.
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
    const QString out = runner.start(platform::PreviewRequest{QString::fromLocal8Bit(argv[1]), QByteArray(argv[2]), {}, {}});
    std::printf("%lld\n%s\n", runner.runningProcessId(), out.toLocal8Bit().constData());
    std::fflush(stdout);
    return app.exec();
}
