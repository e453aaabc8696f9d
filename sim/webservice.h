#pragma once
// The device's web server: HTTP/1.1, one request per connection (every
// response says "Connection: close" and the device closes after it).
//
// Pages are routes: a handler per path (the part of the target before "?"),
// or per path prefix for a tree such as a REST interface. Protocols add their
// pages to the one WebRoutes of the simulator.
#include "session.h"

#include <QString>
#include <optional>

namespace sim {

class DeviceModel;

struct WebRequest {
    QByteArray method;                                // "GET", "POST", ...
    QByteArray target;                                // as sent: path and query
    QByteArray path;                                  // target up to "?"
    QByteArray query;                                 // target after "?" (without it)
    QList<std::pair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;

    std::optional<QByteArray> header(const QByteArray &name) const;
    // The value of key in the query ("PW=x&State=1&"), not decoded.
    std::optional<QByteArray> queryValue(const QByteArray &key) const;
};

struct WebReply {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray contentType = "text/plain";
    QList<std::pair<QByteArray, QByteArray>> headers; // extra headers
    QByteArray body;

    static WebReply text(const QByteArray &body, int status = 200, const QByteArray &reason = "OK");
    QByteArray toBytes() const;
};

class WebRoutes {
public:
    using Handler = std::function<WebReply(const WebRequest &)>;
    // A page at exactly path (any method unless method is given).
    void add(const QByteArray &path, Handler handler, const QByteArray &method = {});
    // Every path that starts with prefix; the longest matching prefix wins
    // over shorter ones, an exact page over any prefix.
    void addPrefix(const QByteArray &prefix, Handler handler, const QByteArray &method = {});
    // The reply to a request: its page, or 404 "Not Found".
    WebReply dispatch(const WebRequest &request) const;

private:
    struct Route {
        QByteArray path;
        QByteArray method;
        bool prefix;
        Handler handler;
    };
    QList<Route> m_routes;
};

// One connection to the web server.
class WebSession : public Session {
public:
    explicit WebSession(const WebRoutes &routes) : m_routes(routes) {}
    QList<QByteArray> feed(QByteArray &input) override;
    bool wantsClose() const override { return m_answered; }
    // A Content-Length one more than the body carries.
    QByteArray withWrongLength(const QByteArray &reply) const override;

    // Cuts one complete request off the front of input.
    static std::optional<WebRequest> takeRequest(QByteArray &input);

private:
    const WebRoutes &m_routes;
    bool m_answered = false;
};

// The pages every device serves: "GET /version" (with "BOOT=FAIL" in it when
// bootFail is set) and the clock command "/settime?PW=..&time=..&".
void addDevicePages(WebRoutes &routes, DeviceModel &model, const bool &bootFail);

} // namespace sim
