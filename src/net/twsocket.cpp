#include "net/twsocket.h"

#include "core/errors.h"
#include "core/guard.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One readiness event delivers data until one of these budgets is spent;
// what is left waits for the next pass of the event loop, so a flooding peer
// cannot starve the window (every byte may be a reply with a report line).
constexpr int maxDeliveriesPerPass = 64;
constexpr quint64 maxBytesPerPass = 64 * 1024;
constexpr qint64 maxNanosPerPass = 4'000'000;
// The most one ReceiveStr returns on TCP: the work one handler call can cause.
constexpr qsizetype maxReceive = 16 * 1024;
// The most unread data dropped in one go; the rest goes on the next passes.
constexpr int maxDiscardPerPass = 64 * 1024;
// The most a socket queues for a peer that does not read; past it the
// session ends with an error instead of growing without bound.
constexpr qsizetype maxQueued = 1 << 20;

// Socket events nest: a handler may run a modal message box, inside which
// the event loop goes on. A notifier created meanwhile (a listener opened
// again inside an error box) stays off until the outermost delivery ends;
// otherwise a connection waiting on it would make it fire on every pass of
// the modal loop while its own socket is still marked as dispatching.
int dispatchDepth = 0;
std::vector<QPointer<QSocketNotifier>> deferredNotifiers;

struct DispatchScope {
    DispatchScope() { ++dispatchDepth; }
    ~DispatchScope() {
        if (--dispatchDepth > 0)
            return;
        std::vector<QPointer<QSocketNotifier>> ready;
        ready.swap(deferredNotifiers);
        for (const QPointer<QSocketNotifier> &n : ready)
            if (n)
                n->setEnabled(true);
    }
};

QString errnoText(int error) { return QString::fromLocal8Bit(strerror(error)); }

} // namespace

QString socketStateName(TSocketState state) {
    switch (state) {
    case wsInvalidState: return QStringLiteral("wsInvalidState");
    case wsOpened: return QStringLiteral("wsOpened");
    case wsBound: return QStringLiteral("wsBound");
    case wsConnecting: return QStringLiteral("wsConnecting");
    case wsSocksConnected: return QString();
    case wsConnected: return QStringLiteral("wsConnected");
    case wsAccepting: return QStringLiteral("wsAccepting");
    case wsListening: return QStringLiteral("wsListening");
    case wsClosed: return QStringLiteral("wsClosed");
    }
    return QString();
}

TWSocket::TWSocket(QObject *parent) : QObject(parent) {}

TWSocket::~TWSocket() { teardown(); }

// ---- properties -----------------------------------------------------------

void TWSocket::assign(QString &property, const QString &value, bool *assigned) {
    const QString v = value.trimmed();
    if (v.isEmpty()) {
        // An empty text leaves the property unassigned.
        if (assigned && m_state == wsClosed)
            *assigned = false;
        return;
    }
    if (v != property && m_state != wsClosed) {
        fail(QStringLiteral("Cannot change a property while the socket is not closed"));
        return;
    }
    property = v;
    if (assigned)
        *assigned = true;
}

void TWSocket::setAddr(const QString &addr) { assign(m_addr, addr, &m_addrAssigned); }
void TWSocket::setPort(const QString &port) { assign(m_port, port, &m_portAssigned); }
void TWSocket::setProto(const QString &proto) { assign(m_proto, proto); }
void TWSocket::setLocalAddr(const QString &addr) { assign(m_localAddr, addr); }
void TWSocket::setLocalPort(const QString &port) { assign(m_localPort, port); }

void TWSocket::resetDefaults() {
    m_proto = QStringLiteral("tcp");
    m_localAddr = QStringLiteral("0.0.0.0");
    m_localPort = QStringLiteral("0");
    m_addrAssigned = false;
    m_portAssigned = false; // Port still reads back its last text
}

quint16 TWSocket::boundPort() const {
    if (m_fd < 0)
        return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

// ---- failures -------------------------------------------------------------

void TWSocket::fail(const QString &message) {
    m_lastError = message;
    if (OnError)
        OnError(this);
    else
        throw ESocketError(message);
}

bool TWSocket::resolve(const QString &addr, const QString &port, sockaddr_in &out, const char *what) {
    bool ok = false;
    const uint p = port.toUInt(&ok, 10);
    if (!ok || p > 65535) {
        fail(QStringLiteral("Invalid %1 port '%2'").arg(QLatin1String(what), port));
        return false;
    }
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(quint16(p));
    // The device address is typed as a dotted IPv4 address; names are not
    // looked up, since a name query could block the window for seconds.
    QString a = addr;
    if (a.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        a = QStringLiteral("127.0.0.1");
    if (inet_pton(AF_INET, a.toLatin1().constData(), &out.sin_addr) != 1) {
        fail(QStringLiteral("Cannot resolve address '%1'").arg(addr));
        return false;
    }
    return true;
}

// ---- session plumbing -----------------------------------------------------

void TWSocket::dropNotifier(QSocketNotifier *&notifier) {
    // Often called from inside the notifier's own activation: switch it off
    // now and let the event loop delete it.
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}

void TWSocket::teardown() {
    dropNotifier(m_readNotifier);
    dropNotifier(m_writeNotifier);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_out.clear();
}

void TWSocket::startSession(int fd, TSocketState state) {
    m_fd = fd;
    m_state = state;
    ++m_session;
    m_closedFired = false;
    m_connectFailed = false;
    m_connectError = 0;
    m_out.clear();
}

QSocketNotifier *TWSocket::newNotifier(bool read) {
    auto *n = new QSocketNotifier(m_fd, read ? QSocketNotifier::Read : QSocketNotifier::Write, this);
    if (read)
        connect(n, &QSocketNotifier::activated, this, [this] { onReadable(); });
    else
        connect(n, &QSocketNotifier::activated, this, [this] { onWritable(); });
    if (dispatchDepth > 0) {
        n->setEnabled(false);
        deferredNotifiers.emplace_back(n);
    }
    return n;
}

void TWSocket::enableRead() {
    if (m_readNotifier || m_fd < 0)
        return;
    m_readNotifier = newNotifier(true);
}

void TWSocket::deliverEvent(const std::function<void()> &fire) {
    // An event delivered from the event loop: an error out of its handler
    // closes this socket and is then shown as an uncaught error.
    QPointer<TWSocket> self(this);
    try {
        fire();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (self) {
            try {
                self->Close();
            } catch (...) {
                showCurrentException();
            }
        }
        try {
            std::rethrow_exception(error);
        } catch (...) {
            showCurrentException();
        }
    }
}

void TWSocket::closeWithCode(int error, bool fromEventLoop) {
    if (m_state == wsClosed)
        return;
    teardown();
    m_state = wsClosed;
    resetDefaults();
    if (m_closedFired)
        return;
    m_closedFired = true;
    if (!OnSessionClosed)
        return;
    const quint16 code = quint16(error);
    if (fromEventLoop)
        deliverEvent([this, code] { OnSessionClosed(this, code); });
    else
        OnSessionClosed(this, code);
}

void TWSocket::Close() { closeWithCode(0, false); }

// ---- operations -----------------------------------------------------------

void TWSocket::Connect() {
    if (m_state != wsClosed) {
        fail(QStringLiteral("Connect: socket is not closed"));
        return;
    }
    const bool udp = m_proto.compare(QLatin1String("udp"), Qt::CaseInsensitive) == 0;
    if (!udp && m_proto.compare(QLatin1String("tcp"), Qt::CaseInsensitive) != 0) {
        fail(QStringLiteral("Connect: unknown protocol '%1'").arg(m_proto));
        return;
    }
    if (!m_portAssigned || !m_addrAssigned) {
        fail(QStringLiteral("Connect: no %1 assigned").arg(m_portAssigned ? "address" : "port"));
        return;
    }
    sockaddr_in dest{};
    if (!resolve(m_addr, m_port, dest, "remote"))
        return;
    m_udp = udp;

    if (udp) {
        sockaddr_in local{};
        if (!resolve(m_localAddr, m_localPort, local, "local"))
            return;
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            fail(QStringLiteral("Cannot create socket: %1").arg(errnoText(errno)));
            return;
        }
        startSession(fd, wsOpened);
        const quint64 session = m_session;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            // The socket was opened: the error handler may close it, which
            // ends this session with its closed event.
            fail(QStringLiteral("Cannot bind local port %1: %2").arg(m_localPort, errnoText(errno)));
            if (m_session == session && m_state == wsOpened) {
                teardown();
                m_state = wsClosed;
                m_closedFired = true;
                resetDefaults();
            }
            return;
        }
        // No connect() at the system level: datagrams from any sender arrive.
        m_dest = dest;
        m_state = wsConnected;
        enableRead();
        if (OnSessionConnected)
            OnSessionConnected(this, 0);
        return;
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail(QStringLiteral("Cannot create socket: %1").arg(errnoText(errno)));
        return;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    startSession(fd, wsOpened);
    const int rc = ::connect(fd, reinterpret_cast<sockaddr *>(&dest), sizeof dest);
    m_state = wsConnecting;
    if (rc == 0 || errno == EINPROGRESS) {
        m_writeNotifier = newNotifier(false);
        return;
    }
    // Failed at once (refused on loopback, no route): the outcome is still an
    // event of its own, never fired inside Connect.
    const int error = errno;
    const quint64 session = m_session;
    QTimer::singleShot(0, this, [this, session, error] {
        if (m_session == session && m_state == wsConnecting)
            finishConnect(error);
    });
}

void TWSocket::onWritable() {
    if (m_state == wsConnecting) {
        int error = 0;
        socklen_t len = sizeof error;
        if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        dropNotifier(m_writeNotifier);
        finishConnect(error);
        return;
    }
    flushOutput(true);
}

void TWSocket::finishConnect(int error) {
    const quint64 session = m_session;
    QPointer<TWSocket> self(this);
    // During the event the state reads wsConnected whatever the outcome.
    m_state = wsConnected;
    if (error) {
        m_connectFailed = true;
        m_connectError = error;
    } else {
        enableRead();
    }
    if (OnSessionConnected)
        deliverEvent([this, error] { OnSessionConnected(this, quint16(error)); });
    if (!self || m_session != session)
        return;
    if (error)
        closeWithCode(error, true);
}

void TWSocket::Listen() {
    if (m_state != wsClosed) {
        fail(QStringLiteral("Listen: socket is not closed"));
        return;
    }
    if (m_proto.compare(QLatin1String("tcp"), Qt::CaseInsensitive) != 0) {
        fail(QStringLiteral("Listen: only tcp can listen"));
        return;
    }
    if (!m_portAssigned || !m_addrAssigned) {
        fail(QStringLiteral("Listen: no %1 assigned").arg(m_portAssigned ? "address" : "port"));
        return;
    }
    sockaddr_in local{};
    if (!resolve(m_addr, m_port, local, "listening"))
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail(QStringLiteral("Cannot create socket: %1").arg(errnoText(errno)));
        return;
    }
    // Listening again on the port of a connection that just ended must work.
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    m_udp = false;
    startSession(fd, wsOpened);
    const quint64 session = m_session;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        (m_state = wsBound, ::listen(fd, 5) != 0)) {
        fail(QStringLiteral("Cannot listen on port %1: %2").arg(m_port, errnoText(errno)));
        if (m_session == session && m_state != wsClosed) {
            teardown();
            m_state = wsClosed;
            m_closedFired = true;
            resetDefaults();
        }
        return;
    }
    m_state = wsListening;
    enableRead();
}

int TWSocket::Accept() {
    if (m_state != wsListening) {
        fail(QStringLiteral("Accept: socket is not listening"));
        return -1;
    }
    ++m_acceptCalls;
    const int handle = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (handle < 0) {
        fail(QStringLiteral("Accept failed: %1").arg(errnoText(errno)));
        return -1;
    }
    return handle;
}

void TWSocket::Dup(int handle) {
    if (handle < 0) {
        fail(QStringLiteral("Dup: invalid connection handle"));
        return;
    }
    // Any connection this socket had is dropped without events.
    teardown();
    const int one = 1;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_udp = false;
    startSession(handle, wsConnected);
    enableRead();
}

int TWSocket::SendStr(const QString &text) {
    const QByteArray bytes = text.toLatin1();
    return Send(bytes.constData(), int(bytes.size()));
}

int TWSocket::Send(const char *data, int count) {
    if (m_state != wsConnected) {
        fail(QStringLiteral("Send: socket is not connected"));
        return -1;
    }
    if (m_connectFailed) {
        // The attempt failed: the session ends inside this send.
        closeWithCode(m_connectError, false);
        return -1;
    }
    if (count <= 0)
        return 0;
    if (failSendsWith != 0) {
        fail(QStringLiteral("Send failed: %1").arg(errnoText(failSendsWith)));
        return -1;
    }
    if (m_udp) {
        const ssize_t n = ::sendto(m_fd, data, size_t(count), MSG_DONTWAIT | MSG_NOSIGNAL,
                                   reinterpret_cast<sockaddr *>(&m_dest), sizeof m_dest);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNREFUSED) {
            fail(QStringLiteral("Send failed: %1").arg(errnoText(errno)));
            return -1;
        }
        return count;
    }
    if (m_out.size() + count > maxQueued) {
        // The peer has stopped reading: end the session rather than queue
        // without bound, then report the failed send.
        closeWithCode(ENOBUFS, false);
        fail(QStringLiteral("Send failed: the peer does not read (more than %1 bytes waiting)")
                 .arg(maxQueued));
        return -1;
    }
    m_out.append(data, count);
    if (m_writeNotifier) // earlier bytes are still queued; they go first
        return count;
    const quint64 session = m_session;
    flushOutput(false);
    return m_session == session && m_state == wsConnected ? count : -1;
}

void TWSocket::flushOutput(bool fromEventLoop) {
    while (!m_out.isEmpty()) {
        const ssize_t n = ::send(m_fd, m_out.constData(), size_t(m_out.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            m_out.remove(0, n);
            continue;
        }
        const int error = errno;
        if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)) {
            if (error == EINTR)
                continue;
            if (!m_writeNotifier)
                m_writeNotifier = newNotifier(false);
            return;
        }
        // The connection is gone: the session ends here.
        closeWithCode(n < 0 && error ? error : ECONNRESET, fromEventLoop);
        return;
    }
    dropNotifier(m_writeNotifier);
}

int TWSocket::Receive(char *buffer, int size) {
    ++m_readCalls;
    if (m_fd < 0 || size < 0) {
        return -1;
    }
    const ssize_t n = ::recv(m_fd, buffer, size_t(size), MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    m_bytesRead += quint64(n);
    return int(n);
}

QString TWSocket::ReceiveStr() {
    ++m_readCalls;
    if (m_fd < 0)
        return QString();
    QByteArray bytes;
    if (m_udp) {
        // One datagram: its true size, then the datagram itself.
        const ssize_t size = ::recv(m_fd, nullptr, 0, MSG_DONTWAIT | MSG_PEEK | MSG_TRUNC);
        if (size < 0)
            return QString();
        bytes.resize(qMax<ssize_t>(size, 1));
        const ssize_t n = ::recv(m_fd, bytes.data(), size_t(bytes.size()), MSG_DONTWAIT);
        bytes.resize(n < 0 ? 0 : n);
        m_bytesRead += quint64(bytes.size());
        return QString::fromLatin1(bytes);
    }
    // All that can be read now, but at most maxReceive bytes: a peer that
    // sends without pause must not keep one call (and the handler working
    // through what it returns) busy for long. What is left fires the data
    // event again.
    bytes.resize(maxReceive);
    const ssize_t n = ::recv(m_fd, bytes.data(), size_t(bytes.size()), MSG_DONTWAIT);
    bytes.resize(n < 0 ? 0 : n);
    m_bytesRead += quint64(bytes.size());
    return QString::fromLatin1(bytes);
}

int TWSocket::RcvdCount() {
    int count = 0;
    if (m_fd < 0 || ioctl(m_fd, FIONREAD, &count) != 0) {
        fail(QStringLiteral("Cannot query the received byte count"));
        return -1;
    }
    if (m_udp && count == 0) {
        // FIONREAD reads 0 for an empty datagram; the peek tells its true size.
        const ssize_t size = ::recv(m_fd, nullptr, 0, MSG_DONTWAIT | MSG_PEEK | MSG_TRUNC);
        if (size > 0)
            count = int(size);
    }
    return count;
}

// ---- readiness ------------------------------------------------------------

qint64 TWSocket::pendingBytes(bool &eof, int &error) {
    eof = false;
    error = 0;
    if (m_udp) {
        char probe;
        const ssize_t size = ::recv(m_fd, &probe, 1, MSG_DONTWAIT | MSG_PEEK | MSG_TRUNC);
        if (size >= 0)
            return qMax<qint64>(size, 1); // an empty datagram still counts as one to read
        return 0;
    }
    int count = 0;
    if (ioctl(m_fd, FIONREAD, &count) == 0 && count > 0)
        return count;
    char probe;
    const ssize_t n = ::recv(m_fd, &probe, 1, MSG_DONTWAIT | MSG_PEEK);
    if (n > 0)
        return 1;
    if (n == 0)
        eof = true;
    else if (errno != EAGAIN && errno != EWOULDBLOCK)
        error = errno;
    return 0;
}

void TWSocket::discardPending() {
    // A handler that leaves data unread (its channel is not the active mode)
    // would make a level-triggered notifier fire without end: drop the data.
    if (m_udp) {
        char probe;
        (void)::recv(m_fd, &probe, 1, MSG_DONTWAIT | MSG_TRUNC);
        return;
    }
    // Bounded like a delivery: against a fast sender, reading until nothing
    // is left could hold up the window for seconds. The rest fires again.
    char sink[4096];
    int dropped = 0;
    while (dropped < maxDiscardPerPass) {
        const ssize_t n = ::recv(m_fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n <= 0)
            break;
        dropped += int(n);
    }
    m_bytesRead += quint64(dropped); // dropping counts against the pass's budget too
}

void TWSocket::onReadable() {
    if (m_dispatching || m_fd < 0)
        return;
    QPointer<TWSocket> self(this);
    const quint64 session = m_session;

    if (m_state == wsListening) {
        const quint64 accepts = m_acceptCalls;
        m_dispatching = true;
        m_readNotifier->setEnabled(false); // no busy re-firing while a handler runs a modal loop
        {
            DispatchScope scope;
            if (OnSessionAvailable)
                deliverEvent([this] { OnSessionAvailable(this, 0); });
        }
        if (!self)
            return;
        m_dispatching = false;
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
        if (m_session == session && m_state == wsListening && m_acceptCalls == accepts) {
            // Nobody took the connection: refuse it rather than spin.
            const int handle = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (handle >= 0)
                ::close(handle);
        }
        return;
    }
    if (m_state != wsConnected)
        return;

    QElapsedTimer clock;
    clock.start();
    const quint64 bytesAtStart = m_bytesRead;
    for (int round = 0; round < maxDeliveriesPerPass; ++round) {
        if (round > 0 &&
            (m_bytesRead - bytesAtStart >= maxBytesPerPass || clock.nsecsElapsed() >= maxNanosPerPass))
            return; // the notifier fires again on the next pass
        bool eof = false;
        int error = 0;
        const qint64 pending = pendingBytes(eof, error);
        if (pending == 0) {
            if (eof || error)
                closeWithCode(error, true); // the peer closed or reset the connection
            return;
        }
        const quint64 reads = m_readCalls;
        m_dispatching = true;
        m_readNotifier->setEnabled(false);
        if (OnDataAvailable) {
            DispatchScope scope;
            try {
                OnDataAvailable(this, 0);
            } catch (...) {
                // An error out of a data handler ends this delivery silently.
            }
        }
        if (!self)
            return;
        m_dispatching = false;
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
        if (m_session != session || m_state != wsConnected || m_fd < 0)
            return;
        if (m_readCalls == reads)
            discardPending();
    }
}
