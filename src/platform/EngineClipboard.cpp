// The engine's clipboard writes: Qt WebEngine's clipboard calls QClipboard's functions from its
// own library. They are defined here as well, in the program: the dynamic linker binds every
// library's call to the program's definition, which passes it to Qt's own where it may go. A
// call from anywhere but the engine's library passes unchanged.
#include "platform/EngineClipboard.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QMimeData>

#include <atomic>
#include <cstring>
#include <dlfcn.h>

namespace platform {

namespace {

QDeadlineTimer copyGrant{0};
QDeadlineTimer selectionGrant{0};
std::atomic<int> dropped{0};

// Whether the call came from the browser engine's library.
bool fromEngine(void *caller)
{
    Dl_info info{};
    if (!dladdr(caller, &info) || !info.dli_fname)
        return false;
    const char *name = strrchr(info.dli_fname, '/');
    return strncmp(name ? name + 1 : info.dli_fname, "libQt6WebEngineCore.so", 22) == 0;
}

// takes: the write is the command's; a clearing before it is not.
bool engineMay(QClipboard::Mode mode, bool takes)
{
    // The engine writes the clipboard and the selection from the window's thread.
    switch (mode) {
    case QClipboard::Clipboard:
        if (copyGrant.hasExpired())
            return false;
        if (takes)
            copyGrant = QDeadlineTimer(0); // one command, one write
        return true;
    case QClipboard::Selection:
        return !selectionGrant.hasExpired();
    case QClipboard::FindBuffer:
        return false;
    }
    return false;
}

template<typename F>
F qtOwn(const char *symbol)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, symbol));
}

} // namespace

namespace EngineClipboard {

void grantCopy()
{
    copyGrant = QDeadlineTimer(GrantMs);
}

void grantSelection()
{
    selectionGrant = QDeadlineTimer(GrantMs);
}

int refused()
{
    return dropped;
}

} // namespace EngineClipboard

} // namespace platform

// Qt's own definitions, in the library that follows the program.
void QClipboard::setMimeData(QMimeData *data, Mode mode)
{
    using Own = void (*)(QClipboard *, QMimeData *, Mode);
    static const Own own = platform::qtOwn<Own>("_ZN10QClipboard11setMimeDataEP9QMimeDataNS_4ModeE");
    if (platform::fromEngine(__builtin_return_address(0)) && !platform::engineMay(mode, true)) {
        ++platform::dropped;
        delete data; // the clipboard would have owned it
        return;
    }
    own(this, data, mode);
}

void QClipboard::clear(Mode mode)
{
    using Own = void (*)(QClipboard *, Mode);
    static const Own own = platform::qtOwn<Own>("_ZN10QClipboard5clearENS_4ModeE");
    if (platform::fromEngine(__builtin_return_address(0)) && !platform::engineMay(mode, false)) {
        ++platform::dropped;
        return;
    }
    own(this, mode);
}
