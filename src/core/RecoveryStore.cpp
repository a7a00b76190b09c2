// Recovery copies, their format and their owners.
#include "core/RecoveryStore.h"

#include "core/Document.h"
#include "core/EditorText.h"

#include <QAtomicInt>
#include <QBuffer>
#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = QByteArrayLiteral("Korlith recovery 1\n");
const QString kSuffix = QStringLiteral(".recovery");

QString lockPathOf(const QString &copyPath)
{
    return copyPath.left(copyPath.size() - kSuffix.size()) + QStringLiteral(".lock");
}

std::unique_ptr<QLockFile> makeLock(const QString &path)
{
    auto lock = std::make_unique<QLockFile>(path);
    // Only a dead owner makes a lock stale, never its age: a running instance keeps its copy.
    lock->setStaleLockTime(0);
    return lock;
}

// A lock that names no owner (its instance ended between making it and writing it: a crash, a
// full disk) is stale once it is older than that moment could be.
void removeOwnerlessLock(QLockFile &lock, const QString &path)
{
    qint64 pid = 0;
    QString host, app;
    const QFileInfo info(path);
    if (info.exists() && !lock.getLockInfo(&pid, &host, &app)
        && info.lastModified().msecsTo(QDateTime::currentDateTime()) > 2000)
        lock.removeStaleLockFile();
}

// A copy's bytes, read only from a regular file of a size a copy can have that starts as a
// copy does: a link, a pipe or a device planted under a copy's name is never read.
std::optional<QByteArray> readCopyFile(const QString &path)
{
    // The text of the largest document as UTF-16, and room for its names.
    constexpr qint64 kMaxCopyBytes = 2 * MaxDocumentBytes + (1 << 20);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxCopyBytes
        || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    if (file.read(kMagic.size()) != kMagic)
        return std::nullopt;
    return kMagic + file.read(kMaxCopyBytes);
}

bool makeFolder()
{
    const QString dir = RecoveryStore::folder();
    return QDir().mkpath(dir) && QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

bool writeRecovery(QIODevice &device, const RecoveredText &copy)
{
    if (device.write(kMagic) != kMagic.size())
        return false;
    QDataStream out(&device);
    out.setVersion(QDataStream::Qt_6_0);
    QByteArray ends;
    ends.reserve(copy.lineEnds.size());
    for (TextFormat::LineEnd e : copy.lineEnds)
        ends += char(e);
    out << copy.fileName << copy.caption << qint32(copy.format.encoding) << copy.format.byteOrderMark
        << qint32(copy.format.lineEnd) << ends << copy.text;
    return out.status() == QDataStream::Ok;
}

QByteArray serialiseRecovery(const RecoveredText &copy)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    writeRecovery(buffer, copy);
    return bytes;
}

std::optional<RecoveredText> parseRecovery(const QByteArray &bytes)
{
    if (!bytes.startsWith(kMagic))
        return std::nullopt;
    QDataStream in(bytes.mid(kMagic.size()));
    in.setVersion(QDataStream::Qt_6_0);
    RecoveredText copy;
    qint32 encoding = 0, lineEnd = 0;
    QByteArray ends;
    in >> copy.fileName >> copy.caption >> encoding >> copy.format.byteOrderMark >> lineEnd >> ends >> copy.text;
    if (in.status() != QDataStream::Ok || !in.atEnd() || encoding < 0 || encoding > TextFormat::Windows1252
        || lineEnd < 0 || lineEnd > TextFormat::Cr)
        return std::nullopt;
    copy.format.encoding = TextFormat::Encoding(encoding);
    copy.format.lineEnd = TextFormat::LineEnd(lineEnd);
    for (const char e : std::as_const(ends)) {
        if (e < TextFormat::Lf || e > TextFormat::Cr)
            return std::nullopt;
        copy.lineEnds << TextFormat::LineEnd(e);
    }
    return copy;
}

namespace {
// Two stores made in the same millisecond (a test, a restart of the window) must not share a name,
// or one would take the other's copy for its own.
QString newStoreId()
{
    static QAtomicInt made;
    const int n = made.fetchAndAddRelaxed(1);
    QString id = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(QDateTime::currentMSecsSinceEpoch());
    if (n > 0)
        id += QStringLiteral("-%1").arg(n);
    return id;
}
} // namespace

RecoveryStore::RecoveryStore()
    : m_id(newStoreId())
{
}

RecoveryStore::~RecoveryStore() = default;

QString RecoveryStore::folder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Korlith");
}

QString RecoveryStore::copyPath() const
{
    return folder() + QLatin1Char('/') + m_id + kSuffix;
}

bool RecoveryStore::write(const RecoveredText &copy)
{
    // The first copy makes the folder, private to the user, and takes this instance's lock.
    if (!m_lock) {
        if (!makeFolder())
            return false;
        auto lock = makeLock(lockPathOf(copyPath()));
        if (!lock->tryLock(0))
            return false;
        m_lock = std::move(lock);
    }
    QSaveFile file(copyPath());
    // A folder removed meanwhile (a clean-up of the home folder) is made again.
    if (!file.open(QIODevice::WriteOnly) && !(makeFolder() && file.open(QIODevice::WriteOnly)))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (!writeRecovery(file, copy) || !file.commit())
        return false;
    m_written = true;
    return true;
}

void RecoveryStore::remove()
{
    if (!m_written)
        return;
    QFile::remove(copyPath());
    m_written = false;
}

std::optional<RecoveredText> RecoveryStore::claimOrphan()
{
    discardClaimed();
    const QDir dir(folder());
    const QFileInfoList copies = dir.entryInfoList({QLatin1Char('*') + kSuffix}, QDir::Files, QDir::Time);
    for (const QFileInfo &info : copies) {
        const QString path = info.absoluteFilePath();
        if (path == copyPath())
            continue;
        auto lock = makeLock(lockPathOf(path));
        removeOwnerlessLock(*lock, lockPathOf(path));
        if (!lock->tryLock(0))
            continue; // its instance still runs, or another start has it
        std::optional<RecoveredText> copy;
        if (const auto bytes = readCopyFile(path))
            copy = parseRecovery(*bytes);
        if (!copy)
            continue; // not one this program can read back: left as it is, the lock let go
        m_claimed = std::move(lock);
        m_claimedPath = path;
        return copy;
    }
    return std::nullopt;
}

void RecoveryStore::releaseClaimed()
{
    m_claimed.reset();
    m_claimedPath.clear();
}

void RecoveryStore::discardClaimed()
{
    if (!m_claimed)
        return;
    QFile::remove(m_claimedPath);
    m_claimed.reset(); // unlocking removes the lock file
    m_claimedPath.clear();
}

RecoveryWriter::RecoveryWriter(RecoveryStore &store)
    : m_store(store)
    , m_thread([this] { run(); })
{
}

RecoveryWriter::~RecoveryWriter()
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void RecoveryWriter::write(RecoveredText copy)
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_next = Order{false, std::move(copy)};
    }
    m_wake.notify_one();
}

void RecoveryWriter::remove()
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_next = Order{true, {}};
    }
    m_wake.notify_one();
    finish();
}

void RecoveryWriter::finish()
{
    std::unique_lock<std::mutex> hold(m_mutex);
    m_done.wait(hold, [this] { return !m_next && !m_busy; });
}

void RecoveryWriter::run()
{
    std::unique_lock<std::mutex> hold(m_mutex);
    for (;;) {
        // What was handed over is done before the end.
        m_wake.wait(hold, [this] { return m_next || m_ending; });
        if (!m_next)
            return;
        Order order = std::move(*m_next);
        m_next.reset();
        m_busy = true;
        hold.unlock();
        if (order.remove) {
            m_store.remove();
        } else {
            order.copy.text = fromEditorForm(order.copy.text.replace(QChar::ParagraphSeparator, QLatin1Char('\n')));
            // A copy that cannot be written leaves the last one.
            m_store.write(order.copy);
        }
        order = {};
        hold.lock();
        m_busy = false;
        m_done.notify_all();
    }
}
