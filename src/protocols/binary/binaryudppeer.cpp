#include "protocols/binary/binaryudppeer.h"

#include "app/tform1.h"
#include "net/twsocket.h"
#include "protocols/binary/binarychannel.h"

BinaryUdpPeer::BinaryUdpPeer(TForm1 &form, BinaryChannel &channel) : QObject(&channel), f(form), ch(channel) {
    receiver = new BinaryReceiver(channel);
    ws_udp_bin = new TWSocket(this);
    ws_udp_bin->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_udp_binSessionConnected(s, e); };
    ws_udp_bin->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_udp_binDataAvailable(s, e); };
    ws_udp_bin->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_udp_binSessionClosed(s, e); };
    ws_udp_bin->OnError = [this](TWSocket *s) { ws_udp_binError(s); };
    f.registerSocket(QStringLiteral("ws_udp_bin"), ws_udp_bin);
    f.onClick(f.bt_bindbin, [this] { bt_bindbinClick(); });
}

void BinaryUdpPeer::bt_bindbinClick() {
    if (f.currentMode != modeBinaryUdp)
        return;
    if (f.bt_bindbin->text() != QLatin1String("Bind")) {
        ws_udp_bin->Close();
        f.bt_bindbin->setText(QStringLiteral("Bind"));
        f.setStatus(0, QStringLiteral("Not connected"));
        return;
    }
    if (f.ed_ip->text().isEmpty())
        return;
    f.clearReport();
    f.bt_bindbin->setText(QStringLiteral("Stop Bind"));
    ws_udp_bin->setProto(QStringLiteral("udp"));
    ws_udp_bin->setPort(f.co_udpremoteportbin->currentText());
    ws_udp_bin->setLocalPort(f.co_udplocalportbin->currentText());
    ws_udp_bin->setAddr(f.ed_ip->text());
    f.setStatus(0, QStringLiteral("try to connect"));
    ws_udp_bin->Connect(); // the session start, and the registration, run inside
}

void BinaryUdpPeer::ws_udp_binSessionConnected(TWSocket *, quint16) {
    f.nextIsSet = true;
    if (f.currentMode != modeBinaryUdp)
        return;
    const QString local = f.co_udplocalportbin->currentText();
    f.setStatus(0, QStringLiteral("Binded to ") + local);
    f.writereport(QStringLiteral("BINARY -- Binded to UDP-Port ") + local);
    f.bt_bindbin->setText(QStringLiteral("Stop Bind"));
    receiver->clear();
    ch.sendbinary(QStringLiteral("registerrequest"), 0, 0);
}

void BinaryUdpPeer::ws_udp_binDataAvailable(TWSocket *, quint16) {
    // One datagram, from any sender, read whole.
    const int n = ws_udp_bin->RcvdCount();
    if (n <= 0)
        return;
    QByteArray datagram(qMin(n, 65536), '\0');
    const int got = ws_udp_bin->Receive(datagram.data(), int(datagram.size()));
    if (got <= 0)
        return;
    datagram.resize(got);
    receiver->feedDatagram(datagram);
}

void BinaryUdpPeer::ws_udp_binSessionClosed(TWSocket *, quint16) {
    receiver->clear();
    if (f.currentMode != modeBinaryUdp)
        return;
    ws_udp_bin->Close();
    f.setStatus(0, QStringLiteral("Stop Binding"));
    f.bt_bindbin->setText(QStringLiteral("Bind"));
    f.writereport(QStringLiteral("BINARY -- UDP Stop Binding"));
}

void BinaryUdpPeer::ws_udp_binError(TWSocket *) {
    f.showErrorHighlight();
    if (f.currentMode != modeBinaryUdp)
        return;
    ws_udp_bin->Close(); // when it was bound, the closed handler runs inside
    f.setStatus(0, QStringLiteral("ERROR - Stop Binding"));
    f.bt_bindbin->setText(QStringLiteral("Bind"));
    f.writereport(QStringLiteral("BINARY -- UDP ERROR - Stop Binding"));
}
