#pragma once
// Mode "TCP Binary Server": the device connects to the tool. One connection
// at a time: accepting one stops the listening, and the tool listens again
// once it ends. A connection ends by the device, by an error, by the
// automatic disconnect, or by the watchdog 3000 ms after its last data.
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;
class BinaryChannel;
class BinaryReceiver;

class BinaryTcpServer : public QObject {
    Q_OBJECT
public:
    BinaryTcpServer(TForm1 &form, BinaryChannel &channel);

    TWSocket *ws_io_serv_bin; // the listener
    TWSocket *ws_io_cli_bin;  // the accepted connection
    BinaryReceiver *receiver;

    void bt_listenbinClick();
    void ws_io_serv_binSessionAvailable(TWSocket *Sender, quint16 Error);
    void ws_io_serv_binSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_io_serv_binError(TWSocket *Sender);
    void ws_io_cli_binDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_io_cli_binSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_io_cli_binError(TWSocket *Sender);
    void ti_ws_io_disconnectbinTimer();
    void ti_server_wdTimer();

private:
    void listen();
    void connectionEnded();
    TForm1 &f;
};
