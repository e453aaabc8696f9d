#include "tcpadapter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {
QString peerOf(const QTcpSocket *s) {
    return s->peerAddress().toString() + ':' + QString::number(s->peerPort());
}
} // namespace

TcpLink::TcpLink(QTcpSocket *socket, std::unique_ptr<Session> session, const Faults &faults,
                 const SimLog &log, const QString &service, QObject *parent)
    : QObject(parent), m_socket(socket), m_session(std::move(session)), m_faults(faults), m_log(log),
      m_service(service), m_peer(peerOf(socket)) {
    m_socket->setParent(this);
    // Replies are short and the peer times them.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(200);
    connect(&m_holdTimer, &QTimer::timeout, this, &TcpLink::flushHeld);
    m_trickleTimer.setInterval(1);
    connect(&m_trickleTimer, &QTimer::timeout, this, &TcpLink::sendNextByte);
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpLink::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_log.note(m_service, m_peer, "closed");
        m_holdTimer.stop();
        m_trickleTimer.stop();
        emit finished();
        deleteLater();
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { maybeClose(); });
    m_log.note(m_service, m_peer, "connected");
    const QByteArray hello = m_session->greeting();
    if (!hello.isEmpty() && !m_faults.stall)
        send(m_faults.shape(hello, *m_session, m_seed));
}

TcpLink::~TcpLink() = default;

void TcpLink::onReadyRead() {
    const QByteArray data = m_socket->readAll();
    if (data.isEmpty())
        return;
    m_log.traffic(m_service, m_peer, "<-", data);
    if (m_faults.stall || m_closing)
        return; // read and ignored
    m_input += data;
    const QList<QByteArray> replies = m_session->feed(m_input);
    for (const QByteArray &reply : replies) {
        if (m_closing)
            break;
        if (!reply.isEmpty()) {
            send(m_faults.shape(reply, *m_session, m_seed));
            ++m_replies;
        }
        if (m_faults.closeAfter > 0 && m_replies >= m_faults.closeAfter) {
            m_log.note(m_service, m_peer, "closing after " + QString::number(m_replies) + " replies");
            closeWhenSent();
        }
    }
    if (m_session->wantsClose())
        closeWhenSent();
    if (m_input.size() > maxPending) {
        m_log.note(m_service, m_peer, "too much without a request, cut off");
        m_input.clear();
        m_socket->abort();
    }
}

void TcpLink::send(const QByteArray &bytes) {
    if (m_faults.split) {
        m_trickle += bytes;
        if (!m_trickleTimer.isActive())
            m_trickleTimer.start();
        return;
    }
    if (m_faults.coalesce > 1) {
        m_held.append(bytes);
        if (m_held.size() >= m_faults.coalesce)
            flushHeld();
        else if (!m_holdTimer.isActive())
            m_holdTimer.start();
        return;
    }
    m_log.traffic(m_service, m_peer, "->", bytes);
    m_socket->write(bytes);
}

void TcpLink::flushHeld() {
    m_holdTimer.stop();
    if (m_held.isEmpty())
        return;
    const QByteArray all = m_held.join();
    m_held.clear();
    m_log.traffic(m_service, m_peer, "->", all);
    m_socket->write(all);
    maybeClose();
}

void TcpLink::sendNextByte() {
    if (m_trickle.isEmpty()) {
        m_trickleTimer.stop();
        maybeClose();
        return;
    }
    const QByteArray one = m_trickle.left(1);
    m_trickle.remove(0, 1);
    m_log.traffic(m_service, m_peer, "->", one);
    m_socket->write(one);
    m_socket->flush();
}

void TcpLink::closeWhenSent() {
    m_closing = true;
    maybeClose();
}

void TcpLink::maybeClose() {
    if (!m_closing || !m_trickle.isEmpty())
        return;
    if (!m_held.isEmpty()) {
        flushHeld();
        return;
    }
    // disconnectFromHost sends what is still queued, then closes.
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
}

TcpService::TcpService(QString name, SessionFactory factory, Faults faults, const SimLog &log,
                       QObject *parent)
    : QObject(parent), m_name(std::move(name)), m_factory(std::move(factory)), m_faults(faults), m_log(log) {
    connect(&m_server, &QTcpServer::newConnection, this, &TcpService::onNewConnection);
}

TcpService::~TcpService() {
    if (m_refusingFd >= 0)
        ::close(m_refusingFd);
}

bool TcpService::listen(const QHostAddress &address, quint16 port, QString *error) {
    if (m_faults.refuse) {
        // A port that is bound but not listening answers every connection
        // attempt with a reset: "connection refused", and no one else can
        // take the port meanwhile.
        m_refusingFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(address.toIPv4Address());
        socklen_t len = sizeof sa;
        if (m_refusingFd < 0 || ::bind(m_refusingFd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 ||
            ::getsockname(m_refusingFd, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
            if (error)
                *error = m_name + ": cannot bind port " + QString::number(port);
            return false;
        }
        m_port = ntohs(sa.sin_port);
        return true;
    }
    if (!m_server.listen(address, port)) {
        if (error)
            *error =
                m_name + ": cannot listen on port " + QString::number(port) + ": " + m_server.errorString();
        return false;
    }
    m_port = m_server.serverPort();
    return true;
}

void TcpService::onNewConnection() {
    while (QTcpSocket *s = m_server.nextPendingConnection()) {
        auto *link = new TcpLink(s, m_factory(), m_faults, m_log, m_name, this);
        m_links.append(link);
        connect(link, &TcpLink::finished, this,
                [this] { m_links.removeIf([](const QPointer<TcpLink> &l) { return l.isNull(); }); });
    }
    m_links.removeIf([](const QPointer<TcpLink> &l) { return l.isNull(); });
}

TcpClientService::TcpClientService(QString name, SessionFactory factory, Faults faults, const SimLog &log,
                                   QObject *parent)
    : QObject(parent), m_name(std::move(name)), m_factory(std::move(factory)), m_faults(faults), m_log(log) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &TcpClientService::attempt);
}

void TcpClientService::start(const QString &host, quint16 port, int retryMs) {
    m_host = host;
    m_port = port;
    m_retry.setInterval(retryMs);
    attempt();
}

void TcpClientService::attempt() {
    if (m_faults.refuse)
        return; // a device that never calls
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &TcpClientService::onConnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this, s = m_socket] {
        if (m_link || s != m_socket)
            return; // the link reports its own end
        m_log.note(m_name, m_host + ':' + QString::number(m_port), "cannot connect: " + s->errorString());
        s->deleteLater();
        m_socket = nullptr;
        retry();
    });
    m_socket->connectToHost(m_host, m_port);
}

void TcpClientService::onConnected() {
    QTcpSocket *s = m_socket;
    m_socket = nullptr;
    m_link = new TcpLink(s, m_factory(), m_faults, m_log, m_name, this);
    connect(m_link, &TcpLink::finished, this, &TcpClientService::retry);
}

void TcpClientService::retry() {
    if (!m_retry.isActive())
        m_retry.start();
}

} // namespace sim
