// Helpers shared by the suites.
#include "TestSupport.h"

#include "Startup.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <poll.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <xcb/xcb.h>
#include <unistd.h>
#include <utility>

namespace {

// Removes a tree by the bytes of its names (Qt reads a name that is not UTF-8 as another one,
// which it then cannot remove), opening every folder the tests closed to its owner.
void removeTree(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        ::chmod(path.constData(), 0700);
        if (DIR *dir = ::opendir(path.constData())) {
            while (const dirent *entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    removeTree(path + '/' + name);
            }
            ::closedir(dir);
        }
        ::rmdir(path.constData());
        return;
    }
    ::unlink(path.constData());
}

} // namespace

IsolatedEnvironment::IsolatedEnvironment()
    : m_oldConfig(qgetenv("XDG_CONFIG_HOME")), m_oldTmp(qgetenv("TMPDIR")), m_oldState(qgetenv("XDG_STATE_HOME")),
      m_oldCache(qgetenv("XDG_CACHE_HOME"))
{
    QDir().mkpath(configHome());
    QDir().mkpath(tmpDir());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("TMPDIR", tmpDir().toLocal8Bit());
    qputenv("XDG_STATE_HOME", stateHome().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", cacheHome().toLocal8Bit());
}

IsolatedEnvironment::~IsolatedEnvironment()
{
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("TMPDIR", m_oldTmp);
    qputenv("XDG_STATE_HOME", m_oldState);
    qputenv("XDG_CACHE_HOME", m_oldCache);
    removeTree(QFile::encodeName(m_dir.path()));
}

QString IsolatedEnvironment::scratchRoot() const
{
    return tmpDir() + QStringLiteral("/korlith-%1/").arg(getuid());
}

QString IsolatedEnvironment::scratchDir() const
{
    return scratchRoot() + QString::number(qint64(getpid())) + QLatin1Char('/');
}

void IsolatedEnvironment::writeRegistry(const QByteArray &text) const
{
    QDir().mkpath(configHome() + QStringLiteral("/Korlith"));
    writeFile(registryFile(), text);
}

QByteArray IsolatedEnvironment::readRegistry() const
{
    return readAll(registryFile());
}

MessageBoxCatcher::MessageBoxCatcher(QMessageBox::StandardButton answer)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, [this, answer] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (box && box->isVisible()) {
                seen << box->windowTitle() + QLatin1Char('|') + box->text();
                reasons << box->informativeText();
                if (QAbstractButton *button = box->button(answer))
                    button->click();
                else
                    box->done(QMessageBox::Ok);
            }
        }
    });
    m_timer.start();
}

FileDialogAnswerer::FileDialogAnswerer(QStringList answers) : m_answers(std::move(answers))
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            presets << (field ? field->text() : QString());
            folders << dialog->directory().absolutePath();
            const QString answer = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
            if (answer.isEmpty()) {
                dialog->reject();
            } else {
                // The field itself, as a user types it: selectFile() leaves a focused field alone.
                // Typing replaces the list's selection, which the dialog would prefer to the field.
                for (QAbstractItemView *view : dialog->findChildren<QAbstractItemView *>())
                    if (view->selectionModel())
                        view->selectionModel()->clearSelection();
                field->setText(answer);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        }
    });
    m_timer.start();
}

QString pageText(QWebEngineView *view)
{
    QString result;
    bool done = false;
    view->page()->toPlainText([&](const QString &t) {
        result = t;
        done = true;
    });
    waitUntil([&] { return done; });
    return result;
}

QVariant pageScript(QWebEngineView *view, const QString &script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    return waitUntil([&] { return done; }) ? result : QVariant();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

bool activate(QWidget *window)
{
    window->raise();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Whether a window manager runs on this display.
int xdotool(const QStringList &args, int timeoutMs)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QStringList windowsNamed(const QString &title)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                       QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
    }
    // Only the ids: windows that went away meanwhile make xdotool print X errors too.
    QStringList ids;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
        if (bool number = false; line.trimmed().toULongLong(&number), number)
            ids << QString::fromLatin1(line.trimmed());
    return ids;
}

static bool focusWindow(const QString &windowId)
{
    // A window manager may still be taking a new window in: asked again until it has.
    const QString how = windowManagerRuns() ? QStringLiteral("windowactivate") : QStringLiteral("windowfocus");
    return waitUntil([&] { return xdotool({how, QStringLiteral("--sync"), windowId}, 3000) == 0; }, 20000);
}

bool typeInto(const QString &windowId, const QString &text)
{
    return focusWindow(windowId) && xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text}) == 0;
}

bool pressKeysIn(const QString &windowId, const QString &keys)
{
    return focusWindow(windowId) && xdotool({QStringLiteral("key"), keys}) == 0;
}

void CompletionPick::closeDialogs()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible())
            d->reject();
}

void pickFromCompletionList(const QString &typed, CompletionPick *pick)
{
    QTimer::singleShot(60000, pick, &CompletionPick::closeDialogs); // the last resort
    QTimer::singleShot(0, pick, [pick, typed] {
        QFileDialog *dialog = nullptr;
        waitUntil([&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                    dialog = d;
            return dialog != nullptr;
        }, 20000);
        if (!dialog)
            return;
        // The window manager may hold a new window back from the focus; asked as a pager
        // asks, it gives it.
        if (!activate(dialog))
            xdotool({QStringLiteral("windowactivate"), QString::number(dialog->winId())});
        if (!QTest::qWaitForWindowActive(dialog)) {
            dialog->reject();
            return;
        }
        auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        field->setFocus();
        // Typed on the real keyboard, as the completion list answers typing. The window manager
        // may pass the focus on a moment after Qt calls the dialog active: a first key lost
        // then is typed once more.
        bool done = false;
        for (int attempt = 0; attempt < 2 && !done; ++attempt) {
            field->clear();
            xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), typed});
            done = waitUntil([&] { return field->text() == typed; }, 5000);
        }
        // The list waits for the folder's listing, which a busy machine gives late.
        pick->listShown = done && waitUntil([&] { return field->completer() && field->completer()->popup()->isVisible(); }, 15000);
        if (!pick->listShown) {
            pick->notShown = QStringLiteral("typed %1, field \"%2\", focus %3, active %4")
                                 .arg(done)
                                 .arg(field->text(),
                                      QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QStringLiteral("none"),
                                      QApplication::activeWindow() ? QApplication::activeWindow()->metaObject()->className()
                                                                   : QStringLiteral("none"));
            dialog->reject(); // never left open: the command would wait for it
            return;
        }
        xdotool({QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("Return")});
        waitUntil([&] { return !dialog->isVisible(); }, 5000);
        // A name that is not there would bring up a message box of the dialog's own.
        const QString chosen = dialog->directory().filePath(field->text());
        if (dialog->isVisible() && QFileInfo(chosen).isFile())
            QTest::keyClick(field, Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    });
}

namespace {
QByteArray g_userEngineFlags;
bool g_userHasEngineFlags = false;
} // namespace

void rememberUserEnvironment()
{
    g_userHasEngineFlags = qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS");
    g_userEngineFlags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
}

QProcessEnvironment userEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (g_userHasEngineFlags)
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QString::fromLocal8Bit(g_userEngineFlags));
    else
        env.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    return env;
}

bool windowManagerRuns()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
    return xprop.waitForFinished(5000) && xprop.readAllStandardOutput().contains("window id");
}

QString windowManagerTitle(QWidget *window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window->winId()), QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(5000) || xprop.exitCode() != 0)
        return QStringLiteral("<xprop failed>");
    // _NET_WM_NAME(UTF8_STRING) = "Korlith 2005"
    const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype open = line.indexOf(QLatin1String(" = \""));
    if (open < 0 || !line.endsWith(QLatin1Char('"')))
        return QStringLiteral("<no title: %1>").arg(line);
    QString title;
    const QString quoted = line.mid(open + 4, line.size() - open - 5);
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == QLatin1Char('\\') && i + 1 < quoted.size())
            ++i;
        title += quoted[i];
    }
    return title;
}

ProgramForms::ProgramForms()
{
    createForms();
}

ProgramForms::~ProgramForms()
{
    destroy();
}

void ProgramForms::destroy()
{
    if (std::exchange(m_alive, false))
        destroyForms();
}

const QByteArray ConfiguredWithPhp = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n"
                                     "\"configured\"=\"1\"\n\"Interpreter\"=\"/usr/bin/php\"\n\n";
const QByteArray ConfiguredOnly = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\"\n";

bool processAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] != 'Z';
}

QString longListingText()
{
    QString text;
    for (int i = 0; i < 133000; ++i)
        text += QStringLiteral("echo 'Zeile %1';\n").arg(i);
    return text;
}

namespace {

// A process as /proc shows it.
struct ProcessEntry
{
    qint64 pid = 0, parent = 0;
    QString name;
    bool zombie = false;
};

QList<ProcessEntry> processTable()
{
    QList<ProcessEntry> table;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        // pid (name) state parent ...: the name may hold blanks and brackets.
        const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = stat.mid(close + 2).split(' ');
        if (rest.size() < 2)
            continue;
        table.append({pid, rest.at(1).toLongLong(), QString::fromLocal8Bit(stat.mid(open + 1, close - open - 1)),
                      rest.at(0) == "Z"});
    }
    return table;
}

// The living processes below this one.
QList<ProcessEntry> descendants()
{
    QMultiHash<qint64, ProcessEntry> children;
    for (const ProcessEntry &p : processTable())
        if (!p.zombie)
            children.insert(p.parent, p);
    QList<ProcessEntry> found;
    QList<qint64> queue{qint64(getpid())};
    while (!queue.isEmpty())
        for (const ProcessEntry &child : children.values(queue.takeFirst()))
            found << child, queue << child.pid;
    return found;
}

} // namespace

// A process of a container made ahead of its run, before the run: the container itself, or
// the interpreter that waits at its script.
bool waitsForItsRun(qint64 pid, bool interpreterOnly)
{
    if (!interpreterOnly && readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).replace('\0', ' ').contains(" --wait --"))
        return true;
    // The interpreter: it waits in a read of its start, the eventfd on descriptor 4.
    const QList<QByteArray> call = readAll(QStringLiteral("/proc/%1/syscall").arg(pid)).split(' ');
    return call.size() > 1 && call[0].toLongLong() == SYS_read && call[1] == "0x4"
        && QFileInfo(QStringLiteral("/proc/%1/fd/4").arg(pid)).symLinkTarget().endsWith(QLatin1String("[eventfd]"))
        && readAll(QStringLiteral("/proc/%1/environ").arg(pid)).contains("KORLITH_HOLD=");
}

QList<qint64> processesNaming(const QString &part)
{
    // Anywhere on the system: a process that left this one's tree is found too.
    const QByteArray wanted = QFile::encodeName(part);
    QList<qint64> found;
    for (const ProcessEntry &p : processTable()) {
        if (p.zombie || p.pid == getpid())
            continue;
        const QByteArray command = readAll(QStringLiteral("/proc/%1/cmdline").arg(p.pid)).replace('\0', ' ');
        // A container made ahead of its run waits for it and runs nothing yet.
        if (command.contains(wanted) && !waitsForItsRun(p.pid))
            found << p.pid;
    }
    return found;
}

qint64 hostPid(qint64 seen)
{
    for (const ProcessEntry &p : descendants()) {
        for (const QByteArray &line : readAll(QStringLiteral("/proc/%1/status").arg(p.pid)).split('\n')) {
            if (!line.startsWith("NSpid:"))
                continue;
            const QList<QByteArray> numbers = line.mid(6).simplified().split(' ');
            if (numbers.last().toLongLong() == seen)
                return p.pid;
        }
    }
    return 0;
}

bool containerWaits()
{
    for (const ProcessEntry &p : descendants())
        if (readAll(QStringLiteral("/proc/%1/cmdline").arg(p.pid)).replace('\0', ' ').contains(" --wait --"))
            return true;
    return false;
}

bool containerHolds()
{
    for (const ProcessEntry &p : descendants())
        if (readAll(QStringLiteral("/proc/%1/cmdline").arg(p.pid)).replace('\0', ' ').contains(" --wait --hold "))
            return true;
    return false;
}

bool interpreterHolds()
{
    for (const ProcessEntry &p : descendants())
        if (waitsForItsRun(p.pid, true))
            return true;
    return false;
}

// No preview's: the syntax check, which parses a text and never runs it (its container and
// its `php -l`), and a process gone since the table was read.
static bool noPreview(qint64 pid)
{
    const QByteArray commandLine = readAll(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (commandLine.isEmpty())
        return true;
    const QList<QByteArray> args = commandLine.split('\0');
    for (const QByteArray &arg : args)
        if (arg.endsWith("/Check.php"))
            return true;
    return args.size() >= 3 && args.at(args.size() - 3) == "-l";
}

QStringList runningPreviews()
{
    QStringList found;
    for (const ProcessEntry &p : descendants())
        if (noPreview(p.pid))
            continue;
        else if (p.name.startsWith(QLatin1String("php")) || p.name == QLatin1String("korlith-run") || p.name == QLatin1String("bwrap")
            || p.name == QLatin1String("sh") || p.name == QLatin1String("sleep"))
            found << p.name;
    return found;
}

namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

void notifyRequestor(xcb_connection_t *c, const xcb_selection_request_event_t *request, xcb_atom_t property)
{
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    xcb_send_event(c, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&notify));
    xcb_flush(c);
}

} // namespace

ServingClipboardOwner::ServingClipboardOwner(const char *selection, Answers answers, const QByteArray &text, int pieceSize)
    : m_answers(answers), m_text(text), m_pieceSize(pieceSize)
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    const xcb_atom_t atom = internAtom(m_connection, selection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    m_window = xcb_generate_id(m_connection);
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(m_connection, m_window, atom, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, atom), nullptr);
    m_holds = owner && owner->owner == m_window;
    free(owner);
    m_thread = std::thread([this] { serve(); });
}

ServingClipboardOwner::~ServingClipboardOwner()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void ServingClipboardOwner::serve()
{
    xcb_connection_t *c = m_connection;
    const xcb_atom_t targets = internAtom(c, "TARGETS");
    const xcb_atom_t utf8 = internAtom(c, "UTF8_STRING");
    const xcb_atom_t incr = internAtom(c, "INCR");
    // A transfer in pieces: to whom, on which property, how far.
    xcb_window_t pieceWindow = XCB_NONE;
    xcb_atom_t pieceProperty = XCB_ATOM_NONE;
    qsizetype sent = 0;
    bool lastSent = false;
    while (!m_stop) {
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, 20);
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_SELECTION_REQUEST) {
                const auto *request = reinterpret_cast<xcb_selection_request_event_t *>(event);
                if (request->target == targets) {
                    const xcb_atom_t offered[] = {targets, utf8};
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, request->property, XCB_ATOM_ATOM, 32, 2,
                                        offered);
                    notifyRequestor(c, request, request->property);
                } else if (request->target == utf8) {
                    ++m_textAsked;
                    if (m_answers == Text && m_pieceSize > 0 && m_text.size() > m_pieceSize) {
                        // Told the size, the asker deletes the property for each next piece.
                        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                        xcb_change_window_attributes(c, request->requestor, XCB_CW_EVENT_MASK, &events);
                        const uint32_t size = uint32_t(m_text.size());
                        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, request->property, incr, 32, 1, &size);
                        pieceWindow = request->requestor;
                        pieceProperty = request->property;
                        sent = 0;
                        lastSent = false;
                        notifyRequestor(c, request, request->property);
                    } else if (m_answers == Text) {
                        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, request->property, utf8, 8,
                                            uint32_t(m_text.size()), m_text.constData());
                        notifyRequestor(c, request, request->property);
                    }
                    // ListOnly: the request waits, unanswered.
                } else {
                    notifyRequestor(c, request, XCB_ATOM_NONE);
                }
            } else if (type == XCB_PROPERTY_NOTIFY && pieceWindow != XCB_NONE) {
                const auto *changed = reinterpret_cast<xcb_property_notify_event_t *>(event);
                if (changed->window == pieceWindow && changed->atom == pieceProperty && changed->state == XCB_PROPERTY_DELETE) {
                    if (lastSent) {
                        pieceWindow = XCB_NONE;
                    } else {
                        const qsizetype length = std::min<qsizetype>(m_pieceSize, m_text.size() - sent);
                        xcb_change_property(c, XCB_PROP_MODE_REPLACE, pieceWindow, pieceProperty, utf8, 8, uint32_t(length),
                                            m_text.constData() + sent);
                        sent += length;
                        lastSent = length == 0;
                        xcb_flush(c);
                    }
                }
            }
            free(event);
        }
    }
}

SilentClipboardOwner::SilentClipboardOwner(const char *selection)
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(selection)), selection), nullptr);
    if (!atom)
        return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t window = xcb_generate_id(m_connection);
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(m_connection, window, atom->atom, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, atom->atom), nullptr);
    m_holds = owner && owner->owner == window;
    free(owner);
    free(atom);
    // From here on it reads nothing: every request for the selection waits in its queue.
}

SilentClipboardOwner::~SilentClipboardOwner()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}
