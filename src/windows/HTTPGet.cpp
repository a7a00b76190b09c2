// THTTPGet over libcurl: HTTP/1.0 on port 80, the body in chunks of at most 1025 bytes.
#include "HTTPGet.h"

#include "platform/ErrorBox.h"
#include "platform/HandOver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>

#include <memory>

#include <curl/curl.h>

SplitUrlResult SplitUrl(const QString &url)
{
    QString rest = url;
    if (rest.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        rest.remove(0, 7);
    const int slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {QString(), rest};
    return {rest.left(slash), rest.mid(slash)};
}

bool parseContentLength(const QByteArray &text, qint32 *value)
{
    const QByteArray t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    if (i >= t.size())
        return false;
    qint64 n = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        n = n * 10 + (t[i] - '0');
        if (n > qint64(1) << 31)
            return false;
    }
    if (negative)
        n = -n;
    if (n < INT32_MIN || n > INT32_MAX)
        return false;
    *value = qint32(n);
    return true;
}

namespace {

// A host that no name service would resolve: the request then fails as with no server.
bool resolvableHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    for (QChar c : host)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_')))
            return false;
    return true;
}

struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

} // namespace

// The state of one transfer, seen by libcurl's callbacks. No C++ exception leaves a callback.
struct Transfer
{
    THTTPGetThread *worker = nullptr;
    std::unique_ptr<QFile> file;
    bool headersDone = false;
    bool lengthKnown = false;
    bool failed = false;     // the transfer was abandoned: a stop, an error, a bound
    bool silent = false;     // the server sent nothing for too long
    curl_off_t lastReceived = 0;
    QElapsedTimer sinceLastByte;

    static size_t onHeader(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Transfer *>(self)->header(QByteArray(data, int(size * count)));
    }
    static size_t onBody(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Transfer *>(self)->body(data, size * count);
    }
    static int onProgress(void *self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t)
    {
        return static_cast<Transfer *>(self)->progress(received);
    }

    // Called by libcurl at least about once a second, also while connecting or waiting.
    int progress(curl_off_t received)
    {
        if (worker->stopRequested())
            return 1;
        if (received != lastReceived) {
            lastReceived = received;
            sinceLastByte.restart();
        } else if (sinceLastByte.hasExpired(worker->Request.SilenceTimeout)) {
            silent = true;
            return 1;
        }
        return 0;
    }

    size_t header(const QByteArray &line)
    {
        const size_t n = size_t(line.size());
        if (line.startsWith("HTTP/")) {
            // A new response (after an interim one): its own headers count.
            lengthKnown = false;
            worker->ContentLength = 0;
            return n;
        }
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty()) {
            const int colon = trimmed.indexOf(':');
            if (colon > 0 && trimmed.left(colon).trimmed().toLower() == "content-length") {
                qint32 value = 0;
                // A length that does not convert ends the download as a failure.
                if (!parseContentLength(trimmed.mid(colon + 1), &value))
                    return fail();
                worker->ContentLength = value;
                lengthKnown = true;
                if (!worker->Request.ToFile && value > worker->Request.MaxTextSize && !worker->Request.CutText)
                    return fail();
            }
        }
        return n;
    }

    // Steps after the response headers: the length rules and the destination.
    bool beginBody()
    {
        headersDone = true;
        if (worker->stopRequested())
            return false;
        if (!lengthKnown && worker->Request.BinaryData)
            return false;
        worker->TotalRead = 0;
        if (worker->Request.ToFile) {
            file = std::make_unique<QFile>(worker->Request.FileName);
            if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
                return false;
        } else {
            worker->ResultText.clear();
        }
        return true;
    }

    size_t fail()
    {
        failed = true;
        return 0;
    }

    size_t body(const char *data, size_t n)
    {
        if (!headersDone && !beginBody())
            return fail();
        if (worker->stopRequested())
            return fail();
        for (size_t done = 0; done < n;) {
            // Chunks of at most 1025 bytes, each reported on its own.
            const size_t part = std::min<size_t>(1025, n - done);
            if (worker->Request.ToFile) {
                if (file->write(data + done, qint64(part)) != qint64(part))
                    return fail();
            } else {
                const qint64 room = worker->Request.MaxTextSize - worker->ResultText.size();
                if (qint64(part) > room) {
                    if (!worker->Request.CutText)
                        return fail();
                    // What fits is the result; the rest is not fetched.
                    worker->ResultText.append(data + done, int(room));
                    worker->TotalRead += qint32(room);
                    worker->TextCut = true;
                    return 0;
                }
                worker->ResultText.append(data + done, int(part));
            }
            worker->BytesRead = quint32(part);
            worker->TotalRead += qint32(part);
            done += part;
            // An error in the progress handler sets the stop request, checked next.
            if (worker->OnProgress)
                worker->ReportProgress();
            if (worker->stopRequested())
                return fail();
        }
        return n;
    }
};

THTTPGetThread::THTTPGetThread(THTTPRequest request, TOnProgressEvent OnProgress, platform::HandOver *handOver)
    : Request(std::move(request)), OnProgress(std::move(OnProgress)), m_handOver(handOver)
{
}

void THTTPGetThread::ReportProgress()
{
    // An error in the progress handler ends the download as a failure, like any error here.
    bool handlerFailed = false;
    m_handOver->call([&] {
        try {
            OnProgress(this, ContentLength, TotalRead);
        } catch (...) {
            handlerFailed = true;
        }
    });
    if (handlerFailed)
        m_stop = true;
}

void THTTPGetThread::run()
{
    try {
        download();
    } catch (...) {
        Succeeded = false;
    }
    if (m_stop)
        Succeeded = false;
    m_handOver->call([this] { OnCompleted(this); });
}

void THTTPGetThread::download()
{
    static CurlGlobal global;
    Succeeded = false;
    const SplitUrlResult parts = SplitUrl(Request.URL);
    if (m_stop)
        return;

    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle)
        return;
    CURL *curl = handle.get();
    Transfer transfer;
    transfer.worker = this;
    curl_slist *headers = nullptr;
    // Freed with the last header appended, whatever way this function is left.
    const auto freeHeaders = qScopeGuard([&headers] { curl_slist_free_all(headers); });

    const QByteArray url = "http://" + parts.host.toLatin1() + parts.path.toUtf8();
    const QByteArray agent = Request.Agent.toLocal8Bit(), user = Request.UserName.toLocal8Bit(),
                     password = Request.Password.toLocal8Bit();
    const QByteArray referer = Request.Referer.toLocal8Bit(), body = Request.PostQuery.toLocal8Bit();
    const QByteArray accept = "Accept: " + Request.AcceptTypes.toLocal8Bit();

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PORT, 80L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 1025L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    if (!agent.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
    if (!user.isEmpty() || !password.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    if (!referer.isEmpty())
        curl_easy_setopt(curl, CURLOPT_REFERER, referer.constData());
    headers = curl_slist_append(headers, accept.constData());
    if (!Request.UseCache) {
        headers = curl_slist_append(headers, "Pragma: no-cache");
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
    }
    if (!Request.PostQuery.isEmpty()) {
        headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    CURLcode code = CURLE_COULDNT_RESOLVE_HOST;
    transfer.sinceLastByte.start();
    if (resolvableHost(parts.host))
        code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    // A response without a body still has its headers judged.
    if (code == CURLE_OK && status > 0 && !transfer.headersDone && !transfer.beginBody())
        transfer.failed = true;

    // Only a whole body of a successful reply counts: an error page is no result, and neither
    // is a body cut short by the server or by its silence. Without a length, a body that
    // ended because the server closed the connection after it is whole.
    const bool answered = status >= 200 && status <= 299 && transfer.headersDone;
    const bool whole = TextCut ? code == CURLE_WRITE_ERROR && !transfer.failed && !transfer.silent && !m_stop
                               : code == CURLE_OK && !transfer.failed && !transfer.silent && !m_stop
                                     && (!transfer.lengthKnown || TotalRead == ContentLength);
    if (answered && whole)
        Succeeded = Request.ToFile || TotalRead != 0;
    if (transfer.file)
        transfer.file->close();
}

THTTPGet::THTTPGet(QObject *owner) : QObject(owner), m_handOver(new platform::HandOver(this)) {}

THTTPGet::~THTTPGet()
{
    StopDownload();
    if (m_threads.empty())
        return;
    // No completion may reach this component any more; calls already queued are taken off the
    // queue so that no worker is ever left blocked in its hand-over.
    m_handOver->abandon();
    for (const auto &thread : m_threads) {
        while (!thread->wait(10))
            m_handOver->drain();
    }
    m_handOver->drain();
    m_threads.clear();
}

void THTTPGet::release(THTTPGetThread *thread)
{
    for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
        if (it->get() == thread) {
            thread->wait(); // it has said its last word; the rest of its exit is immediate
            m_threads.erase(it);
            return;
        }
    }
}

void THTTPGet::StartDownload()
{
    start(false);
}

void THTTPGet::StartDownloadToFile()
{
    start(true);
}

void THTTPGet::start(bool toFile)
{
    if (m_worker)
        return;
    TextCut = false;
    // In the order of the request's members.
    THTTPRequest request{AcceptTypes, Agent, URL, FileName, UserName, Password, PostQuery,
                         Referer, BinaryData, UseCache, toFile, MaxTextSize, CutText, SilenceTimeout};
    m_threads.push_back(std::make_unique<THTTPGetThread>(std::move(request), OnProgress, m_handOver));
    THTTPGetThread *worker = m_threads.back().get();
    m_worker = worker;
    worker->OnCompleted = [this](THTTPGetThread *w) { WorkerDone(w); };
    // Freed once it has ended.
    connect(worker, &QThread::finished, this, [this, worker] { release(worker); }, Qt::QueuedConnection);
    worker->start();
    if (WaitThread)
        QCoreApplication::processEvents();
}

void THTTPGet::StopDownload()
{
    if (!m_worker)
        return;
    m_worker->requestStop();
    m_worker->Succeeded = false;
}

void THTTPGet::WorkerDone(THTTPGetThread *worker)
{
    // An error in a handler is shown, and the component is idle again all the same.
    platform::guarded([&] {
        if (worker->Succeeded) {
            if (worker->Request.ToFile) {
                if (OnDoneFile)
                    OnDoneFile(this, worker->Request.FileName, worker->ContentLength);
            } else if (OnDoneString) {
                TextCut = worker->TextCut;
                OnDoneString(this, worker->ResultText);
                TextCut = false;
            }
        } else if (OnError) {
            OnError(this);
        }
    });
    m_worker = nullptr;
}
