#pragma once
// Mode "HTTP": every command is one GET request for a command URL of the
// device's web server, written by hand on one of eleven sockets used in turn,
// so that up to eleven requests can be under way at once. Each response is
// reported chunk by chunk, and its state line goes to the ASCII reply parser.
#include "protocols/http/httpcodec.h"

#include <QObject>
#include <QString>
#include <array>

class TForm1;
class TWSocket;

class HttpChannel : public QObject {
    Q_OBJECT
public:
    explicit HttpChannel(TForm1 &form);

    // Creates the eleven sockets of TForm1::httpSockets with Port "80", Proto
    // "tcp" and the handlers below (a step of the window's start-up).
    void createSockets();
    // Closes the eleven sockets, 0 to 10, forgetting any response text they
    // were still waiting on (the mode switch).
    void closeSockets();

    void bt_httpstartClick();
    // Sends the path stored at TForm1::httpRequestPaths[httpSlot] on the
    // socket of that slot and advances the slot; nothing while not running.
    void sendHTTP();
    void http_connect(TWSocket *Sender, quint16 Error);
    void http_receive(TWSocket *Sender, quint16 Error);
    void http_cosed(TWSocket *Sender, quint16 Error);
    void http_error(TWSocket *Sender);

    // The response text of a slot after its last LF, not yet read.
    const http::StateLineScanner &scanner(int slot) const { return m_scanners[slot]; }

private:
    int slotOf(const TWSocket *socket) const;
    void parseStateLine(const QString &line);

    TForm1 &f;
    std::array<http::StateLineScanner, 11> m_scanners;
};
