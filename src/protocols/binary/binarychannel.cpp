#include "protocols/binary/binarychannel.h"

#include "app/tform1.h"
#include "net/twsocket.h"
#include "protocols/binary/binarytcpclient.h"
#include "protocols/binary/binarytcpserver.h"
#include "protocols/binary/binaryudppeer.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {
// How long one pass may spend on received structures.
constexpr qint64 maxNanosPerPass = 4'000'000;
} // namespace

// ---- receive side ---------------------------------------------------------------

BinaryReceiver::BinaryReceiver(BinaryChannel &channel) : QObject(&channel), m_channel(channel) {}

void BinaryReceiver::feedStream(const QByteArray &bytes) {
    m_stream.append(bytes);
    if (!m_scheduled)
        workThrough();
}

void BinaryReceiver::feedDatagram(const QByteArray &datagram) {
    const QList<QByteArray> structures = binary::splitDatagram(datagram);
    for (const QByteArray &s : structures) {
        if (qsizetype(m_datagrams.size()) >= maxBacklog)
            break;
        m_datagrams.push_back(s);
    }
    if (!m_scheduled)
        workThrough();
}

void BinaryReceiver::clear() {
    m_stream.clear();
    m_datagrams.clear();
}

std::optional<QByteArray> BinaryReceiver::next() {
    if (!m_datagrams.empty()) {
        QByteArray s = std::move(m_datagrams.front());
        m_datagrams.pop_front();
        return s;
    }
    return m_stream.next();
}

void BinaryReceiver::workThrough() {
    m_scheduled = false;
    // Each structure is applied, answered and reported in order, but the
    // display, whose in-between states nobody could see, is refreshed once
    // for the lot. A structure may end the session (AuthFail), which empties
    // what is waiting.
    QElapsedTimer clock;
    clock.start();
    bool refresh = false;
    bool more = false;
    for (int n = 0;; ++n) {
        if ((n & 63) == 63 && clock.nsecsElapsed() >= maxNanosPerPass) {
            more = true;
            break;
        }
        const std::optional<QByteArray> s = next();
        if (!s)
            break;
        refresh |= m_channel.apply(*s);
    }
    if (refresh)
        m_channel.form().IOstateToDisplay();
    if (more) {
        m_scheduled = true;
        QTimer::singleShot(0, this, [this] { workThrough(); });
    }
}

// ---- channel --------------------------------------------------------------------

BinaryChannel::BinaryChannel(TForm1 &form) : QObject(&form), f(form) {
    client = new BinaryTcpClient(form, *this);
    server = new BinaryTcpServer(form, *this);
    udp = new BinaryUdpPeer(form, *this);
}

TWSocket *BinaryChannel::modeSocket() const {
    switch (f.currentMode) {
    case modeBinaryClient: return client->ws_io_binary;
    case modeBinaryServer: return server->ws_io_cli_bin;
    case modeBinaryUdp: return udp->ws_udp_bin;
    default: return nullptr;
    }
}

void BinaryChannel::sendbinary(const QString &structtype, quint32 value1, quint32 value2) {
    if (client->ws_io_binary->State() != wsConnected && server->ws_io_cli_bin->State() != wsConnected &&
        udp->ws_udp_bin->State() != wsConnected)
        return;
    // A bad option text ends the call here, before any line.
    const std::optional<binary::Request> request =
        binary::buildRequest(structtype, value1, value2, f.ed_option->text());
    if (!request)
        return;
    for (const QString &line : request->reportLines)
        f.writereport(line);
    TWSocket *socket = modeSocket();
    if (!socket || socket->State() != wsConnected)
        return;
    socket->Send(request->bytes);
}

void BinaryChannel::BinaryreplytoIOState(const QByteArray &databuffer) {
    if (apply(databuffer))
        f.IOstateToDisplay();
}

bool BinaryChannel::apply(const QByteArray &databuffer) {
    const binary::Decoded d =
        binary::decode(databuffer, f.io, f.lastInput, f.lastOutput, f.ed_password->text());
    // The login answers go to the device on the connection of the current
    // binary mode, the one every request goes out on, before the lines that
    // tell of them; a line says "Send" only for bytes that went out.
    bool sent = false;
    if (!d.answer.isEmpty()) {
        TWSocket *socket = modeSocket();
        if (socket && socket->State() == wsConnected)
            sent = socket->Send(d.answer) == d.answer.size();
    }
    for (const QString &line : d.reportLines)
        f.writereport(line);
    if (sent)
        for (const QString &line : d.answerLines)
            f.writereport(line);
    if (d.closeClient)
        client->ws_io_binary->Close(); // its closed handler decides on a reconnect
    return d.refresh;
}
