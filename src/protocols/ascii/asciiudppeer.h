#pragma once
// Mode "UDP Peer": commands and replies travel as datagrams. Binding the local
// port starts the exchange and sends the first command at once.
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;

class AsciiUdpPeer : public QObject {
    Q_OBJECT
public:
    explicit AsciiUdpPeer(TForm1 &form);

    TWSocket *ws_udp;

    void bt_bindClick();
    void ws_udpSessionConnected(TWSocket *Sender, quint16 Error);
    void sendUDPASCII(const QString &ASCIIstring);
    void ws_udpDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_udpSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_udpError(TWSocket *Sender);

private:
    TForm1 &f;
};
