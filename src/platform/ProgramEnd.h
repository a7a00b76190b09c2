// The program's end by a signal: its interpreters end with it.
#pragma once

class QCoreApplication;
class QWidget;

namespace platform {

// SIGTERM, SIGINT and SIGHUP end the running interpreters at once and then the program, through
// its event loop as if its window had been closed. A crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) ends the interpreters before the program goes down.
void endInterpretersWithTheProgram(QCoreApplication &app);

// Whether such a signal has come. One that comes before the main event loop runs (while a
// start-up message box waits, say) ends every loop that runs then; the start checks this
// before it enters the main loop.
bool endRequested();

// A main window that the window system destroys (another program asked it to: `xdotool
// windowclose`, a tool that tidies up windows) ends the program as such a signal does: its
// copy written, its runs ended. On X11, where that can happen; call once the window is shown.
void endWithWindow(QWidget *window);

} // namespace platform
