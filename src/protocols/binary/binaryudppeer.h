#pragma once
// Mode "UDP Binary Peer": structures in datagrams between a local port and
// the device's port (45889 to 45892). Binding registers for state reports.
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;
class BinaryChannel;
class BinaryReceiver;

class BinaryUdpPeer : public QObject {
    Q_OBJECT
public:
    BinaryUdpPeer(TForm1 &form, BinaryChannel &channel);

    TWSocket *ws_udp_bin;
    BinaryReceiver *receiver;

    void bt_bindbinClick();
    void ws_udp_binSessionConnected(TWSocket *Sender, quint16 Error);
    void ws_udp_binDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_udp_binSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_udp_binError(TWSocket *Sender);

private:
    TForm1 &f;
    BinaryChannel &ch;
};
