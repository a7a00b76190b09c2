// A real HTTP server on a loopback address, port 80, in a thread of its own, for the download tests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <atomic>
#include <thread>

class TestHttpServer
{
public:
    struct Route
    {
        QByteArray response;  // raw bytes: status line, headers, body
        int pieceSize = 0;    // with a delay: sent in pieces of this size
        int delayMs = 0;      // pause before each piece
        bool echo = false;    // body: the request as it arrived
        int delayFrom = 0;    // pieces and pauses start at this offset; what is before goes at once
        int holdMs = 0;       // after the response, the connection stays open, silent, this long
    };

    // Listens on address:80; isListening() tells whether that worked (port 80 needs root).
    explicit TestHttpServer(const QByteArray &address = "127.0.0.2");
    ~TestHttpServer();

    bool isListening() const { return m_fd >= 0; }
    QString base() const { return QStringLiteral("http://") + QString::fromLatin1(m_address); }

    void route(const QByteArray &path, const Route &r);
    void route(const QByteArray &path, const QByteArray &response) { route(path, Route{response}); }
    static QByteArray ok(const QByteArray &body, bool withLength = true);

    QList<QByteArray> requests() const;
    int requestCount() const { return int(requests().size()); }

private:
    void serve();
    void handle(int client);

    QByteArray m_address;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable QMutex m_mutex;
    QMap<QByteArray, Route> m_routes;
    QList<QByteArray> m_requests;
};
