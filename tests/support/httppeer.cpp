#include "httppeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

QByteArray HttpRequest::header(const QByteArray &name) const {
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

ThreadedHttpServer::ThreadedHttpServer(std::function<QByteArray(const HttpRequest &, int)> answer)
    : m_answer(std::move(answer)) {
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(m_listen, 8);
    socklen_t len = sizeof a;
    getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

ThreadedHttpServer::~ThreadedHttpServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

QList<HttpRequest> ThreadedHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

namespace {
bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

// Appends what the connection sent within a short wait; false once it closed.
bool readMore(int fd, QByteArray &buffer) {
    if (!readable(fd, 20))
        return true;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    buffer.append(chunk, n);
    return true;
}
} // namespace

void ThreadedHttpServer::run() {
    int index = 0;
    while (!m_stop) {
        if (!readable(m_listen, 20))
            continue;
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            continue;
        // Requests on this connection, one after the other (keep-alive).
        QByteArray buffer;
        while (!m_stop) {
            qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0) {
                if (!readMore(fd, buffer))
                    break;
                continue;
            }
            HttpRequest r;
            r.head = buffer.left(end + 2);
            const qsizetype length = r.header("Content-Length").toLongLong();
            while (buffer.size() < end + 4 + length && !m_stop && readMore(fd, buffer)) {
            }
            r.body = buffer.mid(end + 4, length);
            buffer.remove(0, end + 4 + length);
            {
                std::lock_guard lock(m_mutex);
                m_requests << r;
            }
            const QByteArray reply = m_answer(r, index++);
            if (reply.isEmpty()) {
                while (!m_stop)
                    readable(fd, 20); // hold the connection, never answer
                break;
            }
            ::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
            if (reply.contains("Connection: close"))
                break;
        }
        ::close(fd);
    }
}
