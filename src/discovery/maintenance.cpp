#include "discovery/maintenance.h"

#include "core/helpers.h"
#include "app/tform1.h"
#include "net/twsocket.h"
#include "protocols/ascii/asciicodec.h"

#include <QDateTime>

Maintenance::Maintenance(TForm1 &form) : QObject(&form), f(form) {
    ws_reset = new TWSocket(this);
    ws_reset->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_resetSessionConnected(s, e); };
    ws_reset->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_resetDataAvailable(s, e); };
    ws_reset->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_resetSessionClosed(s, e); };
    ws_reset->OnError = [this](TWSocket *s) { ws_resetError(s); };
    ws_settime = new TWSocket(this);
    ws_settime->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_settimeSessionConnected(s, e); };
    ws_settime->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_settimeDataAvailable(s, e); };
    ws_settime->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_settimeSessionClosed(s, e); };
    ws_settime->OnError = [this](TWSocket *s) { ws_settimeError(s); };
    f.onClick(f.bt_reset, [this] { bt_resetClick(); });
    f.onClick(f.bt_settime, [this] { bt_settimeClick(); });
}

// ---- reset --------------------------------------------------------------------

void Maintenance::bt_resetClick() {
    ws_reset->setAddr(f.ed_ip->text());
    ws_reset->setProto(QStringLiteral("tcp"));
    ws_reset->setPort(QStringLiteral("8888"));
    f.setStatus(0, QStringLiteral("Open Port 8888 for Reset"));
    f.writereport(QStringLiteral("# Open Port 8888 for Reset"));
    ws_reset->Connect();
}

void Maintenance::ws_resetSessionConnected(TWSocket *, quint16) {
    // The code is not examined: after a refused attempt the send below finds
    // no connection and the session closes with its code.
    f.setStatus(0, QStringLiteral("Open Port 8888 for Reset"));
    f.writereport(QStringLiteral("# Port 8888 connected for Reset"));
    if (f.ed_password->text().isEmpty())
        return; // the connection stays open until the device closes it
    // The reset message: the password, one byte per character, and a NUL.
    // After a refused attempt the send finds no connection and the session
    // closes inside it: the status panel then keeps the closed text, since
    // nothing was sent.
    const bool sent = ws_reset->SendStr(f.ed_password->text() + QChar(0)) >= 0;
    if (sent)
        f.setStatus(0, QStringLiteral("send Password for Reset"));
    f.writereport(QStringLiteral("# send Password for Reset"));
}

void Maintenance::ws_resetDataAvailable(TWSocket *, quint16) { ws_reset->ReceiveStr(); }

void Maintenance::ws_resetSessionClosed(TWSocket *, quint16 Error) {
    ws_reset->Close();
    const QString text = QStringLiteral("Port 8888 closed (%1)").arg(Error);
    f.setStatus(0, text);
    f.writereport(QStringLiteral("# ") + text);
}

void Maintenance::ws_resetError(TWSocket *) {
    f.showErrorHighlight();
    ws_reset->Close();
    f.setStatus(0, QStringLiteral("Port 8888 closed (Error)"));
    f.writereport(QStringLiteral("# Port 8888 closed (Error)"));
}

// ---- clock ----------------------------------------------------------------------

void Maintenance::bt_settimeClick() {
    ws_settime->setAddr(f.ed_ip->text());
    if (f.currentMode == modeHttp)
        ws_settime->setPort(f.ed_httpport->text());
    else if (f.currentMode == modeTcpClient)
        ws_settime->setPort(f.ed_tcpasciiport->text());
    ws_settime->Connect();
}

void Maintenance::ws_settimeSessionConnected(TWSocket *, quint16) {
    const QString now = deviceTimeText(QDateTime::currentDateTime());
    if (!f.cb_setedittime->isChecked())
        f.ed_settime->setText(now);
    const QString pw = f.ed_password->text();
    const QString time = f.ed_settime->text();
    QString request;
    if (f.currentMode == modeHttp) {
        const QString line = QStringLiteral("GET /settime?PW=") + pw + QStringLiteral("&time=") + time +
                             QStringLiteral("& HTTP/1.1");
        const QString host = QStringLiteral("Host: ") + f.ed_ip->text();
        request = line + QStringLiteral("\r\n") + host + QStringLiteral("\r\n\r\n");
        f.writereport(QStringLiteral("HTTP -> ") + line + QStringLiteral("\r\nHTTP -> ") + host +
                      QStringLiteral("\r\n\r\n"));
    } else if (f.currentMode == modeTcpClient) {
        request = ascii::setClock(pw, time);
        f.writereport(QStringLiteral("TCP ASCII -> ") + request.chopped(2));
    }
    if (!request.isEmpty())
        ws_settime->SendStr(request);
}

void Maintenance::ws_settimeDataAvailable(TWSocket *, quint16) {
    const QString text = ws_settime->ReceiveStr();
    if (text.isEmpty())
        return;
    // The device's answer is shown with the send prefixes of the mode.
    if (f.currentMode == modeHttp)
        f.writereport(QStringLiteral("HTTP -> ") + text);
    else if (f.currentMode == modeTcpClient)
        f.writereport(QStringLiteral("TCP ASCII -> ") + text);
}

void Maintenance::ws_settimeSessionClosed(TWSocket *, quint16) { ws_settime->Close(); }

void Maintenance::ws_settimeError(TWSocket *) { ws_settime->Close(); }
