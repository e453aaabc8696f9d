#include "protocols/ascii/asciitcpserver.h"

#include "app/tform1.h"
#include "core/guard.h"
#include "core/helpers.h"
#include "core/timers.h"
#include "net/twsocket.h"
#include "protocols/ascii/asciireplies.h"

AsciiTcpServer::AsciiTcpServer(TForm1 &form) : QObject(&form), f(form) {
    ws_io_serv = new TWSocket(this);
    ws_io_serv->OnSessionAvailable = [this](TWSocket *s, quint16 e) { ws_io_servSessionAvailable(s, e); };
    ws_io_serv->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_io_servSessionClosed(s, e); };
    ws_io_serv->OnError = [this](TWSocket *s) { ws_io_servError(s); };
    ws_io_cli = new TWSocket(this);
    ws_io_cli->OnSessionConnected = [](TWSocket *, quint16) {}; // an adopted connection never fires it
    ws_io_cli->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_io_cliDataAvailable(s, e); };
    ws_io_cli->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_io_cliSessionClosed(s, e); };
    ws_io_cli->OnError = [this](TWSocket *s) { ws_io_cliError(s); };
    f.registerSocket(QStringLiteral("ws_io_cli"), ws_io_cli);
    f.registerSocket(QStringLiteral("ws_io_serv"), ws_io_serv);
    f.onClick(f.bt_listen, [this] { bt_listenClick(); });
    f.onTimer(f.ti_ws_io_disconnect, [this] { ti_ws_io_disconnectTimer(); });
    connect(f.lb_localportasciiserver, &ClickLabel::clicked, this,
            [this] { guard([this] { lb_localportasciiserverClick(); }); });
}

void AsciiTcpServer::listen() {
    ws_io_serv->setAddr(QStringLiteral("0.0.0.0"));
    ws_io_serv->setPort(f.ed_localserverport->text());
    ws_io_serv->setProto(QStringLiteral("tcp"));
    ws_io_serv->Listen();
}

void AsciiTcpServer::bt_listenClick() {
    // Closing a standing connection first makes its closed handler listen
    // again; the close of the listener that follows ends that listening.
    if (f.bt_listen->text() != QLatin1String("Listen")) {
        ws_io_cli->Close();
        ws_io_serv->Close();
        f.bt_listen->setText(QStringLiteral("Listen"));
        f.writereport(QStringLiteral("ASCII Server - Listening Stoped"));
        return;
    }
    ws_io_cli->Close();
    ws_io_serv->Close();
    f.bt_listen->setText(QStringLiteral("Stop Listen"));
    listen();
    f.writereport(QStringLiteral("ASCII Server - Listen on Port ") + f.ed_localserverport->text());
}

void AsciiTcpServer::ws_io_servSessionAvailable(TWSocket *, quint16) {
    ws_io_cli->Dup(ws_io_serv->Accept());
    f.setStatus(0, QStringLiteral("Port ") + ws_io_cli->Port() + QStringLiteral("Connection acepted"));
    f.writereport(QStringLiteral("ASCII Server - Port ") + ws_io_cli->Port() +
                  QStringLiteral("Connection acepted"));
    if (f.cb_disconnectserver->isChecked()) {
        armDelay(f.ti_ws_io_disconnect, strToInt(f.ed_disconnectservertime->text())); // 0: none
    }
    ws_io_serv->Close(); // one connection at a time
}

void AsciiTcpServer::ws_io_cliDataAvailable(TWSocket *, quint16) {
    // No buffer across pieces here: each received piece is taken as it came,
    // cut only at the NULs inside it.
    if (f.currentMode == modeTcpServer)
        f.asciiReplies->takePiece(ws_io_cli->ReceiveStr());
}

void AsciiTcpServer::sendASCIIServer(const QString &ASCIIstring) {
    if (ws_io_cli->State() != wsConnected)
        return;
    f.writereport(QStringLiteral("ASCII Server -> ") + ASCIIstring);
    ws_io_cli->SendStr(ASCIIstring);
}

void AsciiTcpServer::ws_io_cliSessionClosed(TWSocket *, quint16) {
    ws_io_cli->Close();
    ws_io_serv->Close();
    listen();
    f.writereport(QStringLiteral("ASCII Server - Connection closed"));
    f.setStatus(0, QStringLiteral("Port ") + ws_io_cli->Port() + QStringLiteral(" closed"));
}

void AsciiTcpServer::ws_io_cliError(TWSocket *) {
    f.showErrorHighlight();
    f.bt_listen->setEnabled(false);
    ws_io_cli->Close();
    ws_io_serv->Close();
    listen();
    f.writereport(QStringLiteral("ASCII Server - Connection ERROR"));
    f.setStatus(0, QStringLiteral("Port ") + ws_io_cli->Port() + QStringLiteral(" # ERROR"));
}

void AsciiTcpServer::ws_io_servSessionClosed(TWSocket *, quint16) {
    ws_io_serv->Close();
    f.writereport(QStringLiteral("ASCII Server - Server Connection closed"));
}

void AsciiTcpServer::ws_io_servError(TWSocket *) {
    f.showErrorHighlight();
    ws_io_serv->Close();
    f.writereport(QStringLiteral("ASCII Server - Server Connection ERROR"));
}

void AsciiTcpServer::ti_ws_io_disconnectTimer() {
    enableTimer(f.ti_ws_io_disconnect, false); // one shot
    ws_io_cli->Close();                        // its closed handler listens again
    f.writereport(QStringLiteral("ASCII Server - closed by Timout"));
}

void AsciiTcpServer::lb_localportasciiserverClick() {
    // Shows the socket states of the binary server, in its mode only.
    if (f.currentMode != modeBinaryServer)
        return;
    auto stateOf = [this](const char *name) {
        TWSocket *s = f.socket(QLatin1String(name));
        return socketStateName(s ? s->State() : wsClosed);
    };
    dialogs().showMessage(QStringLiteral("State ServerSocket = ") + stateOf("ws_io_serv_bin") +
                          QStringLiteral("\r\nState ClientSocket = ") + stateOf("ws_io_cli_bin"));
}
