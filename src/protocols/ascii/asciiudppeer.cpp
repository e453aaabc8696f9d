#include "protocols/ascii/asciiudppeer.h"

#include "app/tform1.h"
#include "net/twsocket.h"
#include "protocols/ascii/asciireplies.h"

AsciiUdpPeer::AsciiUdpPeer(TForm1 &form) : QObject(&form), f(form) {
    ws_udp = new TWSocket(this);
    ws_udp->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_udpSessionConnected(s, e); };
    ws_udp->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_udpDataAvailable(s, e); };
    ws_udp->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_udpSessionClosed(s, e); };
    ws_udp->OnError = [this](TWSocket *s) { ws_udpError(s); };
    f.registerSocket(QStringLiteral("ws_udp"), ws_udp);
    f.onClick(f.bt_bind, [this] { bt_bindClick(); });
}

void AsciiUdpPeer::bt_bindClick() {
    if (f.currentMode != modeUdpPeer)
        return;
    if (f.bt_bind->text() != QLatin1String("Bind")) {
        ws_udp->Close();
        f.bt_bind->setText(QStringLiteral("Bind"));
        f.setStatus(0, QStringLiteral("Not connected"));
        return;
    }
    if (f.ed_ip->text().isEmpty())
        return;
    f.clearReport();
    f.bt_bind->setText(QStringLiteral("Stop Bind"));
    ws_udp->setProto(QStringLiteral("udp"));
    ws_udp->setPort(f.ed_udpremoteport->text());
    ws_udp->setLocalPort(f.ed_udplocalport->text());
    ws_udp->setAddr(f.ed_ip->text());
    f.setStatus(0, QStringLiteral("try to connect"));
    ws_udp->Connect(); // the session start, and the first command, run inside
}

void AsciiUdpPeer::ws_udpSessionConnected(TWSocket *, quint16) {
    f.nextIsSet = true;
    if (f.currentMode != modeUdpPeer)
        return;
    f.setStatus(0, QStringLiteral("Binded to ") + f.ed_udplocalport->text());
    f.writereport(QStringLiteral("UDP ASCII -- Binded to port") + f.ed_udplocalport->text());
    f.bt_bind->setText(QStringLiteral("Disconnect"));
    f.asciiReplies->clearReceived();
    sendUDPASCII(ascii::readAll(f.ed_password->text()));
}

void AsciiUdpPeer::sendUDPASCII(const QString &ASCIIstring) {
    if (ws_udp->State() != wsConnected)
        return;
    f.writereport(QStringLiteral("UDP ASCII -> ") + ASCIIstring);
    ws_udp->SendStr(ASCIIstring);
}

void AsciiUdpPeer::ws_udpDataAvailable(TWSocket *, quint16) {
    // Datagrams are taken from any sender; in another mode they stay unread
    // and the socket discards them.
    if (f.currentMode == modeUdpPeer)
        f.asciiReplies->splitReceiveData(ws_udp->ReceiveStr());
}

void AsciiUdpPeer::ws_udpSessionClosed(TWSocket *, quint16) {
    if (f.currentMode != modeUdpPeer)
        return;
    ws_udp->Close();
    f.setStatus(0, QStringLiteral("Stop Binding"));
    f.bt_bind->setText(QStringLiteral("Bind"));
    f.writereport(QStringLiteral("UDP ASCII -- Stop Binding"));
}

void AsciiUdpPeer::ws_udpError(TWSocket *) {
    f.showErrorHighlight();
    if (f.currentMode != modeUdpPeer)
        return;
    ws_udp->Close(); // when it was bound, the closed handler runs inside
    f.setStatus(0, QStringLiteral("ERROR - Stop Binding"));
    f.bt_bind->setText(QStringLiteral("Bind"));
    f.writereport(QStringLiteral("UDP ASCII -- ERROR -- Stop Binding"));
}
