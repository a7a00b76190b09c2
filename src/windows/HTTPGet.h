// THTTPGet: fetches one HTTP resource on a worker thread and reports through its events.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace platform {
class HandOver;
}
class THTTPGet;

using TOnProgressEvent = std::function<void(QObject *Sender, qint32 TotalSize, qint32 Readed)>;
using TOnDoneFileEvent = std::function<void(QObject *Sender, const QString &FileName, qint32 FileSize)>;
using TOnDoneStringEvent = std::function<void(QObject *Sender, const QByteArray &Result)>;
using TNotifyEvent = std::function<void(QObject *Sender)>;

// What one download asks for; the thread takes a copy at its start.
struct THTTPRequest
{
    QString AcceptTypes;
    QString Agent;
    QString URL;
    QString FileName;
    QString UserName;
    QString Password;
    QString PostQuery;
    QString Referer;
    bool BinaryData = false;
    bool UseCache = false;
    bool ToFile = false;
    // Bound on the text destination: a larger body is refused as a failure, or cut there.
    qint64 MaxTextSize = 16ll * 1024 * 1024;
    bool CutText = false;
    // How long the server may stay silent (no byte at all) before the download fails, in ms.
    int SilenceTimeout = 60000;
};

class THTTPGetThread : public QThread
{
    Q_OBJECT
public:
    THTTPGetThread(THTTPRequest request, TOnProgressEvent OnProgress, platform::HandOver *handOver);

    const THTTPRequest Request;
    QByteArray ResultText;
    std::atomic<bool> Succeeded{false};
    std::atomic<bool> TextCut{false}; // the text ended at the bound, not at its end
    qint32 ContentLength = 0;
    quint32 BytesRead = 0;
    qint32 TotalRead = 0;
    const TOnProgressEvent OnProgress;

    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

    // Runs on the GUI thread when the body has ended; set by the component before the start.
    std::function<void(THTTPGetThread *)> OnCompleted;

protected:
    void run() override;

private:
    friend struct Transfer;
    void ReportProgress();
    void download();

    std::atomic<bool> m_stop{false};
    platform::HandOver *m_handOver;
};

class THTTPGet : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString AcceptTypes MEMBER AcceptTypes)
    Q_PROPERTY(QString Agent MEMBER Agent)
    Q_PROPERTY(bool BinaryData MEMBER BinaryData)
    Q_PROPERTY(QString URL MEMBER URL)
    Q_PROPERTY(bool UseCache MEMBER UseCache)
    Q_PROPERTY(QString FileName MEMBER FileName)
    Q_PROPERTY(QString UserName MEMBER UserName)
    Q_PROPERTY(QString Password MEMBER Password)
    Q_PROPERTY(QString PostQuery MEMBER PostQuery)
    Q_PROPERTY(QString Referer MEMBER Referer)
    Q_PROPERTY(bool WaitThread MEMBER WaitThread)
public:
    explicit THTTPGet(QObject *owner = nullptr);
    ~THTTPGet() override;

    QString AcceptTypes = QStringLiteral("*/*");
    QString Agent = QStringLiteral("Presmark HTTPGet");
    bool BinaryData = false;
    QString URL;
    bool UseCache = false;
    QString FileName;
    QString UserName;
    QString Password;
    QString PostQuery;
    QString Referer;
    bool WaitThread = false;

    TOnProgressEvent OnProgress;
    TOnDoneFileEvent OnDoneFile;
    TOnDoneStringEvent OnDoneString;
    TNotifyEvent OnError;

    // A server that sends nothing for this long (ms) has gone: the download fails. A slow
    // server that still sends is waited for.
    int SilenceTimeout = 60000;
    // A text body larger than this fails as soon as its length or its bytes say so; with
    // CutText, its download ends there instead, and what came is its result (TextCut then
    // says so while OnDoneString runs).
    qint64 MaxTextSize = 16ll * 1024 * 1024;
    bool CutText = false;
    bool TextCut = false;

    // A download into text; does nothing while one runs.
    void StartDownload();
    // A download into FileName; the program itself never starts one.
    void StartDownloadToFile();
    // The running download ends at its next stop check, with OnError.
    void StopDownload();

    bool isRunning() const { return m_worker != nullptr; }

private:
    void start(bool toFile);
    void WorkerDone(THTTPGetThread *worker);

    platform::HandOver *m_handOver;
    void release(THTTPGetThread *thread);

    THTTPGetThread *m_worker = nullptr; // the running download, until WorkerDone
    // Every download's thread, owned here until it has ended (a stopped one may still be
    // winding down while the next runs).
    std::vector<std::unique_ptr<THTTPGetThread>> m_threads;
};

// Host and object path of an "http://host/path" address.
struct SplitUrlResult
{
    QString host;
    QString path;
};
SplitUrlResult SplitUrl(const QString &url);

// A length header's text as a signed 32-bit decimal number; false when it is none.
bool parseContentLength(const QByteArray &text, qint32 *value);
