#include "protocols/binary/binarytcpclient.h"

#include "app/tform1.h"
#include "core/timers.h"
#include "net/twsocket.h"
#include "protocols/binary/binarychannel.h"

namespace {
// One read takes at most this much of a TCP stream; what is left fires the
// data event again, so a flooding device cannot hold one event for long.
constexpr int maxRead = 4096;
} // namespace

BinaryTcpClient::BinaryTcpClient(TForm1 &form, BinaryChannel &channel)
    : QObject(&channel), f(form), ch(channel) {
    receiver = new BinaryReceiver(channel);
    ws_io_binary = new TWSocket(this);
    ws_io_binary->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_io_binarySessionConnected(s, e); };
    ws_io_binary->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_io_binaryDataAvailable(s, e); };
    ws_io_binary->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_io_binarySessionClosed(s, e); };
    ws_io_binary->OnError = [this](TWSocket *s) { ws_io_binaryError(s); };
    f.registerSocket(QStringLiteral("ws_io_binary"), ws_io_binary);
    f.onClick(f.bt_connect_bin, [this] { bt_connect_binClick(); });
    f.onTimer(f.ti_wsioreconnectbin, [this] { ti_wsioreconnectbinTimer(); });
}

void BinaryTcpClient::bt_connect_binClick() {
    if (f.currentMode != modeBinaryClient)
        return;
    if (f.bt_connect_bin->text() != QLatin1String("Connect")) {
        f.binaryClosing = true; // the close below must not start a reconnect
        // Nor may one that is already waiting: the user asked to disconnect.
        enableTimer(f.ti_wsioreconnectbin, false);
        ws_io_binary->Close();
        f.bt_connect_bin->setText(QStringLiteral("Connect"));
        f.setStatus(0, QStringLiteral("Not connected"));
        return;
    }
    if (f.co_tcpbinport->currentText().isEmpty() || f.ed_ip->text().isEmpty())
        return;
    f.clearReport();
    f.binaryClosing = false;
    f.reconnectCount = 0; // a new connection counts its reconnects afresh
    ws_io_binary->setProto(QStringLiteral("tcp"));
    ws_io_binary->setPort(f.co_tcpbinport->currentText());
    ws_io_binary->setAddr(f.ed_ip->text());
    f.bt_connect_bin->setText(QStringLiteral("Disconnect"));
    f.setStatus(0, QStringLiteral("try to connect"));
    ws_io_binary->Connect();
}

void BinaryTcpClient::ws_io_binarySessionConnected(TWSocket *, quint16) {
    f.nextIsSet = true;
    if (f.currentMode != modeBinaryClient)
        return;
    // A failed attempt runs the same steps: the socket still reads
    // wsConnected, and the registration's send ends the session inside it.
    const QString where = f.ed_ip->text() + QStringLiteral(" Port ") + f.co_tcpbinport->currentText();
    f.setStatus(0, QStringLiteral("Connected to ") + where);
    f.writereport(QStringLiteral("BINARY -- Connected to ") + where);
    f.bt_connect_bin->setText(QStringLiteral("Disconnect"));
    receiver->clear();
    ch.sendbinary(QStringLiteral("registerrequest"), 0, 0);
}

void BinaryTcpClient::ws_io_binaryDataAvailable(TWSocket *, quint16) {
    const int n = ws_io_binary->RcvdCount();
    if (n <= 0)
        return;
    QByteArray bytes(qMin(n, maxRead), '\0');
    const int got = ws_io_binary->Receive(bytes.data(), int(bytes.size()));
    if (got <= 0)
        return;
    bytes.resize(got);
    receiver->feedStream(bytes);
}

void BinaryTcpClient::ws_io_binarySessionClosed(TWSocket *, quint16) {
    receiver->clear();
    connectionEnded(QStringLiteral("BINARY -- Connection Closed "));
}

void BinaryTcpClient::ws_io_binaryError(TWSocket *) {
    f.showErrorHighlight();
    connectionEnded(QStringLiteral("BINARY -- ERROR -- Connection Closed ")); // the socket is not closed here
}

void BinaryTcpClient::connectionEnded(const QString &reportLine) {
    if (f.currentMode != modeBinaryClient)
        return;
    f.setStatus(0, QStringLiteral("Connection Closed"));
    f.bt_connect_bin->setText(QStringLiteral("Connect"));
    f.writereport(reportLine);
    // Not after the user's Disconnect or a mode change.
    if (f.binaryClosing || !f.cb_reconnectbin->isChecked())
        return;
    enableTimer(f.ti_wsioreconnectbin, true);
    f.writereport(QStringLiteral("BINARY -- Try to reconnect "));
}

void BinaryTcpClient::ti_wsioreconnectbinTimer() {
    enableTimer(f.ti_wsioreconnectbin, false); // one shot
    ++f.reconnectCount;
    f.setStatus(1, QStringLiteral("reronnect: ") + QString::number(f.reconnectCount));
    ws_io_binary->setProto(QStringLiteral("tcp"));
    ws_io_binary->setAddr(f.ed_ip->text());
    ws_io_binary->setPort(f.co_tcpbinport->currentText());
    ws_io_binary->Connect();
    f.bt_connect_bin->setText(QStringLiteral("Disconnect"));
}
