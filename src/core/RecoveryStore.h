// Recovery copies: the unsaved text of each running instance, kept so that a crash, a kill or
// the end of the desktop session loses nothing.
#pragma once

#include "core/TextCodec.h"

#include <QList>
#include <QLockFile>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QIODevice;

// What a copy holds: the text and what makes it the document it was.
struct RecoveredText
{
    QString text;
    QString fileName; // the file it was opened from; empty for an untitled one
    QString caption;
    TextFormat format;
    QList<TextFormat::LineEnd> lineEnds;
};

QByteArray serialiseRecovery(const RecoveredText &copy);
bool writeRecovery(QIODevice &device, const RecoveredText &copy);
std::optional<RecoveredText> parseRecovery(const QByteArray &bytes);

// One instance's copy in $XDG_STATE_HOME/Korlith/ (default ~/.local/state): a file of its own,
// mode 0600 in a folder only the user can enter, replaced atomically, and a lock that lives
// exactly as long as the instance. A copy whose lock nobody holds belongs to an instance that
// is gone. Its own copy (write, remove) and the orphans (claim, discard, release) are apart:
// one thread may do the one while another does the other.
class RecoveryStore
{
public:
    RecoveryStore();
    ~RecoveryStore();

    static QString folder();

    // Writes this instance's copy; false when it could not (the old copy, if any, stays).
    bool write(const RecoveredText &copy);
    // Removes this instance's copy: the text was saved, dropped or the user closed the program.
    void remove();
    QString copyPath() const;

    // The newest copy of an instance that no longer runs. It stays reserved for this instance
    // (its lock held) until discardClaimed() or this store's end.
    std::optional<RecoveredText> claimOrphan();
    // Deletes the claimed copy: the user took its text, or said no to it.
    void discardClaimed();
    // Lets the claimed copy go as it is, for the next start to offer again.
    void releaseClaimed();

private:
    QString m_id;
    std::unique_ptr<QLockFile> m_lock;    // held from the first write on
    std::unique_ptr<QLockFile> m_claimed; // an orphan's lock while it is offered
    QString m_claimedPath;
    bool m_written = false;
};

// Writes one store's copies on a thread of its own, so that a large document's copy never
// holds the window. Only the newest order counts: a write handed over while another is on
// the disk replaces any not yet begun. The end of the writer (or finish()) waits for what was
// handed over.
class RecoveryWriter
{
public:
    explicit RecoveryWriter(RecoveryStore &store);
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter &) = delete;
    RecoveryWriter &operator=(const RecoveryWriter &) = delete;

    // copy.text is the text as the editor's document holds it (its line breaks as U+2029, its
    // stand-ins: EditorText.h); it is made the user's text here, off the caller's thread.
    void write(RecoveredText copy);
    // The copy is gone when this returns (after a write on the disk, if one is).
    void remove();
    // Returns once everything handed over is done.
    void finish();

private:
    struct Order
    {
        bool remove = false;
        RecoveredText copy;
    };
    void run();

    RecoveryStore &m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::optional<Order> m_next;
    bool m_busy = false;
    bool m_ending = false;
    std::thread m_thread;
};
