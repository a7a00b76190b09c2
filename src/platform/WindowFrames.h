// The frames around the program's windows where the program draws them itself (Wayland).
#pragma once

class QGuiApplication;
class QSize;
class QWidget;

namespace platform {

// On Wayland, Qt's own frame offers maximise on every window, also on a dialog of fixed size,
// and a compositor such as Weston ends the program when a maximised window commits another size
// than the one it was given. A window of fixed size therefore keeps only its least size there:
// maximised, it takes the compositor's size (its controls stay where they are). While the
// compositor holds it at another size (maximised, or asked back but not yet given back) the
// window never changes its own size: a layout of its own waits until it is back. Elsewhere the
// window manager draws the frame and refuses to maximise a fixed window: nothing changes there.
void letFixedWindowsMaximise(QGuiApplication &app);

// Fixes a window's size, as QWidget::setFixedSize, within the rule above.
void setFixedWindowSize(QWidget *window, const QSize &size);

} // namespace platform
