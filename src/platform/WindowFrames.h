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

// Fixes a window's size, as QWidget::setFixedSize, within the rule above. The size is that of
// the window's content: a frame of the program's own (below) comes on top of it.
void setFixedWindowSize(QWidget *window, const QSize &size);

// Qt's own frame also offers minimise and maximise on a dialog of fixed size. On Wayland such a
// dialog gets a frame of the program's own instead: the window's icon and title, and a close box
// alone; a drag on it moves the window. Call before the window is first shown, once its controls
// are placed: controls placed by hand move down below the title bar, a layout gets the room
// above it. Message boxes get it as they are shown (letFixedWindowsMaximise watches for them).
// Elsewhere the window manager's frame has a close box alone: nothing changes there.
void drawOwnFrame(QWidget *window);

// The height of the program's own title bar on the window; 0 where it has none.
int ownFrameHeight(const QWidget *window);

} // namespace platform
