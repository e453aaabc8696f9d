#pragma once
// TIdHTTP: a blocking HTTP/1.1 client for the REST channel and the unknown-
// device look-up.
//
// A call sends one request and returns the body only when the exchange is
// over. It runs on the calling (UI) thread and never spins the event loop, so
// no timer, socket event or repaint runs meanwhile; libcurl's easy interface
// does the transport, bounded to connectTimeoutMs for the connection and
// totalTimeoutMs for the whole exchange.
//
// Authentication: the first request goes without credentials. A 401 to it
// with a Digest (MD5) or Basic challenge and a non-blank Password returns
// normally with ResponseCode 401 and keeps the challenge; the next request on
// the same client answers it. A 401 to a request that carried credentials
// throws (the password is wrong), unless the challenge says stale=true, which
// returns normally with the new nonce kept. Any other status of 400 or above
// throws a protocol error whose message is the status line. A body above
// maxBodyBytes ends the request with a protocol error.
#include "core/errors.h"
#include "net/digest.h"

#include <QString>
#include <QStringList>
#include <optional>

// Errors of the client. kind() names the failure for the report line
// "kind : message".
class EHttpError : public KError {
public:
    using KError::KError;
};

class TIdHTTP {
public:
    TIdHTTP();
    ~TIdHTTP();
    TIdHTTP(const TIdHTTP &) = delete;
    TIdHTTP &operator=(const TIdHTTP &) = delete;

    QString UserName;
    QString Password;
    int ResponseCode = -1;

    static constexpr qsizetype maxBodyBytes = 16 * 1024 * 1024;

    static constexpr int defaultConnectTimeoutMs = 3000;
    static constexpr int defaultTotalTimeoutMs = 10000;
    int connectTimeoutMs = defaultConnectTimeoutMs;
    int totalTimeoutMs = defaultTotalTimeoutMs;

    QString Get(const QString &url);
    // lines: "name=value" parameters, form-encoded and joined with "&";
    // nullptr sends an empty body with the form content type.
    QString Post(const QString &url, const QStringList *lines = nullptr);

    // The form-encoded body for lines.
    static QByteArray formBody(const QStringList &lines);

private:
    QString request(const char *method, const QString &url, const QByteArray *body);

    std::optional<AuthChallenge> m_challenge;
    quint32 m_nc = 0;
};
