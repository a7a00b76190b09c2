// Windows of fixed size under a compositor that maximises any window, and their own frame.
#include "platform/WindowFrames.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace platform {

namespace {

// A window whose bound was lifted, and one whose layout waits for the window to be back.
constexpr char FixedWindow[] = "korlithFixedWindow";
constexpr char LayoutWaits[] = "korlithLayoutWaits";
constexpr char OwnTitleHeight[] = "korlithOwnTitleHeight";

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

// The close box: a cross, lit while the pointer is on it.
class CloseBox : public QAbstractButton
{
public:
    explicit CloseBox(QWidget *parent) : QAbstractButton(parent)
    {
        setObjectName(QStringLiteral("CloseBox"));
        setAccessibleName(QStringLiteral("Schließen"));
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (isDown() || underMouse()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(palette().color(isDown() ? QPalette::Dark : QPalette::Midlight));
            painter.drawRoundedRect(box, 3, 3);
        }
        const qreal arm = std::min(box.width(), box.height()) / 4.5;
        const QPointF centre = box.center();
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
        painter.drawLine(centre + QPointF(-arm, -arm), centre + QPointF(arm, arm));
        painter.drawLine(centre + QPointF(-arm, arm), centre + QPointF(arm, -arm));
    }
};

// The title bar across the window's top, and the line around the window.
class OwnTitleBar : public QWidget
{
public:
    OwnTitleBar(QWidget *window, int height) : QWidget(window), m_window(window), m_close(new CloseBox(this))
    {
        setObjectName(QStringLiteral("OwnTitleBar"));
        setFixedHeight(height);
        connect(m_close, &QAbstractButton::clicked, window, &QWidget::close);
        window->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::Resize:
            follow();
            break;
        case QEvent::WindowTitleChange:
        case QEvent::WindowIconChange:
        case QEvent::ActivationChange:
            update();
            break;
        case QEvent::Paint: {
            // The window paints nothing of its own over its background: the line stays.
            QPainter painter(m_window);
            painter.setPen(m_window->palette().color(QPalette::Mid));
            painter.drawRect(m_window->rect().adjusted(0, 0, -1, -1));
            break;
        }
        default:
            break;
        }
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QPalette &colours = palette();
        const bool active = m_window->isActiveWindow();
        painter.fillRect(rect(), colours.color(QPalette::Window).darker(active ? 112 : 104));
        painter.setPen(colours.color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, 0));
        const int margin = (height() - 16) / 2;
        const QIcon icon = m_window->windowIcon();
        if (!icon.isNull())
            icon.paint(&painter, QRect(margin, margin, 16, 16));
        // The title centred on the bar, and cut where it would reach the icon or the close box.
        const int side = height();
        const QRect room(side, 0, std::max(0, width() - 2 * side), height());
        painter.setPen(colours.color(active ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(room, Qt::AlignCenter,
                         fontMetrics().elidedText(m_window->windowTitle(), Qt::ElideRight, room.width()));
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && m_window->windowHandle())
            m_window->windowHandle()->startSystemMove();
    }

private:
    void follow()
    {
        setGeometry(0, 0, m_window->width(), height());
        const int box = height() - 6;
        m_close->setGeometry(width() - box - 4, 3, box, box);
        raise();
    }

    QWidget *m_window;
    CloseBox *m_close;
};

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
        if (!window->isWindow() || (!window->windowHandle() && event->type() != QEvent::Polish))
            return false;
        switch (event->type()) {
        case QEvent::Polish:
            if (window->inherits("QMessageBox"))
                drawOwnFrame(window);
            return false;
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

void setFixedWindowSize(QWidget *window, const QSize &contentSize)
{
    if (!framesDrawnHere()) {
        window->setFixedSize(contentSize);
        return;
    }
    const QSize size = window->layout() ? contentSize : contentSize + QSize(0, ownFrameHeight(window));
    if (heldByCompositor(window)) {
        // Its new size once the compositor gives it back; nothing changes before.
        window->setMinimumSize(size);
        return;
    }
    window->setFixedSize(size);
    if (window->isVisible())
        leaveUnbounded(window);
}

void drawOwnFrame(QWidget *window)
{
    if (!framesDrawnHere() || window->property(OwnTitleHeight).isValid())
        return;
    const int height = std::max(28, QFontMetrics(window->font()).height() + 12);
    window->setProperty(OwnTitleHeight, height);
    // Without the hints for a frame's parts: Qt drops the frameless hint of a window that asks
    // for a title or buttons as soon as its flags change again (an on-top hint set later).
    const Qt::WindowFlags flags = (window->windowFlags()
                                   & ~(Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                                       | Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint))
                                  | Qt::CustomizeWindowHint | Qt::FramelessWindowHint;
    // A message box is being shown: the window system hears of the flags when its window is made.
    if (window->testAttribute(Qt::WA_WState_Created))
        window->setWindowFlags(flags);
    else
        window->overrideWindowFlags(flags);
    if (window->layout()) {
        QMargins room = window->contentsMargins();
        room.setTop(room.top() + height);
        window->setContentsMargins(room);
    } else {
        for (QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (!child->isWindow())
                child->move(child->pos() + QPoint(0, height));
        window->resize(window->width(), window->height() + height);
    }
    new OwnTitleBar(window, height);
}

int ownFrameHeight(const QWidget *window)
{
    return window->property(OwnTitleHeight).toInt();
}

} // namespace platform
