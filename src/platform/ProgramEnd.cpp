// Signal handling that takes the interpreters along when the program ends.
#include "platform/ProgramEnd.h"

#include "platform/InterpreterProcess.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

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

void endAsBySignal()
{
    killRunningInterpreters();
    // exit(), not quit(): quit() closes the windows first, as the user's Exit does, and a
    // signal is not the user's Exit (the unsaved text is kept for the next start). It ends
    // every loop that runs, a message box's too.
    g_endRequested = true;
    QCoreApplication::exit(0);
}

// Watches for the destruction of one window by anyone but Qt itself.
class WindowLoss : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit WindowLoss(QWindow *window) : QObject(window), m_window(window), m_id(quint32(window->winId()))
    {
        window->installEventFilter(this);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~WindowLoss() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Qt's own destruction of its window (at the end, or to make it anew) is none.
        if (watched == m_window && event->type() == QEvent::PlatformSurface) {
            const auto type = static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType();
            m_id = type == QPlatformSurfaceEvent::SurfaceCreated ? quint32(m_window->winId()) : 0;
        }
        return false;
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (m_id == 0 || eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY
            || reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window != m_id)
            return false;
        m_id = 0;
        endAsBySignal();
        return false;
    }

private:
    QWindow *m_window;
    quint32 m_id;
};

} // namespace

void endWithWindow(QWidget *window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !window->windowHandle())
        return;
    new WindowLoss(window->windowHandle());
}

void endInterpretersWithTheProgram(QCoreApplication &app)
{
    if (g_quitPipe[0] < 0 && pipe2(g_quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char buf[16];
        while (read(g_quitPipe[0], buf, sizeof buf) > 0) {
        }
        endAsBySignal();
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
