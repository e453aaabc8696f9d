#pragma once
// Mode "TCP Binary Client": the tool connects to the device's binary port
// (49153 to 49156), registers for state reports when the session starts, and
// reconnects every 2000 ms after a lost connection while "Reconnect" is ticked.
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;
class BinaryChannel;
class BinaryReceiver;

class BinaryTcpClient : public QObject {
    Q_OBJECT
public:
    BinaryTcpClient(TForm1 &form, BinaryChannel &channel);

    TWSocket *ws_io_binary;
    BinaryReceiver *receiver;

    void bt_connect_binClick();
    void ws_io_binarySessionConnected(TWSocket *Sender, quint16 Error);
    void ws_io_binaryDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_io_binarySessionClosed(TWSocket *Sender, quint16 Error);
    void ws_io_binaryError(TWSocket *Sender);
    void ti_wsioreconnectbinTimer();

private:
    void connectionEnded(const QString &reportLine);
    TForm1 &f;
    BinaryChannel &ch;
};
