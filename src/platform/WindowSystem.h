// The window system the program shows its windows on.
#pragma once

namespace platform {

// Whether the environment names one (an X display, a Wayland compositor, or a platform chosen
// for Qt by hand). Without one Qt would end the program with an abort and advice that does
// not apply.
bool windowSystemNamed();

// The line said instead, in the program's language.
const char *noWindowSystemMessage();

} // namespace platform
