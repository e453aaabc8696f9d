#pragma once
// HTTP authentication answers: Basic and Digest (RFC 2617, MD5).
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct AuthChallenge {
    enum Scheme { Basic, Digest } scheme = Basic;
    QString realm;
    QString nonce;
    QString opaque;
    QString algorithm;    // empty, "MD5" or "MD5-sess"
    bool qopAuth = false; // the server offers qop "auth"
};

// The lower-case hexadecimal MD5 digest of text (as UTF-8).
QString md5HexLower(const QString &text);

// Picks the challenge the client answers from the WWW-Authenticate header
// values of a 401 response: Digest with MD5 (or MD5-sess) first, Basic
// otherwise; nothing when no supported scheme is offered.
std::optional<AuthChallenge> chooseChallenge(const QList<QByteArray> &wwwAuthenticate);

// The Digest request-digest ("response") of RFC 2617, section 3.2.2.1.
QString digestResponse(const QString &user, const QString &realm, const QString &password,
                       const QString &method, const QString &uri, const QString &nonce, const QString &nc,
                       const QString &cnonce, bool qopAuth, const QString &algorithm = QString());

// The value of the Authorization header for challenge c.
QString authorizationValue(const AuthChallenge &c, const QString &user, const QString &password,
                           const QString &method, const QString &uri, quint32 nc, const QString &cnonce);
