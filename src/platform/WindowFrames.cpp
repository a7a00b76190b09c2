// Windows of fixed size under a compositor that maximises any window.
#include "platform/WindowFrames.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace platform {

namespace {

// A window whose bound was lifted, and one whose layout waits for the window to be back.
constexpr char FixedWindow[] = "korlithFixedWindow";
constexpr char LayoutWaits[] = "korlithLayoutWaits";

bool framesDrawnHere()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Done before the window is mapped: the compositor's configuration for a maximised state may be
// applied before any handler of the state change runs, and Qt bounds the size it commits by the
// window's greatest size. The widget's own bound too, since every later move or resize of the
// widget would bring the window back to it.
void leaveUnbounded(QWidget *window)
{
    if (window->minimumSize() != window->maximumSize())
        return;
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->setProperty(FixedWindow, true);
}

bool isFixedWindow(const QWidget *window)
{
    return window->property(FixedWindow).toBool();
}

// Larger than its own size: the compositor holds it so (maximised, or asked back and not yet
// answered). Only the compositor may change its size then.
bool heldByCompositor(const QWidget *window)
{
    return isFixedWindow(window) && window->size() != window->minimumSize();
}

class FixedWindowWatch : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto *window = static_cast<QWidget *>(watched);
        if (!window->isWindow() || !window->windowHandle())
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::ShowToParent:
            // Looked at as the window is shown, and again once its show handler has run (a
            // message box fixes its size there).
            leaveUnbounded(window);
            return false;
        case QEvent::LayoutRequest:
            // A layout, or a message box, fixes the window's size to what it holds.
            if (window == m_laying || !isFixedWindow(window))
                return false;
            if (heldByCompositor(window)) {
                window->setProperty(LayoutWaits, true);
                return true;
            }
            layOut(window, event);
            return true;
        case QEvent::Resize:
            if (window->property(LayoutWaits).toBool() && !heldByCompositor(window)) {
                window->setProperty(LayoutWaits, QVariant());
                QCoreApplication::postEvent(window, new QEvent(QEvent::LayoutRequest));
            }
            return false;
        default:
            return false;
        }
    }

private:
    // The request as the window would take it, then its bound lifted again before the
    // compositor can be heard.
    void layOut(QWidget *window, QEvent *event)
    {
        m_laying = window;
        QCoreApplication::sendEvent(window, event);
        m_laying = nullptr;
        leaveUnbounded(window);
    }

    QPointer<QWidget> m_laying;
};

} // namespace

void letFixedWindowsMaximise(QGuiApplication &app)
{
    if (framesDrawnHere())
        app.installEventFilter(new FixedWindowWatch(&app));
}

void setFixedWindowSize(QWidget *window, const QSize &size)
{
    if (!framesDrawnHere()) {
        window->setFixedSize(size);
        return;
    }
    if (heldByCompositor(window)) {
        // Its new size once the compositor gives it back; nothing changes before.
        window->setMinimumSize(size);
        return;
    }
    window->setFixedSize(size);
    if (window->isVisible())
        leaveUnbounded(window);
}

} // namespace platform
