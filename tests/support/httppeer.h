#pragma once
// A scripted HTTP server for tests of the blocking client. The client blocks
// the test's thread, so this server runs on a thread of its own, with plain
// blocking sockets on 127.0.0.1.
#include <QByteArray>
#include <QList>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

struct HttpRequest {
    QByteArray head; // request line and headers
    QByteArray body;
    QByteArray header(const QByteArray &name) const;
    QByteArray requestLine() const { return head.left(head.indexOf("\r\n")); }
};

class ThreadedHttpServer {
public:
    // answer(request, index) gives the exact bytes to send back; an empty
    // answer means "never answer" (the connection is held until the server stops).
    explicit ThreadedHttpServer(std::function<QByteArray(const HttpRequest &, int)> answer);
    ~ThreadedHttpServer();
    quint16 port() const { return m_port; }
    QList<HttpRequest> requests() const;

private:
    void run();

    std::function<QByteArray(const HttpRequest &, int)> m_answer;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<HttpRequest> m_requests;
    std::thread m_thread;
};
