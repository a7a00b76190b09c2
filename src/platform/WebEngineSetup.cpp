// Browser engine set-up.
#include "platform/WebEngineSetup.h"
#include "platform/ProgramVariables.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtGlobal>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// A loopback port held for the program's life and refusing every connection; 0 if none.
int refusingPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        close(fd);
        return 0;
    }
    return ntohs(address.sin_port); // the socket stays open, unlistened, until the program ends
}

QtMessageHandler g_nextHandler = nullptr;

// Qt's words on a program that asks for no GL: the window system's, and the engine's at its
// start. Everything else goes on as before.
void withoutGlNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg
        && (message.startsWith(QLatin1String("QXcbIntegration: Cannot create platform OpenGL context"))
            || message.trimmed() == QLatin1String("No suitable graphics backend found")))
        return;
    g_nextHandler(type, context, message);
}

} // namespace

void prepareWebEngine()
{
    // The engine reports its set-up at every start; a start where nothing is wrong says nothing.
    // Users can still ask for it with QT_LOGGING_RULES, which is read after these rules.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    // As a flag rather than through the engine's variable, which announces itself on the terminal.
    if (geteuid() == 0 && !flags.contains("--no-sandbox"))
        flags += " --no-sandbox";
    // The preview only shows local files: nothing of Chromium's own should reach the network.
    if (!flags.contains("--disable-background-networking"))
        flags += " --disable-background-networking --disable-component-update";
    // A page's WebRTC sends no UDP of its own (STUN to any address, loopback included): the
    // output of a script must not be able to send what it read past the program.
    if (!flags.contains("webrtc-ip-handling-policy"))
        flags += " --force-webrtc-ip-handling-policy=disable_non_proxied_udp";
    // Nor QUIC of WebTransport, in any frame or worker: the interface is not there at all, and
    // the network service speaks no QUIC.
    if (!flags.contains("--disable-blink-features"))
        flags += " --disable-blink-features=WebTransport";
    if (!flags.contains("quic"))
        flags += " --disable-quic";
    // Nothing the engine connects to leaves the program: the preview shows a local page, whose
    // remote subresources the engine refuses anyway, and a peer connection made in any frame
    // or worker would still reach a TURN server over TCP. Every connection goes to a proxy
    // that refuses it: a port of this program's own on loopback, bound and never listening,
    // so no other program can answer there. Loopback goes through it too.
    if (!flags.contains("proxy")) {
        if (const int port = refusingPort())
            flags += " --proxy-server=http://127.0.0.1:" + QByteArray::number(port) + " --proxy-bypass-list=<-loopback>";
    }
    // The preview shows plain pages; the software compositor loads them faster than a GL
    // context does, markedly so where GL itself is software (remote and virtual displays).
    if (!flags.contains("gpu")) {
        flags += " --disable-gpu";
        // Its frames are then images in memory: the window paints them as they are. A GL scene
        // for them would compose the whole window at every repaint, a keystroke's included,
        // which costs several milliseconds of both cores where GL is software.
        if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"))
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        // Nothing then draws with GL, but the engine's library makes a GL context for sharing
        // as the application starts: that loads the GL driver, software GL with its compiler
        // where there is no GPU (30 MB and some tens of milliseconds of the start). Without
        // X11's GL integration the context is never made. (Qt's Wayland client draws its
        // window frames only with its GL integration there: it stays.)
        if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) {
            setProgramVariable("QT_XCB_GL_INTEGRATION", "none");
            if (!g_nextHandler)
                g_nextHandler = qInstallMessageHandler(withoutGlNotes);
        }
    }
    setProgramVariable("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

bool webEngineMayStartLate()
{
    return QQuickWindow::sceneGraphBackend() == QLatin1String("software")
        || qgetenv("QT_QUICK_BACKEND") == "software";
}

} // namespace platform
