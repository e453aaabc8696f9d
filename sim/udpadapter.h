#pragma once
// The thin UDP adapter: each datagram goes to the Session of its sender
// (address and port), each reply back to that sender as one datagram. The
// service answers any sender; a request cut over two datagrams is not joined.
#include "faults.h"
#include "session.h"
#include "simlog.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

namespace sim {

class UdpService : public QObject {
    Q_OBJECT
public:
    // Senders remembered at most; beyond that the oldest sessions are dropped.
    static constexpr int maxSenders = 64;

    UdpService(QString name, SessionFactory factory, Faults faults, const SimLog &log,
               QObject *parent = nullptr);
    bool bind(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_socket.localPort(); }

private:
    struct Peer {
        QHostAddress address;
        quint16 port;
        std::unique_ptr<Session> session;
        QList<QByteArray> held; // coalesce
    };
    void onReadyRead();
    void sendTo(Peer &peer, const QByteArray &bytes);
    void flushHeld();
    QString name(const Peer &p) const { return p.address.toString() + ':' + QString::number(p.port); }

    QString m_name;
    SessionFactory m_factory;
    Faults m_faults;
    const SimLog &m_log;
    QUdpSocket m_socket;
    std::list<Peer> m_peers; // newest first
    QTimer m_holdTimer;
    int m_replies = 0;
    quint32 m_seed = 1;
};

} // namespace sim
