// The frames around the program's windows where the program draws them itself (Wayland).
#pragma once

class QGuiApplication;
class QWidget;

namespace platform {

// On Wayland, Qt's own frame offers maximise on every window, also on a dialog of fixed size,
// and a compositor such as Weston ends the program when a maximised window keeps another size
// than the one it gave. A window of fixed size therefore keeps only its least size there:
// maximised, it takes the compositor's size (its controls stay where they are). Elsewhere the
// window manager draws the frame and refuses to maximise a fixed window: nothing changes there.
void letFixedWindowsMaximise(QGuiApplication &app);

// The same for a shown window whose size was fixed anew.
void keepMaximisable(QWidget *window);

} // namespace platform
