#pragma once
// TWSocket: the event-driven socket every network mode talks through.
//
// Built on non-blocking POSIX sockets whose readiness is merged into the UI
// event loop with QSocketNotifier, so that every event fires on the UI thread
// and the synchronous nesting the channels rely on is exact:
//  - Close fires OnSessionClosed inside it, once per session;
//  - a UDP Connect fires OnSessionConnected inside it;
//  - a failed operation fires OnError inside it (or throws when no OnError
//    handler is attached);
//  - a send that finds the connection gone closes the socket and fires
//    OnSessionClosed inside the send;
//  - a failed TCP attempt fires OnSessionConnected with the failure's code
//    while State reads wsConnected, then OnSessionClosed after the handler.
//
// Error routing for events delivered from the event loop: an error thrown out
// of OnDataAvailable ends that delivery silently; one thrown out of any other
// handler closes the socket and is shown as an uncaught error. An error thrown
// out of a handler fired nested inside an operation travels up to the caller
// of that operation.
//
// TCP_NODELAY is set on every TCP connection: the tool sends short commands
// and measures the replies, and must not wait for the small-packet delay.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <netinet/in.h>

class QSocketNotifier;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsSocksConnected,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed,
};

// "wsInvalidState" ... "wsClosed"; wsSocksConnected has no name (empty text).
QString socketStateName(TSocketState state);

class TWSocket : public QObject {
    Q_OBJECT
public:
    using SessionEvent = std::function<void(TWSocket *socket, quint16 error)>;
    using ErrorEvent = std::function<void(TWSocket *socket)>;

    explicit TWSocket(QObject *parent = nullptr);
    ~TWSocket() override;

    // Events; each receives the socket that fired.
    SessionEvent OnSessionConnected;
    SessionEvent OnDataAvailable;
    SessionEvent OnSessionClosed;
    SessionEvent OnSessionAvailable;
    ErrorEvent OnError;

    // Properties. Texts are stored trimmed; an empty text leaves the property
    // unassigned. A different value while the socket is not closed fails
    // through OnError and keeps the old value.
    QString Addr() const { return m_addr; }
    void setAddr(const QString &addr);
    QString Port() const { return m_port; }
    void setPort(const QString &port);
    QString Proto() const { return m_proto; }
    void setProto(const QString &proto);
    QString LocalAddr() const { return m_localAddr; }
    void setLocalAddr(const QString &addr);
    QString LocalPort() const { return m_localPort; }
    void setLocalPort(const QString &port);
    TSocketState State() const { return m_state; }

    // Operations; none blocks.
    void Connect();
    void Listen();
    int Accept();
    void Dup(int handle);
    int Send(const char *data, int count);
    int Send(const QByteArray &bytes) { return Send(bytes.constData(), int(bytes.size())); }
    int SendStr(const QString &text); // one byte per character
    int Receive(char *buffer, int size);
    QString ReceiveStr(); // one character per byte
    int RcvdCount();
    void Close();

    // Test seam: while not 0, every Send on a connected socket fails with
    // this system error code (EACCES, say, as for a datagram to a broadcast
    // address), so that tests can drive the failed-send path on loopback.
    // Nothing in the program sets it.
    int failSendsWith = 0;

    // The text of the last failure, for diagnostics.
    QString lastErrorText() const { return m_lastError; }
    // The local port a listener or UDP peer is bound to (0 when none).
    quint16 boundPort() const;

private:
    void fail(const QString &message);
    void assign(QString &property, const QString &value, bool *assigned = nullptr);
    bool resolve(const QString &addr, const QString &port, sockaddr_in &out, const char *what);
    void teardown();
    static void dropNotifier(QSocketNotifier *&notifier);
    void resetDefaults();
    void startSession(int fd, TSocketState state);
    QSocketNotifier *newNotifier(bool read);
    void enableRead();
    void onReadable();
    void onWritable();
    void finishConnect(int error);
    void closeWithCode(int error, bool fromEventLoop);
    void flushOutput(bool fromEventLoop);
    void discardPending();
    qint64 pendingBytes(bool &eof, int &error);
    void deliverEvent(const std::function<void()> &fire);

    int m_fd = -1;
    bool m_udp = false;
    TSocketState m_state = wsClosed;
    quint64 m_session = 0;
    bool m_closedFired = true;
    bool m_connectFailed = false;
    int m_connectError = 0;
    quint64 m_readCalls = 0;
    quint64 m_bytesRead = 0;
    quint64 m_acceptCalls = 0;
    bool m_dispatching = false;
    QByteArray m_out;
    sockaddr_in m_dest{};
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;

    QString m_addr, m_port, m_proto = QStringLiteral("tcp"), m_localAddr = QStringLiteral("0.0.0.0"),
                            m_localPort = QStringLiteral("0");
    bool m_addrAssigned = false, m_portAssigned = false;
    QString m_lastError;
};
