#pragma once
// Two maintenance commands, each on a short TCP connection of its own and
// independent of the active channel (the mode switch does not close them):
// "Reset" sends the password and a NUL to the device's reset port 8888;
// "Set Time" sends a "/settime" request to the web server (mode "HTTP") or
// the ASCII port (mode "TCP Client ").
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;

class Maintenance : public QObject {
    Q_OBJECT
public:
    explicit Maintenance(TForm1 &form);

    TWSocket *ws_reset;
    TWSocket *ws_settime;

    void bt_resetClick();
    void ws_resetSessionConnected(TWSocket *Sender, quint16 Error);
    void ws_resetDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_resetSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_resetError(TWSocket *Sender);

    void bt_settimeClick();
    void ws_settimeSessionConnected(TWSocket *Sender, quint16 ErrCode);
    void ws_settimeDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_settimeSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_settimeError(TWSocket *Sender);

private:
    TForm1 &f;
};
