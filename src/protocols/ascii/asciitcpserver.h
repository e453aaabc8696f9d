#pragma once
// Mode "TCP Server": the device connects to the tool. One connection at a
// time: while a device is connected the tool does not listen, and it listens
// again once the connection ends. Each received chunk is one reply.
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;

class AsciiTcpServer : public QObject {
    Q_OBJECT
public:
    explicit AsciiTcpServer(TForm1 &form);

    TWSocket *ws_io_serv; // the listener
    TWSocket *ws_io_cli;  // the accepted connection

    void bt_listenClick();
    void ws_io_servSessionAvailable(TWSocket *Sender, quint16 Error);
    void ws_io_cliDataAvailable(TWSocket *Sender, quint16 Error);
    void sendASCIIServer(const QString &ASCIIstring);
    void ws_io_cliSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_io_cliError(TWSocket *Sender);
    void ws_io_servSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_io_servError(TWSocket *Sender);
    void ti_ws_io_disconnectTimer();
    void lb_localportasciiserverClick();

private:
    void listen();
    TForm1 &f;
};
