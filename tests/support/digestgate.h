#pragma once
// The device side of Digest authentication (RFC 2617, MD5, qop=auth) for
// scripted HTTP servers: a fresh challenge for every 401, and the check of
// an Authorization header against the password. Computed here on its own,
// so that it checks the client's code rather than repeating it.
#include "httppeer.h"

#include <QByteArray>
#include <atomic>

class DigestGate {
public:
    DigestGate(QByteArray user, QByteArray password, QByteArray realm = "Korvo")
        : m_user(std::move(user)), m_password(std::move(password)), m_realm(std::move(realm)) {}

    // True when the request carries a valid answer to a challenge of this gate.
    bool accepts(const HttpRequest &request) const;
    // A complete 401 response with a new nonce.
    QByteArray unauthorized();
    // A complete 200 response carrying body.
    static QByteArray ok(const QByteArray &body);

private:
    QByteArray m_user, m_password, m_realm;
    std::atomic<int> m_nonces{0};
};
