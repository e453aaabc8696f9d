#pragma once
// The device's JSON REST interface under "/rest/json", behind Digest
// authentication (RFC 2617, MD5, qop=auth) for the user "admin" and the
// device password. Every request without a valid answer to a challenge gets
// 401 with a fresh challenge (a new nonce), so a client always makes two
// requests: one to draw the challenge, one that answers it.
//
// The JSON is laid out one key per line, lines ended by CR LF:
//   GET  /rest/json                   {"iostate": {input, output, counter}}
//   GET  /rest/json/iostate           the same
//   GET  /rest/json/iostate/input     {"input": [...]}   (output, counter alike)
//   GET  /rest/json/iostate/counter/N {"counter": [entry N]}
//   POST /rest/json/iostate/counterclear/N         clears, then as above
//   POST /rest/json/iostate/output/N  Set=ON|OFF|TOGGLE, then {"output": [entry N]}
// Each list holds entries {"number": i, "state": value}; an input or
// output state is 0 or 1, a counter state its count.
#include "webservice.h"

#include <QByteArray>
#include <QList>

namespace sim {

class DeviceModel;

class RestService {
public:
    static constexpr const char *realm = "KORVO";
    static constexpr const char *user = "admin";

    explicit RestService(DeviceModel &model) : m_model(model) {}

    // The reply to a request under "/rest/json".
    WebReply handle(const WebRequest &request);

    // True when the Authorization header answers one of our challenges.
    bool authorized(const WebRequest &request) const;
    // The 401 reply, with a nonce never handed out before.
    WebReply challenge();

    // The JSON texts.
    QByteArray tree() const;
    QByteArray list(const QByteArray &word, int first = 0, int count = -1) const;

private:
    QByteArray entries(const QByteArray &word, int first, int count, int indent) const;
    int channels(const QByteArray &word) const;
    quint32 value(const QByteArray &word, int i) const;

    DeviceModel &m_model;
    QList<QByteArray> m_nonces; // the latest challenges, newest last
    quint64 m_issued = 0;
};

// Adds the prefix "/rest/json" to routes, served by a RestService of its own.
void addRestPages(WebRoutes &routes, DeviceModel &model);

} // namespace sim
