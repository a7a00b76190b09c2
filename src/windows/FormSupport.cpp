// Shared window behaviour of the dialogs.
#include "FormSupport.h"

#include "EditorPalette.h"
#include "platform/Fonts.h"
#include "platform/WindowFrames.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

void makeFixedDialog(QWidget *window)
{
    window->setFont(platform::dialogFont());
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
    // Labels size themselves to their text. The substitute for the dialog font can be wider
    // than the layout was drawn for, so the window grows rather than cut a text off.
    // The right margin is the window's left one, whatever column a label stands in.
    QSize size = window->size();
    int margin = size.width();
    for (QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        margin = std::min(margin, child->x());
    for (QLabel *label : window->findChildren<QLabel *>()) {
        label->adjustSize();
        const QRect r = label->geometry();
        if (label->parentWidget() == window)
            size = size.expandedTo(QSize(r.right() + 1 + std::max(margin, 0), r.bottom() + 1));
    }
    platform::drawOwnFrame(window);
    platform::setFixedWindowSize(window, size);
    window->setAttribute(Qt::WA_QuitOnClose, false);
}

namespace {

// A resizable window larger than the room its frame leaves in the work area is made to fit.
void shrinkInto(QWidget *window, const QSize &room)
{
    if (window->minimumSize() != window->maximumSize() && (window->width() > room.width() || window->height() > room.height()))
        window->resize(window->size().boundedTo(room).expandedTo(window->minimumSize()));
}

// The frame's place: centred in the work area, its top-left corner inside it.
QPoint framePlace(const QRect &area, const QSize &frameSize)
{
    QRect frame(QPoint(), frameSize);
    frame.moveCenter(area.center());
    return QPoint(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

// Before its first showing a window's frame is a guess, and a window manager may take the
// position asked for as the window's own rather than its frame's (openbox does): the title bar
// would then lie a frame's height lower, or off the top of a small screen. Once the window
// manager has framed it, the window goes where its real frame belongs, once.
class FramePlacer : public QObject
{
public:
    FramePlacer(QWidget *window, const QRect &area) : QObject(window), m_window(window), m_area(area)
    {
        // The window manager's frame comes with no event of the window's own: looked for a
        // few times a second, for as long as a window manager takes to frame a window.
        connect(&m_look, &QTimer::timeout, this, &FramePlacer::look);
        m_look.start(40);
        // Without a window manager no frame comes: the window is then placed as it is, and
        // again should a slow window manager frame it after all.
        QTimer::singleShot(2000, this, [this] { place(m_window->frameGeometry()); });
        QTimer::singleShot(10000, this, [this] { deleteLater(); });
    }

private:
    void look()
    {
        // Minimised meanwhile: the window manager has taken the window as it is.
        if (m_window->isMinimized()) {
            m_look.stop();
            deleteLater();
            return;
        }
        const QRect frame = m_window->frameGeometry();
        if (!m_window->isVisible() || frame == m_window->geometry())
            return;
        place(frame);
        m_look.stop();
        deleteLater();
    }

    void place(const QRect &frame)
    {
        const QPoint place = framePlace(m_area, frame.size());
        if (m_window->isVisible() && !m_window->isMinimized() && frame.topLeft() != place)
            m_window->move(place);
    }

    QWidget *m_window;
    QRect m_area;
    QTimer m_look;
};

} // namespace

void centreOnFirstShow(QWidget *window, bool &shownBefore)
{
    if (shownBefore)
        return;
    shownBefore = true;
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Before the first showing the window system has not framed the window yet: room for a
    // title bar and borders.
    QSize frameExtra = window->frameGeometry().size() - window->size();
    const bool framed = !frameExtra.isNull();
    if (!framed)
        frameExtra = QSize(16, 48);
    // On a small screen or at a large scale factor the window may be larger than the screen: a
    // resizable one is made to fit, and any window keeps its title bar and menus on the screen.
    shrinkInto(window, area.size() - frameExtra);
    window->move(framePlace(area, window->size() + frameExtra));
    if (!framed && window->isWindow())
        new FramePlacer(window, area);
}

namespace {

constexpr char ScreenWatched[] = "korlithScreenWatched";

// Where a window has been made to fit after a change of its screen: a resizable window larger
// than the work area shrinks, then the frame is moved into the area.
void fitAfterScreenChange(QWidget *window)
{
    if (!window->isVisible() || window->isMinimized() || window->isMaximized() || window->isFullScreen())
        return;
    QScreen *screen = window->screen();
    if (!screen)
        return;
    if (window->metaObject()->indexOfMethod("fitToScreen()") >= 0)
        QMetaObject::invokeMethod(window, "fitToScreen");
    shrinkInto(window, screen->availableGeometry().size() - (window->frameGeometry().size() - window->size()));
    keepFrameOnScreen(window);
}

// Follows the window's screen, and that screen's work area.
class ScreenWatch : public QObject
{
public:
    explicit ScreenWatch(QWidget *window) : QObject(window), m_window(window)
    {
        connect(window->windowHandle(), &QWindow::screenChanged, this, [this](QScreen *screen) {
            follow(screen);
            changed();
        });
        follow(window->windowHandle()->screen());
        // The window manager's frame for a new size comes some time after the resize.
        m_again.setSingleShot(true);
        m_again.setInterval(150);
        connect(&m_again, &QTimer::timeout, this, [this] { fitAfterScreenChange(m_window); });
    }

private:
    void follow(QScreen *screen)
    {
        disconnect(m_areaLink);
        if (screen)
            m_areaLink = connect(screen, &QScreen::availableGeometryChanged, this, &ScreenWatch::changed);
    }

    void changed()
    {
        fitAfterScreenChange(m_window);
        m_again.start();
    }

    QWidget *m_window;
    QMetaObject::Connection m_areaLink;
    QTimer m_again;
};

class ScreenWatchMaker : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (!widget->isWindow() || !widget->windowHandle() || (type != Qt::Window && type != Qt::Dialog)
            || widget->property(ScreenWatched).toBool())
            return false;
        widget->setProperty(ScreenWatched, true);
        new ScreenWatch(widget);
        return false;
    }
};

} // namespace

void keepWindowsOnScreen(QGuiApplication &app)
{
    app.installEventFilter(new ScreenWatchMaker(&app));
}

void keepFrameOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect placed = window->frameGeometry();
    if (placed.right() > area.right())
        placed.moveRight(area.right());
    if (placed.left() < area.left())
        placed.moveLeft(area.left());
    if (placed.bottom() > area.bottom())
        placed.moveBottom(area.bottom());
    if (placed.top() < area.top())
        placed.moveTop(area.top());
    if (placed.topLeft() != window->frameGeometry().topLeft())
        window->move(placed.topLeft());
}

QColor namedColourOn(const QColor &named, const QColor &background)
{
    if (background.lightnessF() >= 0.5)
        return named;
    for (int step = 1; step <= 20; ++step) {
        const double t = step / 20.0;
        const QColor lighter = QColor::fromRgbF(named.redF() + (1 - named.redF()) * t, named.greenF() + (1 - named.greenF()) * t,
                                                named.blueF() + (1 - named.blueF()) * t);
        if (EditorPalette::contrast(lighter, background) >= 4.5)
            return lighter;
    }
    return Qt::white;
}

void centreOver(QWidget *window, const QWidget *over)
{
    QRect frame = window->frameGeometry();
    frame.moveCenter(over->frameGeometry().center());
    window->move(frame.topLeft());
}

void makeSearchDialog(QWidget *dialog)
{
    dialog->setFont(platform::dialogFont());
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog->setAttribute(Qt::WA_QuitOnClose, false);
}

void showSearchDialog(QWidget *dialog, QLineEdit *searchField)
{
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    searchField->setFocus();
    searchField->selectAll();
}
