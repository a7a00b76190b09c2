// The window system the program shows its windows on.
#pragma once

namespace platform {

// Whether the environment names one (an X display, a Wayland compositor, or a platform chosen
// for Qt by hand). Without one Qt would end the program with an abort and advice that does
// not apply.
bool windowSystemNamed();

// On GNOME, Qt's windows go to the compositor through X (Xwayland) unless a platform was
// chosen by hand: GNOME places, frames and stacks X windows as a user expects (a dialog over
// its window, its frame with a close box alone, no "is ready" notice), none of which Qt can
// ask of it through Wayland. Call before the application is made.
void chooseWindowSystem();
// The rule itself: the platform for Qt in a session with this desktop and these displays,
// or nothing where Qt's own choice holds.
const char *platformFor(const char *desktop, bool x11Display, bool waylandDisplay, bool chosenByHand);

// The line said instead, in the program's language.
const char *noWindowSystemMessage();

} // namespace platform
