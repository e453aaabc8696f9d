#include "peers.h"

#include <QNetworkDatagram>

quint16 freeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

quint16 freeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

ScriptedTcpServer::ScriptedTcpServer() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            const int index = int(m_connections.size());
            m_connections << s;
            m_received << QByteArray();
            connect(s, &QTcpSocket::readyRead, this, [this, s, index] { m_received[index] += s->readAll(); });
        }
    });
}

void ScriptedTcpServer::send(const QByteArray &bytes, int i) {
    if (QTcpSocket *s = connection(i)) {
        s->write(bytes);
        s->flush();
    }
}

void ScriptedTcpServer::closeConnection(int i) {
    if (QTcpSocket *s = connection(i))
        s->disconnectFromHost();
}

void ScriptedTcpClient::connectTo(quint16 port) {
    if (!m_wired) {
        m_wired = true;
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket.readAll(); });
    }
    m_socket.connectToHost(QHostAddress::LocalHost, port);
}

void ScriptedTcpClient::send(const QByteArray &bytes) {
    m_socket.write(bytes);
    m_socket.flush();
}

ScriptedUdpPeer::ScriptedUdpPeer() {
    m_socket.bind(QHostAddress::LocalHost, 0);
    connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
        while (m_socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = m_socket.receiveDatagram();
            datagrams << Datagram{d.data(), quint16(d.senderPort())};
        }
    });
}

void ScriptedUdpPeer::sendTo(quint16 port, const QByteArray &bytes) {
    m_socket.writeDatagram(bytes, QHostAddress::LocalHost, port);
}
