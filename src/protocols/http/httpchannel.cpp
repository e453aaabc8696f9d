#include "protocols/http/httpchannel.h"

#include "app/tform1.h"
#include "net/twsocket.h"
#include "protocols/ascii/asciireplies.h"

HttpChannel::HttpChannel(TForm1 &form) : QObject(&form), f(form) {
    f.onClick(f.bt_httpstart, [this] { bt_httpstartClick(); });
}

void HttpChannel::createSockets() {
    for (TWSocket *&socket : f.httpSockets) {
        socket = new TWSocket(this);
        socket->setPort(QStringLiteral("80"));
        socket->setProto(QStringLiteral("tcp"));
        socket->OnSessionConnected = [this](TWSocket *s, quint16 e) { http_connect(s, e); };
        socket->OnDataAvailable = [this](TWSocket *s, quint16 e) { http_receive(s, e); };
        socket->OnSessionClosed = [this](TWSocket *s, quint16 e) { http_cosed(s, e); };
        socket->OnError = [this](TWSocket *s) { http_error(s); };
    }
}

void HttpChannel::closeSockets() {
    for (size_t i = 0; i < f.httpSockets.size(); ++i) {
        m_scanners[i].clear();
        if (f.httpSockets[i])
            f.httpSockets[i]->Close();
    }
}

int HttpChannel::slotOf(const TWSocket *socket) const {
    for (size_t i = 0; i < f.httpSockets.size(); ++i)
        if (f.httpSockets[i] == socket)
            return int(i);
    return -1;
}

void HttpChannel::bt_httpstartClick() {
    if (f.bt_httpstart->text() != QLatin1String("Start")) {
        // Requests already under way run to their end.
        f.bt_httpstart->setText(QStringLiteral("Start"));
        f.httpRunning = false;
        return;
    }
    f.clearReport();
    f.bt_httpstart->setText(QStringLiteral("Stop"));
    if (f.currentMode != modeHttp)
        return;
    f.httpRunning = true;
    // Devices without the all-outputs command are asked for their inputs.
    const QString pw = f.ed_password->text();
    f.httpRequestPaths[f.httpSlot] = f.legacyDevice ? http::readInputs(pw) : http::readAll(pw);
    sendHTTP();
}

void HttpChannel::sendHTTP() {
    if (!f.httpRunning)
        return;
    const int slot = f.httpSlot;
    TWSocket *socket = f.httpSockets[slot];
    // A request still under way on this socket is abandoned, and so is the
    // rest of its response.
    m_scanners[slot].clear();
    socket->Close();
    socket->setAddr(f.ed_ip->text());
    socket->setPort(f.ed_httpport->text());
    socket->setProto(QStringLiteral("tcp"));
    socket->Connect();
    f.httpSlot = slot + 1 > 10 ? 0 : slot + 1;
}

void HttpChannel::http_connect(TWSocket *Sender, quint16) {
    // The path of this socket's own slot: httpSlot has moved on meanwhile.
    const int slot = slotOf(Sender);
    if (slot < 0)
        return;
    const QString path = f.httpRequestPaths[slot];
    // After a failed attempt the send finds no connection and the session
    // closes inside it; the request is reported all the same.
    Sender->SendStr(http::requestText(path, f.ed_ip->text()));
    f.writereport(http::requestReport(path, f.ed_ip->text()));
}

void HttpChannel::http_receive(TWSocket *Sender, quint16) {
    const QString text = Sender->ReceiveStr();
    if (text.isEmpty())
        return;
    for (const QString &line : http::receiveReport(text))
        f.writereport(line);
    const int slot = slotOf(Sender);
    if (slot < 0)
        return;
    if (const auto line = m_scanners[slot].feed(text))
        parseStateLine(*line);
}

void HttpChannel::http_cosed(TWSocket *Sender, quint16 Error) {
    // A device that ends its response by closing, without a final LF, leaves
    // its last line waiting: read it now. The tool's own closes forget the
    // waiting text first, and a reset connection leaves only a broken line.
    const int slot = slotOf(Sender);
    if (slot >= 0) {
        const auto line = Error == 0 ? m_scanners[slot].finish() : std::nullopt;
        m_scanners[slot].clear();
        if (line)
            parseStateLine(*line);
    }
    Sender->Close();
}

void HttpChannel::http_error(TWSocket *Sender) {
    f.showErrorHighlight();
    const int slot = slotOf(Sender);
    if (slot >= 0)
        m_scanners[slot].clear();
    Sender->Close();
}

void HttpChannel::parseStateLine(const QString &line) {
    // The line normally ends in CR, which the parser removes; in HTTP mode it
    // writes no report line of its own.
    f.asciiReplies->ASCIIreplytoIOState(line);
}
