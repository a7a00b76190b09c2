// A real HTTP server on loopback: POSIX sockets, one connection at a time, closes after each answer.
#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TestHttpServer::TestHttpServer(const QByteArray &address) : m_address(address)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(80);
    inet_pton(AF_INET, address.constData(), &addr.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return;
    }
    m_fd = fd;
    m_thread = std::thread([this] { serve(); });
}

TestHttpServer::~TestHttpServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        close(m_fd);
}

void TestHttpServer::route(const QByteArray &path, const Route &r)
{
    QMutexLocker lock(&m_mutex);
    m_routes[path] = r;
}

QByteArray TestHttpServer::ok(const QByteArray &body, bool withLength)
{
    QByteArray r = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n";
    if (withLength)
        r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return r + "\r\n" + body;
}

QList<QByteArray> TestHttpServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void TestHttpServer::serve()
{
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        const int client = accept(m_fd, nullptr, nullptr);
        if (client >= 0) {
            handle(client);
            close(client);
        }
    }
}

void TestHttpServer::handle(int client)
{
    QByteArray request;
    char buf[4096];
    int bodyNeeded = -1;
    for (int waited = 0; waited < 5000 && !m_stop;) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) {
            waited += 20;
            continue;
        }
        const ssize_t n = recv(client, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, int(n));
        const int end = request.indexOf("\r\n\r\n");
        if (end >= 0 && bodyNeeded < 0) {
            bodyNeeded = 0;
            for (const QByteArray &line : request.left(end).split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    bodyNeeded = line.mid(15).trimmed().toInt();
            bodyNeeded += end + 4;
        }
        if (bodyNeeded >= 0 && request.size() >= bodyNeeded)
            break;
    }
    const QByteArray path = request.split(' ').value(1);
    Route route;
    {
        QMutexLocker lock(&m_mutex);
        m_requests << request;
        route = m_routes.value(path, Route{"HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"});
    }
    QByteArray response = route.response;
    if (route.echo)
        response = ok(request);
    const int piece = route.delayMs > 0 && route.pieceSize > 0 ? route.pieceSize : int(response.size());
    for (int sent = 0; sent < response.size() && !m_stop;) {
        const bool atOnce = sent < route.delayFrom;
        if (route.delayMs > 0 && !atOnce)
            usleep(route.delayMs * 1000);
        const int n = atOnce ? route.delayFrom - sent : std::min<int>(piece, int(response.size()) - sent);
        const ssize_t w = send(client, response.constData() + sent, size_t(n), MSG_NOSIGNAL);
        if (w <= 0)
            break;
        sent += int(w);
    }
    // Held open until the time is up or the client has hung up.
    for (int held = 0; held < route.holdMs && !m_stop; held += 20) {
        pollfd p{client, POLLIN, 0};
        char c;
        if (poll(&p, 1, 20) > 0 && recv(client, &c, 1, MSG_DONTWAIT) <= 0)
            break;
    }
}
