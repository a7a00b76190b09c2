// Windows of fixed size under a compositor that maximises any window.
#include "platform/WindowFrames.h"

#include <QGuiApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace platform {

namespace {

bool framesDrawnHere()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Done before the window is mapped: the compositor's configuration for a maximised state may be
// applied before any handler of the state change runs. The widget's own bound too, since every
// later move or resize of the widget would bring the window back to it.
void leaveUnbounded(QWidget *window)
{
    if (window->minimumSize() == window->maximumSize())
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

class FixedWindowWatch : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Looked at as the window is shown, and again once its show handler has run (a message
        // box of Qt's own fixes its size there; the program's own boxes keep after every layout,
        // see MessageBox).
        if ((event->type() != QEvent::Show && event->type() != QEvent::ShowToParent) || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow() && widget->windowHandle())
            leaveUnbounded(widget);
        return false;
    }
};

} // namespace

void letFixedWindowsMaximise(QGuiApplication &app)
{
    if (framesDrawnHere())
        app.installEventFilter(new FixedWindowWatch(&app));
}

void keepMaximisable(QWidget *window)
{
    if (framesDrawnHere() && window->isVisible())
        leaveUnbounded(window);
}

} // namespace platform
