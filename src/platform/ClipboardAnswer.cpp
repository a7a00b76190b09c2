// Whether the clipboard's owner answers: on X11, Qt reads another program's clipboard by asking
// it and waits up to five seconds, holding the window, for a program that never replies. A
// connection of its own asks that program first, on a thread, for the list of what it offers.
#include "platform/ClipboardAnswer.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QThread>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

xcb_atom_t atomNamed(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Whether the list of targets the owner put on the property names a kind of text.
bool offersText(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 1, window, property, XCB_ATOM_ATOM, 0, 4096), nullptr);
    if (!reply)
        return false;
    const auto *offered = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
    const int count = reply->format == 32 ? xcb_get_property_value_length(reply) / 4 : 0;
    bool text = false;
    for (const char *name : {"UTF8_STRING", "STRING", "TEXT", "COMPOUND_TEXT", "text/plain", "text/plain;charset=utf-8"}) {
        const xcb_atom_t kind = atomNamed(c, name);
        for (int i = 0; i < count && !text; ++i)
            text = kind != XCB_ATOM_NONE && offered[i] == kind;
    }
    free(reply);
    return text;
}

// What the selection's owner answered within boundMs: that it answered and what it offers.
// Where it has none, or nothing can be asked, it counts as answered (Qt then asks as it would).
ClipboardAnswer ownerAnswers(const QByteArray &display, const char *selectionName, int boundMs)
{
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    const auto done = [c](bool answered, bool hasText) {
        xcb_disconnect(c);
        return ClipboardAnswer{answered, hasText};
    };
    if (xcb_connection_has_error(c))
        return done(true, false);
    const xcb_atom_t selection = atomNamed(c, selectionName);
    const xcb_atom_t targets = atomNamed(c, "TARGETS");
    const xcb_atom_t property = atomNamed(c, "KORLITH_CLIPBOARD_ASKED");
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t holder = owner ? owner->owner : xcb_window_t(XCB_NONE);
    free(owner);
    if (holder == XCB_NONE || targets == XCB_ATOM_NONE || property == XCB_ATOM_NONE)
        return done(true, false);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t asker = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, asker, screens.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_convert_selection(c, asker, selection, targets, property, XCB_CURRENT_TIME);
    xcb_flush(c);

    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const bool notified = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
            const xcb_atom_t answer = notified ? reinterpret_cast<xcb_selection_notify_event_t *>(event)->property
                                               : xcb_atom_t(XCB_ATOM_NONE);
            free(event);
            if (notified)
                return done(true, answer != XCB_ATOM_NONE && offersText(c, asker, answer)); // a refusal is an answer too
        }
        if (xcb_connection_has_error(c))
            return done(true, false);
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= boundMs)
            return done(false, false);
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, int(boundMs - elapsed));
    }
}

} // namespace

void whenClipboardAnswers(QObject *context, QClipboard::Mode mode, std::function<void(ClipboardAnswer)> then)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const bool own = mode == QClipboard::Selection ? clipboard->ownsSelection() : clipboard->ownsClipboard();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || own) {
        const QMimeData *data = clipboard->mimeData(mode);
        then(ClipboardAnswer{true, data && data->hasText()});
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    const char *name = mode == QClipboard::Selection ? "PRIMARY" : "CLIPBOARD";
    // Written by the thread before it ends, read once it has.
    auto answer = std::make_shared<ClipboardAnswer>();
    QThread *asking = QThread::create([display, name, answer] { *answer = ownerAnswers(display, name, ClipboardAnswerMs); });
    QObject::connect(asking, &QThread::finished, context, [answer, then] { then(*answer); });
    QObject::connect(asking, &QThread::finished, asking, &QObject::deleteLater);
    asking->start();
}

} // namespace platform
