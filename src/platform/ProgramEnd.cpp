// Signal handling that takes the interpreters along when the program ends.
#include "platform/ProgramEnd.h"

#include "platform/InterpreterProcess.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int g_quitPipe[2] = {-1, -1};
bool g_endRequested = false;

void onQuitSignal(int)
{
    killRunningInterpreters();
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_quitPipe[1], &byte, 1);
}

void onCrash(int sig)
{
    killRunningInterpreters();
    signal(sig, SIG_DFL);
    raise(sig);
}

} // namespace

void endInterpretersWithTheProgram(QCoreApplication &app)
{
    if (g_quitPipe[0] < 0 && pipe2(g_quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char buf[16];
        while (read(g_quitPipe[0], buf, sizeof buf) > 0) {
        }
        // exit(), not quit(): quit() closes the windows first, as the user's Exit does, and a
        // signal is not the user's Exit (the unsaved text is kept for the next start). It ends
        // every loop that runs, a message box's too.
        g_endRequested = true;
        QCoreApplication::exit(0);
    });
    struct sigaction quit = {};
    quit.sa_handler = onQuitSignal;
    sigemptyset(&quit.sa_mask);
    quit.sa_flags = SA_RESTART;
    // Every signal that would end the program by default ends it this way, its copy written.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM})
        sigaction(sig, &quit, nullptr);
    struct sigaction crash = {};
    crash.sa_handler = onCrash;
    sigemptyset(&crash.sa_mask);
    crash.sa_flags = SA_RESETHAND;
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(sig, &crash, nullptr);
}

bool endRequested()
{
    // A signal may still wait in the pipe: take it now.
    QCoreApplication::sendPostedEvents();
    char byte;
    if (g_quitPipe[0] >= 0 && read(g_quitPipe[0], &byte, 1) > 0)
        g_endRequested = true;
    return g_endRequested;
}

} // namespace platform
