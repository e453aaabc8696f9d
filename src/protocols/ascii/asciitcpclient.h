#pragma once
// Mode "TCP Client ": the tool connects to the device's ASCII port, asks for
// everything at once when the session starts, and reconnects every 2000 ms
// after a lost connection while "Reconnect" is ticked.
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;

class AsciiTcpClient : public QObject {
    Q_OBJECT
public:
    explicit AsciiTcpClient(TForm1 &form);

    TWSocket *ws_io;

    void bt_connectClick();
    void ws_ioSessionConnected(TWSocket *Sender, quint16 Error);
    void sendASCII(const QString &ASCIIstring);
    void ws_ioDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_ioSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_ioError(TWSocket *Sender);
    void ti_wsioreconnectTimer();

private:
    void scheduleReconnect(const QString &reportLine);
    TForm1 &f;
};
