#pragma once
// HTTP authentication answers: Basic and Digest (RFC 2617, MD5).
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The values of a challenge are kept as the bytes the server sent: they are
// hashed and echoed byte for byte, so a realm such as "Ger\xe4t" (Latin-1, as
// Apache sends what its configuration holds) is answered as the server
// expects, whatever its encoding.
struct AuthChallenge {
    enum Scheme { Basic, Digest } scheme = Basic;
    QByteArray realm;
    QByteArray nonce;
    QByteArray opaque;
    QByteArray algorithm; // empty, "MD5" or "MD5-sess"
    bool qopAuth = false; // the server offers qop "auth"
    bool stale = false;   // the server rejected only the nonce, not the password
};

// The lower-case hexadecimal MD5 digest of bytes.
QString md5HexLower(const QByteArray &bytes);

// Picks the challenge the client answers from the WWW-Authenticate header
// values of a 401 response: Digest with MD5 (or MD5-sess) first, Basic
// otherwise; nothing when no supported scheme is offered.
std::optional<AuthChallenge> chooseChallenge(const QList<QByteArray> &wwwAuthenticate);

// The Digest request-digest ("response") of RFC 2617, section 3.2.2.1, over
// the bytes given (user name and password in UTF-8, the rest as received).
QString digestResponse(const QByteArray &user, const QByteArray &realm, const QByteArray &password,
                       const QByteArray &method, const QByteArray &uri, const QByteArray &nonce,
                       const QByteArray &nc, const QByteArray &cnonce, bool qopAuth,
                       const QByteArray &algorithm = QByteArray());

// The value of the Authorization header for challenge c; user name and
// password are sent in UTF-8.
QByteArray authorizationValue(const AuthChallenge &c, const QString &user, const QString &password,
                              const QByteArray &method, const QByteArray &uri, quint32 nc,
                              const QByteArray &cnonce);
