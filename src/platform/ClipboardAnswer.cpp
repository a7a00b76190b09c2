// Whether the clipboard's owner answers: on X11, Qt reads another program's clipboard by asking
// it and waits up to five seconds, holding the window, for a program that never replies. A
// connection of its own asks that program first, on a thread, for the list of what it offers.
#include "platform/ClipboardAnswer.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
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

// The kinds of text the owner lists on the property: the best one to ask for (UTF-8, then
// Latin-1), whether it lists any kind of text at all.
struct TextKinds
{
    bool any = false;
    xcb_atom_t best = XCB_ATOM_NONE;
    bool latin1 = false;
};

TextKinds offeredText(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    TextKinds kinds;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 1, window, property, XCB_ATOM_ATOM, 0, 4096), nullptr);
    if (!reply)
        return kinds;
    const auto *offered = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
    const int count = reply->format == 32 ? xcb_get_property_value_length(reply) / 4 : 0;
    // In the order they are asked for; TEXT, COMPOUND_TEXT and a plain text/plain are left to Qt.
    struct Kind
    {
        const char *name;
        bool asked;
        bool latin1;
    };
    static constexpr Kind known[] = {{"UTF8_STRING", true, false}, {"text/plain;charset=utf-8", true, false},
                                     {"STRING", true, true},       {"TEXT", false, false},
                                     {"COMPOUND_TEXT", false, false}, {"text/plain", false, false}};
    for (const Kind &k : known) {
        const xcb_atom_t kind = atomNamed(c, k.name);
        if (kind == XCB_ATOM_NONE || std::find(offered, offered + count, kind) == offered + count)
            continue;
        kinds.any = true;
        if (k.asked && kinds.best == XCB_ATOM_NONE) {
            kinds.best = kind;
            kinds.latin1 = k.latin1;
        }
    }
    free(reply);
    return kinds;
}

long millisecondsSince(const timespec &start)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

// The next event that `wanted` takes, within boundMs of `since`; null once the bound has
// passed or the connection broke. Other events are dropped.
template <class Wanted>
xcb_generic_event_t *nextEvent(xcb_connection_t *c, const timespec &since, int boundMs, Wanted wanted)
{
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            if (wanted(event))
                return event;
            free(event);
        }
        if (xcb_connection_has_error(c))
            return nullptr;
        const long elapsed = millisecondsSince(since);
        if (elapsed >= boundMs)
            return nullptr;
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, int(boundMs - elapsed));
    }
}

// The bytes of the property, deleted as they are read (which an incremental owner waits for).
xcb_get_property_reply_t *takeProperty(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property_reply(c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                                  nullptr);
}

// Asks the owner to put the selection, converted to `kind`, on the asker's property. The
// property its answer names (none where it refused), or nothing when it keeps silent for boundMs.
std::optional<xcb_atom_t> askOwner(xcb_connection_t *c, xcb_window_t asker, xcb_atom_t selection, xcb_atom_t kind,
                                   xcb_atom_t property, int boundMs)
{
    xcb_convert_selection(c, asker, selection, kind, property, XCB_CURRENT_TIME);
    xcb_flush(c);
    struct timespec since;
    clock_gettime(CLOCK_MONOTONIC, &since);
    xcb_generic_event_t *event = nextEvent(c, since, boundMs, [](xcb_generic_event_t *e) {
        return (e->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
    });
    if (!event)
        return std::nullopt;
    const xcb_atom_t answer = reinterpret_cast<xcb_selection_notify_event_t *>(event)->property;
    free(event);
    return answer;
}

// The selection converted to `kind`, by one property or in pieces (INCR), each piece within
// boundMs of the one before; nothing where the owner falls silent or refuses.
bool fetchSelection(xcb_connection_t *c, xcb_window_t asker, xcb_atom_t selection, xcb_atom_t kind, xcb_atom_t property,
                    int boundMs, QByteArray *bytes)
{
    const std::optional<xcb_atom_t> answer = askOwner(c, asker, selection, kind, property, boundMs);
    if (!answer || *answer == XCB_ATOM_NONE)
        return false;
    property = *answer;
    xcb_get_property_reply_t *reply = takeProperty(c, asker, property);
    if (!reply)
        return false;
    const xcb_atom_t incr = atomNamed(c, "INCR");
    const bool pieces = reply->type == incr && incr != XCB_ATOM_NONE;
    if (!pieces)
        bytes->append(static_cast<const char *>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    free(reply);
    xcb_flush(c);
    while (pieces) {
        struct timespec since;
        clock_gettime(CLOCK_MONOTONIC, &since);
        xcb_generic_event_t *event = nextEvent(c, since, boundMs, [asker, property](xcb_generic_event_t *e) {
            if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto *changed = reinterpret_cast<xcb_property_notify_event_t *>(e);
            return changed->window == asker && changed->atom == property && changed->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!event)
            return false;
        free(event);
        reply = takeProperty(c, asker, property);
        if (!reply)
            return false;
        const int length = xcb_get_property_value_length(reply);
        bytes->append(static_cast<const char *>(xcb_get_property_value(reply)), length);
        free(reply);
        xcb_flush(c);
        if (length == 0)
            break; // the last, empty piece
    }
    return true;
}

// What the selection's owner answered within boundMs: that it answered and what it offers.
// Where it has none, or nothing can be asked, it counts as answered (Qt then asks as it would).
ClipboardAnswer ownerAnswers(const QByteArray &display, const char *selectionName, int boundMs, bool withText)
{
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    const auto done = [c](bool answered, bool hasText) {
        xcb_disconnect(c);
        return ClipboardAnswer{answered, hasText, false, QString()};
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
    // It hears of its property's changes: an owner hands large texts over in pieces there.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, asker, screens.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    const std::optional<xcb_atom_t> answer = askOwner(c, asker, selection, targets, property, boundMs);
    if (!answer)
        return done(xcb_connection_has_error(c), false);
    // A refusal is an answer too: the owner is there, and offers nothing.
    const TextKinds kinds = *answer != XCB_ATOM_NONE ? offeredText(c, asker, *answer) : TextKinds();
    if (!kinds.any)
        return done(true, false);
    if (!withText || kinds.best == XCB_ATOM_NONE)
        return done(true, true); // not asked for, or only kinds that Qt decodes
    QByteArray bytes;
    if (!fetchSelection(c, asker, selection, kinds.best, property, boundMs, &bytes))
        return done(false, true);
    ClipboardAnswer fetched{true, true, true, kinds.latin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes)};
    xcb_disconnect(c);
    return fetched;
}

} // namespace

void whenClipboardAnswers(QObject *context, QClipboard::Mode mode, std::function<void(ClipboardAnswer)> then,
                          bool withText)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const bool own = mode == QClipboard::Selection ? clipboard->ownsSelection() : clipboard->ownsClipboard();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || own) {
        const QMimeData *data = clipboard->mimeData(mode);
        then(ClipboardAnswer{true, data && data->hasText(), false, QString()});
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    const char *name = mode == QClipboard::Selection ? "PRIMARY" : "CLIPBOARD";
    // Written by the thread before it ends, read once it has.
    auto answer = std::make_shared<ClipboardAnswer>();
    QThread *asking = QThread::create(
        [display, name, answer, withText] { *answer = ownerAnswers(display, name, ClipboardAnswerMs, withText); });
    QObject::connect(asking, &QThread::finished, context, [answer, then] { then(*answer); });
    QObject::connect(asking, &QThread::finished, asking, &QObject::deleteLater);
    asking->start();
}

} // namespace platform
