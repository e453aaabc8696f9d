#pragma once
// Scripted peers and small helpers for network tests. Everything binds to
// 127.0.0.1 on ports the system picks.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

// A TCP port on 127.0.0.1 on which nothing listens (bound once, then freed).
quint16 freeTcpPort();
// A UDP port on 127.0.0.1 that is free right now.
quint16 freeUdpPort();

// A TCP server in the test that records what each connection sends and
// answers with exact bytes.
class ScriptedTcpServer : public QObject {
    Q_OBJECT
public:
    ScriptedTcpServer();
    quint16 port() const { return m_server.serverPort(); }
    QTcpSocket *connection(int i = 0) const { return i < m_connections.size() ? m_connections[i] : nullptr; }
    int connectionCount() const { return int(m_connections.size()); }
    QByteArray received(int i = 0) const { return i < m_received.size() ? m_received[i] : QByteArray(); }
    void send(const QByteArray &bytes, int i = 0);
    void closeConnection(int i = 0);
    void close() { m_server.close(); }

private:
    QTcpServer m_server;
    QList<QTcpSocket *> m_connections;
    QList<QByteArray> m_received;
};

// A device that connects to the tool's TCP server.
class ScriptedTcpClient : public QObject {
    Q_OBJECT
public:
    void connectTo(quint16 port);
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool disconnected() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    void send(const QByteArray &bytes);
    QByteArray received() const { return m_received; }
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_wired = false;
};

// A UDP peer in the test bound to a port of its own.
class ScriptedUdpPeer : public QObject {
    Q_OBJECT
public:
    ScriptedUdpPeer();
    quint16 port() const { return m_socket.localPort(); }
    struct Datagram {
        QByteArray data;
        quint16 fromPort;
    };
    QList<Datagram> datagrams;
    void sendTo(quint16 port, const QByteArray &bytes);

private:
    QUdpSocket m_socket;
};
