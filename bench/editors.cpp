// Benchmark: Korlith beside FeatherPad (when it is installed) and a bare QPlainTextEdit program,
// seen from outside, in one run: keys and the wheel go in through XTest, and a key is done when
// the screen's changes it caused have ended (XDamage on the root window: the pixels are on the
// screen). The programs take turns in every round, so the machine's drift weighs on all alike.
// Figures: a key at the start of a 20,000-character coloured line, a key, PageDown and a wheel
// notch in a 50,000-line file, and the memory at idle (PSS summed over the program's processes).
#include "BenchFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <csignal>
#include <map>
#include <poll.h>

namespace {

// Keysyms of the keys the benchmark presses.
constexpr xcb_keysym_t kLetter = 'x', kBackSpace = 0xff08, kHome = 0xff50, kDown = 0xff54, kPageDown = 0xff56,
                       kPageUp = 0xff55, kControl = 0xffe3;

class Screen
{
public:
    bool open()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c))
            return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        const xcb_query_extension_reply_t *test = xcb_get_extension_data(m_c, &xcb_test_id);
        if (!damage || !damage->present || !test || !test->present)
            return false;
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr));
        m_damage = xcb_generate_id(m_c);
        xcb_damage_create(m_c, m_damage, m_root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        readKeyboard();
        xcb_flush(m_c);
        return true;
    }

    // A change of the screen since the last call, at most `waitMs` away; a caret's blink (a
    // stroke a few pixels wide) is no change. Returns false when none came in time.
    bool nextChange(int waitMs)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
                bool counts = false;
                if ((event->response_type & 0x7f) == m_damageEvent) {
                    const auto *d = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                    counts = d->area.width > 10 || d->area.height > 40;
                }
                free(event);
                if (counts)
                    return true;
            }
            const int left = waitMs - int(clock.elapsed());
            if (left <= 0)
                return false;
            pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
            poll(&fd, 1, left);
        }
    }

    // Waits until the screen has not changed for `quietMs`; false when that took longer than `maxMs`.
    bool settle(int quietMs, int maxMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < maxMs)
            if (!nextChange(quietMs))
                return true;
        return false;
    }

    // Milliseconds from the input `send` makes to the end of the changes it caused on the screen
    // (the last of a burst with no pause of 60 ms); -1 when the screen did not change.
    template<typename Send>
    double timeToPainted(Send send)
    {
        settle(150, 3000);
        QElapsedTimer clock;
        clock.start();
        send();
        xcb_flush(m_c);
        if (!nextChange(3000))
            return -1;
        double last = clock.nsecsElapsed() / 1e6;
        while (nextChange(60))
            last = clock.nsecsElapsed() / 1e6;
        return last;
    }

    void key(xcb_keysym_t sym, bool down)
    {
        xcb_test_fake_input(m_c, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, m_codes[sym], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    void tap(xcb_keysym_t sym)
    {
        key(sym, true);
        key(sym, false);
    }
    void wheelDown()
    {
        xcb_test_fake_input(m_c, XCB_BUTTON_PRESS, 5, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(m_c, XCB_BUTTON_RELEASE, 5, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    void flush() { xcb_flush(m_c); }

    // The program's top-level window (the one with its process number, mapped), or 0.
    xcb_window_t windowOf(qint64 pid)
    {
        if (!m_pidAtom)
            m_pidAtom = atom("_NET_WM_PID");
        return find(m_root, quint32(pid));
    }

    // Puts the pointer over the window, a quarter of its width in and half its height down
    // (inside the editor in all three programs), and gives it the keyboard.
    void enter(xcb_window_t window)
    {
        auto *geometry = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr);
        auto *at = xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr);
        if (geometry && at)
            xcb_test_fake_input(m_c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, qint16(at->dst_x + geometry->width / 4),
                                qint16(at->dst_y + geometry->height / 2), 0);
        free(geometry);
        free(at);
        xcb_set_input_focus(m_c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        xcb_flush(m_c);
    }

private:
    xcb_atom_t atom(const char *name)
    {
        auto *reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : XCB_NONE;
        free(reply);
        return a;
    }

    xcb_window_t find(xcb_window_t parent, quint32 pid)
    {
        auto *tree = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr);
        if (!tree)
            return 0;
        xcb_window_t found = 0;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
            auto *attributes = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, children[i]), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attributes);
            if (!viewable)
                continue;
            auto *property = xcb_get_property_reply(
                m_c, xcb_get_property(m_c, 0, children[i], m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
            if (property && xcb_get_property_value_length(property) == 4
                && *static_cast<quint32 *>(xcb_get_property_value(property)) == pid)
                found = children[i];
            free(property);
            if (!found)
                found = find(children[i], pid); // below a window manager's frame
        }
        free(tree);
        return found;
    }

    void readKeyboard()
    {
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto *map = xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, uint8_t(count)), nullptr);
        if (!map)
            return;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
        for (int i = count - 1; i >= 0; --i)
            for (int j = 0; j < map->keysyms_per_keycode; ++j)
                if (const xcb_keysym_t s = syms[i * map->keysyms_per_keycode + j])
                    m_codes[s] = xcb_keycode_t(setup->min_keycode + i);
        free(map);
    }

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_damage_damage_t m_damage = 0;
    int m_damageEvent = 0;
    xcb_atom_t m_pidAtom = 0;
    std::map<xcb_keysym_t, xcb_keycode_t> m_codes;
};

struct Program
{
    QString name, path;
    QStringList before; // arguments before the file
};

// PSS summed over a process and every process below it, in kB.
qint64 pssOfTree(qint64 pid)
{
    std::map<qint64, std::vector<qint64>> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 p = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // The parent is the second field after the command, which is in parentheses.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        children[fields.value(1).toLongLong()].push_back(p);
    }
    qint64 total = 0;
    std::vector<qint64> open{pid};
    while (!open.empty()) {
        const qint64 p = open.back();
        open.pop_back();
        total += memoryKb(QStringLiteral("/proc/%1/smaps_rollup").arg(p), "Pss:");
        for (qint64 c : children[p])
            open.push_back(c);
    }
    return total;
}

// One start of a program with a file (or none), in a home of its own, ended when it goes.
struct Started
{
    QTemporaryDir home;
    QProcess process;
    xcb_window_t window = 0;

    Started(Screen &screen, const Program &program, const QString &file)
    {
        QDir().mkpath(home.path() + QStringLiteral("/config/Korlith"));
        QFile reg(home.path() + QStringLiteral("/config/Korlith/HKEY_LOCAL_MACHINE.reg"));
        if (reg.open(QIODevice::WriteOnly))
            reg.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\"\n"
                      "\"Interpreter\"=\"/usr/bin/php\"\n\n");
        reg.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *dir : {"CONFIG", "DATA", "STATE", "CACHE"})
            env.insert(QStringLiteral("XDG_%1_HOME").arg(QLatin1String(dir)), home.path() + QLatin1Char('/') + QString::fromLatin1(dir).toLower());
        env.insert(QStringLiteral("TMPDIR"), home.path());
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        QStringList args = program.before;
        if (!file.isEmpty())
            args << file;
        process.start(program.path, args);
        QElapsedTimer clock;
        clock.start();
        while (!window && clock.elapsed() < 20000 && process.state() != QProcess::NotRunning) {
            QThread::msleep(20);
            window = screen.windowOf(process.processId());
        }
        // Done with its start and its file: the screen still for a second and a half.
        if (window)
            screen.settle(1500, 30000);
    }
    ~Started()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

// The time of `rounds` inputs, each undone by the next unless `undo` is 0.
std::vector<double> times(Screen &screen, int rounds, xcb_keysym_t key, xcb_keysym_t undo)
{
    std::vector<double> out;
    for (int i = 0; i < rounds; ++i) {
        out.push_back(screen.timeToPainted([&] { screen.tap(key); }));
        if (undo)
            out.push_back(screen.timeToPainted([&] { screen.tap(undo); }));
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    Screen screen;
    if (!screen.open()) {
        std::fprintf(stderr, "bench_editors: needs an X server with XTest and Damage\n");
        return 1;
    }
    const QString here = QCoreApplication::applicationDirPath();
    QList<Program> programs{{QStringLiteral("Korlith"), QDir(here + QStringLiteral("/..")).absoluteFilePath(QStringLiteral("korlith")), {}}};
    const QString featherpad = QStandardPaths::findExecutable(QStringLiteral("featherpad"));
    if (!featherpad.isEmpty())
        programs.append({QStringLiteral("FeatherPad"), featherpad, {QStringLiteral("--standalone")}});
    programs.append({QStringLiteral("QPlainTextEdit"), here + QStringLiteral("/bench_plain_editor"), {}});
    // --only NAME: that program alone (a quick look while working on it; no ratios).
    const int only = int(app.arguments().indexOf(QStringLiteral("--only")));
    if (only > 0 && only + 1 < app.arguments().size())
        programs.removeIf([&](const Program &p) { return p.name != app.arguments()[only + 1]; });
    if (programs.isEmpty())
        return 1;

    QTemporaryDir files;
    // One line of 20,000 characters: an array of strings and numbers, as a script's data.
    const QString longLine = files.path() + QStringLiteral("/lange-zeile.php");
    {
        QByteArray line = "$daten = array(";
        for (int i = 0; line.size() < 20000 - 30; ++i)
            line += "'wert" + QByteArray::number(i) + "', " + QByteArray::number(i * 7) + ", ";
        line += "'ende');";
        QFile out(longLine);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        out.write("<?php\n" + line + "\necho count($daten);\n");
    }
    // 50,000 lines of PHP in HTML.
    const QString manyLines = files.path() + QStringLiteral("/viele-zeilen.php");
    {
        QFile out(manyLines);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < 50000 / 5; ++i)
            out.write("<p class=\"zeile\">\n<?php\n$summe = $summe + " + QByteArray::number(i) + "; // Schritt\necho \"Wert $summe\";\n?>\n");
    }

    struct Figures
    {
        std::vector<double> longKey, key, pageDown, wheel, pss;
    };
    std::map<QString, Figures> figures;
    const QByteArray loadBefore = machineLoad();
    for (int round = 0; round < rounds; ++round) {
        for (const Program &program : programs) {
            Figures &f = figures[program.name];
            {
                Started started(screen, program, longLine);
                if (!started.window) {
                    std::fprintf(stderr, "bench_editors: %s showed no window\n", qPrintable(program.name));
                    return 1;
                }
                screen.enter(started.window);
                // The caret to the start of the long line.
                screen.tap(kDown);
                screen.tap(kHome);
                screen.flush();
                screen.settle(300, 5000);
                for (double t : times(screen, 5, kLetter, kBackSpace))
                    f.longKey.push_back(t);
            }
            {
                Started started(screen, program, manyLines);
                screen.enter(started.window);
                for (double t : times(screen, 3, kLetter, kBackSpace))
                    f.key.push_back(t);
                for (double t : times(screen, 8, kPageDown, 0))
                    f.pageDown.push_back(t);
                for (int i = 0; i < 10; ++i)
                    f.wheel.push_back(screen.timeToPainted([&] { screen.wheelDown(); }));
                screen.key(kControl, true);
                screen.tap(kHome);
                screen.key(kControl, false);
                screen.flush();
            }
            {
                Started started(screen, program, QString());
                QThread::msleep(2000);
                f.pss.push_back(pssOfTree(started.process.processId()) / 1024.0);
            }
        }
    }
    std::printf("%d rounds, the programs in turn; load %s before, %s after\n", rounds, loadBefore.constData(),
                machineLoad().constData());
    std::printf("medians and ranges in ms (memory in MB); ratios of medians to %s\n\n",
                qPrintable(programs.size() > 2 ? QStringLiteral("FeatherPad") : programs.back().name));
    const Figures &peer = figures[programs.size() > 2 ? QStringLiteral("FeatherPad") : programs.back().name];
    auto row = [&](const char *what, std::vector<double> Figures::*field) {
        std::printf("%-46s", what);
        for (const Program &program : programs) {
            const std::vector<double> &v = figures[program.name].*field;
            std::printf("  %-15s %-24s ×%.2f\n%-46s", qPrintable(program.name), spread(v).constData(),
                        median(v) / median(peer.*field), "");
        }
        std::printf("\n");
    };
    row("key at the start of a 20,000-character line", &Figures::longKey);
    row("key in a 50,000-line file", &Figures::key);
    row("PageDown in a 50,000-line file", &Figures::pageDown);
    row("wheel notch in a 50,000-line file", &Figures::wheel);
    row("memory at idle, PSS of all its processes", &Figures::pss);
    return 0;
}
