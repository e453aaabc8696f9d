#pragma once
// The binary structure protocol's channel: the sender every operation uses in
// the three binary modes, and the receive side the three transports share
// (cutting what arrives into structures, decoding them, answering the login).
#include <QByteArray>
#include <QObject>
#include <QString>
#include <deque>

#include "protocols/binary/binarycodec.h"

class TForm1;
class TWSocket;
class BinaryChannel;
class BinaryTcpClient;
class BinaryTcpServer;
class BinaryUdpPeer;

// What one socket has received and not yet decoded. A TCP connection is a
// byte stream cut by the structures' length fields; a datagram holds whole
// structures and nothing carries over to the next one. Structures are worked
// through for at most a few milliseconds at a time (one datagram may hold
// thousands); the rest follow on the next passes of the event loop, in order.
class BinaryReceiver : public QObject {
    Q_OBJECT
public:
    explicit BinaryReceiver(BinaryChannel &channel);

    void feedStream(const QByteArray &bytes);
    void feedDatagram(const QByteArray &datagram);
    // Forgets everything not yet decoded: a session starts or ends.
    void clear();

    // Structures of datagrams waiting, at most this many: beyond it those of
    // a flooding device's newest datagrams are dropped.
    static constexpr qsizetype maxBacklog = 64 * 1024;
    qsizetype backlog() const { return qsizetype(m_datagrams.size()) + m_stream.buffered(); }

private:
    void workThrough();
    std::optional<QByteArray> next();

    BinaryChannel &m_channel;
    binary::StructureStream m_stream;
    std::deque<QByteArray> m_datagrams;
    bool m_scheduled = false;
};

class BinaryChannel : public QObject {
    Q_OBJECT
public:
    explicit BinaryChannel(TForm1 &form);

    BinaryTcpClient *client = nullptr; // mode 5
    BinaryTcpServer *server = nullptr; // mode 6
    BinaryUdpPeer *udp = nullptr;      // mode 7

    // Builds the structure structtype names, reports it and sends it on the
    // socket of the current binary mode. Nothing at all while none of the
    // three binary sockets is connected.
    void sendbinary(const QString &structtype, quint32 value1, quint32 value2);

    // Decodes one structure (its first bytes; the rest read as zero), answers
    // the login, reports, and refreshes the display where IoState changed.
    void BinaryreplytoIOState(const QByteArray &databuffer);
    // The same without the refresh; true when the display must be refreshed.
    bool apply(const QByteArray &databuffer);

    // The socket sendbinary sends on in the current mode, nullptr in a mode
    // that is no binary one.
    TWSocket *modeSocket() const;

    TForm1 &form() { return f; }

private:
    TForm1 &f;
};
