#pragma once
// Thin TCP adapters between sockets and Sessions: a listening service (one
// Session per accepted connection) and a connecting one (the device as the
// client of a tool that listens). Both carry out the faults of their service.
#include "faults.h"
#include "session.h"
#include "simlog.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sim {

// One connection and its Session.
class TcpLink : public QObject {
    Q_OBJECT
public:
    // A peer that sends more than this without completing a request is cut off.
    static constexpr qsizetype maxPending = 1024 * 1024;

    TcpLink(QTcpSocket *socket, std::unique_ptr<Session> session, const Faults &faults, const SimLog &log,
            const QString &service, QObject *parent = nullptr);
    ~TcpLink() override;
    QTcpSocket *socket() const { return m_socket; }

signals:
    void finished();

private:
    void onReadyRead();
    void send(const QByteArray &bytes);
    void flushHeld();
    void sendNextByte();
    void closeWhenSent();
    void maybeClose();

    QTcpSocket *m_socket;
    std::unique_ptr<Session> m_session;
    Faults m_faults;
    const SimLog &m_log;
    QString m_service;
    QString m_peer;
    QByteArray m_input;
    QList<QByteArray> m_held; // coalesce
    QByteArray m_trickle;     // split
    QTimer m_holdTimer;
    QTimer m_trickleTimer;
    int m_replies = 0;
    quint32 m_seed = 1;
    bool m_closing = false;
};

class TcpService : public QObject {
    Q_OBJECT
public:
    TcpService(QString name, SessionFactory factory, Faults faults, const SimLog &log,
               QObject *parent = nullptr);
    ~TcpService() override;
    // Listens (or, with the fault "refuse", only binds) on address:port; port
    // 0 picks a free one.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_port; }
    int connectionCount() const { return int(m_links.size()); }

private:
    void onNewConnection();

    QString m_name;
    SessionFactory m_factory;
    Faults m_faults;
    const SimLog &m_log;
    QTcpServer m_server;
    int m_refusingFd = -1;
    quint16 m_port = 0;
    QList<QPointer<TcpLink>> m_links;
};

// The device connecting to a listening tool; it connects again a second after
// every connection ends or fails.
class TcpClientService : public QObject {
    Q_OBJECT
public:
    TcpClientService(QString name, SessionFactory factory, Faults faults, const SimLog &log,
                     QObject *parent = nullptr);
    void start(const QString &host, quint16 port, int retryMs = 1000);
    bool connected() const { return m_link != nullptr; }

private:
    void attempt();
    void onConnected();
    void retry();

    QString m_name;
    SessionFactory m_factory;
    Faults m_faults;
    const SimLog &m_log;
    QString m_host;
    quint16 m_port = 0;
    QTcpSocket *m_socket = nullptr;
    QPointer<TcpLink> m_link;
    QTimer m_retry;
};

} // namespace sim
