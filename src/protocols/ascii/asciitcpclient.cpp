#include "protocols/ascii/asciitcpclient.h"

#include "app/tform1.h"
#include "core/timers.h"
#include "net/twsocket.h"
#include "protocols/ascii/asciireplies.h"

AsciiTcpClient::AsciiTcpClient(TForm1 &form) : QObject(&form), f(form) {
    ws_io = new TWSocket(this);
    ws_io->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_ioSessionConnected(s, e); };
    ws_io->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_ioDataAvailable(s, e); };
    ws_io->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_ioSessionClosed(s, e); };
    ws_io->OnError = [this](TWSocket *s) { ws_ioError(s); };
    f.registerSocket(QStringLiteral("ws_io"), ws_io);
    f.onClick(f.bt_connect, [this] { bt_connectClick(); });
    f.onTimer(f.ti_wsioreconnect, [this] { ti_wsioreconnectTimer(); });
}

void AsciiTcpClient::bt_connectClick() {
    if (f.currentMode != modeTcpClient)
        return;
    if (f.bt_connect->text() != QLatin1String("Connect")) {
        f.asciiClosing = true; // the close below must not start a reconnect
        // Nor may one that is already waiting: the user asked to disconnect.
        enableTimer(f.ti_wsioreconnect, false);
        ws_io->Close();
        f.bt_connect->setText(QStringLiteral("Connect"));
        f.setStatus(0, QStringLiteral("Not connected"));
        return;
    }
    if (f.ed_tcpasciiport->text().isEmpty() || f.ed_ip->text().isEmpty())
        return;
    f.clearReport();
    f.asciiClosing = false;
    f.reconnectCount = 0;
    ws_io->setProto(QStringLiteral("tcp"));
    ws_io->setPort(f.ed_tcpasciiport->text());
    ws_io->setAddr(f.ed_ip->text());
    f.setStatus(0, QStringLiteral("try to connect"));
    ws_io->Connect();
}

void AsciiTcpClient::ws_ioSessionConnected(TWSocket *, quint16) {
    f.nextIsSet = true;
    if (f.currentMode != modeTcpClient)
        return;
    // After a failed attempt the socket still reads wsConnected here; the
    // first command then finds no connection and the session closes inside
    // the send, which starts the reconnect.
    if (ws_io->State() == wsConnected)
        f.setStatus(0, QStringLiteral("Connected to ") + f.ed_ip->text() + QStringLiteral(" Port ") +
                           f.ed_tcpasciiport->text());
    f.writereport(QStringLiteral("TCP ASCII -- Connected to Port ") + f.ed_tcpasciiport->text() +
                  QStringLiteral(" --"));
    f.bt_connect->setText(QStringLiteral("Disconnect"));
    f.asciiReplies->clearReceived();
    // Devices without the all-outputs command are asked for their inputs.
    const QString pw = f.ed_password->text();
    sendASCII(f.legacyDevice ? ascii::readInputs(pw) : ascii::readAll(pw));
}

void AsciiTcpClient::sendASCII(const QString &ASCIIstring) {
    if (ws_io->State() != wsConnected)
        return;
    f.writereport(QStringLiteral("TCP ASCII -> ") + ASCIIstring);
    ws_io->SendStr(ASCIIstring);
}

void AsciiTcpClient::ws_ioDataAvailable(TWSocket *, quint16) {
    // In another mode the data stays unread; the socket discards it.
    if (f.currentMode == modeTcpClient)
        f.asciiReplies->splitReceiveData(ws_io->ReceiveStr());
}

void AsciiTcpClient::ws_ioSessionClosed(TWSocket *, quint16) {
    if (f.currentMode != modeTcpClient)
        return;
    f.setStatus(0, QStringLiteral("Connection Closed"));
    f.bt_connect->setText(QStringLiteral("Connect"));
    f.writereport(QStringLiteral("TCP ASCII -- Connection Closed --\r\n"));
    scheduleReconnect(QStringLiteral("TCP ASCII -- Try to reconnect --"));
}

void AsciiTcpClient::ws_ioError(TWSocket *) {
    f.showErrorHighlight();
    if (f.currentMode != modeTcpClient)
        return;
    f.setStatus(1, QStringLiteral("ERROR - Connection Closed"));
    f.bt_connect->setText(QStringLiteral("Connect"));
    f.writereport(QStringLiteral("TCP ASCII -- ERROR - Connection Closed --"));
    // The socket is not closed here.
    scheduleReconnect(QStringLiteral("TCP ASCII -- Try to reconnect "));
}

void AsciiTcpClient::scheduleReconnect(const QString &reportLine) {
    // Not after the user's Disconnect or a mode change.
    if (f.asciiClosing || !f.cb_reconnect->isChecked())
        return;
    enableTimer(f.ti_wsioreconnect, true);
    f.writereport(reportLine);
}

void AsciiTcpClient::ti_wsioreconnectTimer() {
    enableTimer(f.ti_wsioreconnect, false); // one shot
    ++f.reconnectCount;
    f.setStatus(1, QStringLiteral("reronnect: ") + QString::number(f.reconnectCount));
    // The reconnect looks at neither the mode nor asciiClosing: a pending
    // one still runs after a mode change, and its connection stays idle.
    ws_io->setProto(QStringLiteral("tcp"));
    ws_io->setAddr(f.ed_ip->text());
    ws_io->setPort(f.ed_tcpasciiport->text());
    ws_io->Connect();
    f.bt_connect->setText(QStringLiteral("Disconnect"));
}
