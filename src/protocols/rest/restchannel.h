#pragma once
// Mode "REST": every command is one blocking request to the device's JSON
// interface, made on a client of its own and authenticated as "admin" with
// the password field. The device answers the first attempt with 401 and a
// Digest challenge, which a second attempt on the same client answers.
//
// The request holds the window for its whole length (bounded by the client
// to 3 s for connecting and 10 s in all) and runs no nested event loop: no
// timer or click is served meanwhile, so polling never overlaps itself, and
// a click on Stop made during a request takes effect once it returns.
#include "net/tidhttp.h"

#include <QObject>
#include <QString>

class TForm1;

class RestChannel : public QObject {
    Q_OBJECT
public:
    explicit RestChannel(TForm1 &form);

    void bt_reststartClick();
    // restmethod "GET" or "POST"; restcommand the path; restparam the one
    // parameter line of a POST, or empty.
    void sendRest(const QString &restmethod, const QString &restcommand, const QString &restparam);
    // Reports a 200 reply's body, stores what it carries and refreshes the display.
    void resttoiostate(const QString &receivestring, const QString &restmethod);

    // The limits each request's client gets; a test shortens them to try a
    // silent device without waiting the full ten seconds.
    int connectTimeoutMs = TIdHTTP::defaultConnectTimeoutMs;
    int totalTimeoutMs = TIdHTTP::defaultTotalTimeoutMs;

private:
    TForm1 &f;
};
