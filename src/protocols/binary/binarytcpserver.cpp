#include "protocols/binary/binarytcpserver.h"

#include "app/tform1.h"
#include "core/helpers.h"
#include "core/timers.h"
#include "net/twsocket.h"
#include "protocols/binary/binarychannel.h"

#include <QThread>

namespace {
constexpr int maxRead = 4096; // as the client: one read takes at most this much
} // namespace

BinaryTcpServer::BinaryTcpServer(TForm1 &form, BinaryChannel &channel) : QObject(&channel), f(form) {
    receiver = new BinaryReceiver(channel);
    ws_io_serv_bin = new TWSocket(this);
    ws_io_serv_bin->OnSessionAvailable = [this](TWSocket *s, quint16 e) {
        ws_io_serv_binSessionAvailable(s, e);
    };
    ws_io_serv_bin->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_io_serv_binSessionClosed(s, e); };
    ws_io_serv_bin->OnError = [this](TWSocket *s) { ws_io_serv_binError(s); };
    ws_io_cli_bin = new TWSocket(this);
    ws_io_cli_bin->OnSessionConnected = [](TWSocket *, quint16) {}; // an adopted connection never fires it
    ws_io_cli_bin->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_io_cli_binDataAvailable(s, e); };
    ws_io_cli_bin->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_io_cli_binSessionClosed(s, e); };
    ws_io_cli_bin->OnError = [this](TWSocket *s) { ws_io_cli_binError(s); };
    f.registerSocket(QStringLiteral("ws_io_cli_bin"), ws_io_cli_bin);
    f.registerSocket(QStringLiteral("ws_io_serv_bin"), ws_io_serv_bin);
    f.onClick(f.bt_listenbin, [this] { bt_listenbinClick(); });
    f.onTimer(f.ti_ws_io_disconnectbin, [this] { ti_ws_io_disconnectbinTimer(); });
    f.onTimer(f.ti_server_wd, [this] { ti_server_wdTimer(); });
}

void BinaryTcpServer::listen() {
    ws_io_serv_bin->setAddr(QStringLiteral("0.0.0.0"));
    ws_io_serv_bin->setPort(f.co_localserverportbin->currentText());
    ws_io_serv_bin->setProto(QStringLiteral("tcp"));
    ws_io_serv_bin->Listen();
}

void BinaryTcpServer::bt_listenbinClick() {
    if (f.bt_listenbin->text() != QLatin1String("Listen")) {
        enableTimer(f.ti_server_wd, false);
        // Closing a served connection first makes its closed handler listen
        // again (and write its lines); the close of the listener ends that.
        ws_io_cli_bin->Close();
        ws_io_serv_bin->Close();
        f.bt_listenbin->setText(QStringLiteral("Listen"));
        f.writereport(QStringLiteral("BINARY -- Server listening stoped"));
        return;
    }
    f.clearReport();
    ws_io_cli_bin->Close();
    ws_io_serv_bin->Close();
    f.bt_listenbin->setText(QStringLiteral("Stop Listen"));
    listen();
    f.writereport(QStringLiteral("BINARY -- Server - listening on Port ") +
                  f.co_localserverportbin->currentText());
}

void BinaryTcpServer::ws_io_serv_binSessionAvailable(TWSocket *, quint16) {
    ws_io_cli_bin->Dup(ws_io_serv_bin->Accept());
    receiver->clear();
    const QString port = ws_io_cli_bin->Port();
    f.setStatus(0, QStringLiteral("Port ") + port + QStringLiteral("Connection acepted"));
    f.writereport(QStringLiteral("BINARY -- Server - Port ") + port + QStringLiteral("Connection acepted"));
    if (f.cb_disconnectserverbin->isChecked())
        armDelay(f.ti_ws_io_disconnectbin, strToInt(f.ed_disconnectservertimebin->text()));
    ws_io_serv_bin->Close(); // one connection at a time
}

void BinaryTcpServer::ws_io_cli_binDataAvailable(TWSocket *, quint16) {
    const int n = ws_io_cli_bin->RcvdCount();
    if (n <= 0)
        return;
    QByteArray bytes(qMin(n, maxRead), '\0');
    const int got = ws_io_cli_bin->Receive(bytes.data(), int(bytes.size()));
    if (got <= 0)
        return;
    bytes.resize(got);
    receiver->feedStream(bytes);
    // The watchdog fires 3000 ms after the last data.
    enableTimer(f.ti_server_wd, false);
    enableTimer(f.ti_server_wd, true);
}

void BinaryTcpServer::connectionEnded() {
    // The timers belonged to the connection that ended: left running, they
    // would close the next one early, or one that stays silent from the start.
    enableTimer(f.ti_server_wd, false);
    enableTimer(f.ti_ws_io_disconnectbin, false);
    receiver->clear();
    ws_io_cli_bin->Close();
    ws_io_serv_bin->Close();
    listen();
}

void BinaryTcpServer::ws_io_cli_binSessionClosed(TWSocket *, quint16) {
    connectionEnded();
    f.writereport(QStringLiteral("BINARY -- Server - Connection closed"));
    f.writereport(QString(38, QLatin1Char('-')));
    f.setStatus(0, QStringLiteral("Port ") + ws_io_cli_bin->Port() + QStringLiteral(" closed"));
}

void BinaryTcpServer::ws_io_cli_binError(TWSocket *) {
    f.showErrorHighlight();
    f.bt_listenbin->setEnabled(false); // for the rest of the run
    connectionEnded();
    f.writereport(QStringLiteral("BINARY -- Server - Client Connection ERROR"));
    f.setStatus(0, QStringLiteral("Port ") + ws_io_cli_bin->Port() + QStringLiteral(" # ERROR"));
}

void BinaryTcpServer::ws_io_serv_binSessionClosed(TWSocket *, quint16) { ws_io_serv_bin->Close(); }

void BinaryTcpServer::ws_io_serv_binError(TWSocket *) {
    f.showErrorHighlight();
    ws_io_serv_bin->Close(); // it stays down until Stop Listen and Listen
    f.writereport(QStringLiteral("BINARY -- Server - Server Connection ERROR"));
    f.writereport(QString(40, QLatin1Char('*')));
}

void BinaryTcpServer::ti_ws_io_disconnectbinTimer() {
    enableTimer(f.ti_ws_io_disconnectbin, false); // one shot
    ws_io_cli_bin->Close();                       // its closed handler listens again
    f.writereport(QStringLiteral("BINARY -- Server - closed by Timout"));
}

void BinaryTcpServer::ti_server_wdTimer() {
    if (f.bt_listenbin->text() == QLatin1String("Stop Listen")) {
        ws_io_cli_bin->Close();
        ws_io_serv_bin->Close();
        f.writereport(QStringLiteral("BINARY -- Server restart listening"));
        // The device expects a pause before it may connect again.
        QThread::msleep(200);
        f.bt_listenbin->setText(QStringLiteral("Stop Listen"));
        listen();
    }
    enableTimer(f.ti_server_wd, false);
}
