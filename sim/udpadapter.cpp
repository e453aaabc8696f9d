#include "udpadapter.h"

#include <QNetworkDatagram>

namespace sim {

UdpService::UdpService(QString name, SessionFactory factory, Faults faults, const SimLog &log,
                       QObject *parent)
    : QObject(parent), m_name(std::move(name)), m_factory(std::move(factory)), m_faults(faults), m_log(log) {
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(200);
    connect(&m_holdTimer, &QTimer::timeout, this, &UdpService::flushHeld);
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpService::onReadyRead);
}

bool UdpService::bind(const QHostAddress &address, quint16 port, QString *error) {
    if (!m_socket.bind(address, port)) {
        if (error)
            *error =
                m_name + ": cannot bind UDP port " + QString::number(port) + ": " + m_socket.errorString();
        return false;
    }
    return true;
}

void UdpService::onReadyRead() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram();
        if (!d.isValid())
            continue;
        const QHostAddress from = d.senderAddress();
        const quint16 fromPort = quint16(d.senderPort());
        auto it = std::find_if(m_peers.begin(), m_peers.end(),
                               [&](const Peer &p) { return p.port == fromPort && p.address == from; });
        if (it == m_peers.end()) {
            m_peers.push_front(Peer{from, fromPort, m_factory(), {}});
            if (int(m_peers.size()) > maxSenders)
                m_peers.pop_back();
            it = m_peers.begin();
        }
        Peer &peer = *it;
        m_log.traffic(m_name, name(peer), "<-", d.data());
        if (m_faults.refuse || m_faults.stall)
            continue;
        if (m_faults.closeAfter > 0 && m_replies >= m_faults.closeAfter)
            continue; // the service has stopped answering
        QByteArray input = d.data();
        for (const QByteArray &reply : peer.session->feed(input)) {
            if (reply.isEmpty())
                continue;
            sendTo(peer, m_faults.shape(reply, *peer.session, m_seed));
            if (m_faults.closeAfter > 0 && ++m_replies >= m_faults.closeAfter)
                break;
        }
    }
}

void UdpService::sendTo(Peer &peer, const QByteArray &bytes) {
    if (m_faults.split) {
        for (const char c : bytes) {
            m_log.traffic(m_name, name(peer), "->", QByteArray(1, c));
            m_socket.writeDatagram(&c, 1, peer.address, peer.port);
        }
        return;
    }
    if (m_faults.coalesce > 1) {
        peer.held.append(bytes);
        if (peer.held.size() >= m_faults.coalesce) {
            const QByteArray all = peer.held.join();
            peer.held.clear();
            m_log.traffic(m_name, name(peer), "->", all);
            m_socket.writeDatagram(all, peer.address, peer.port);
        } else if (!m_holdTimer.isActive()) {
            m_holdTimer.start();
        }
        return;
    }
    m_log.traffic(m_name, name(peer), "->", bytes);
    m_socket.writeDatagram(bytes, peer.address, peer.port);
}

void UdpService::flushHeld() {
    for (Peer &peer : m_peers) {
        if (peer.held.isEmpty())
            continue;
        const QByteArray all = peer.held.join();
        peer.held.clear();
        m_log.traffic(m_name, name(peer), "->", all);
        m_socket.writeDatagram(all, peer.address, peer.port);
    }
}

} // namespace sim
