#include "digestgate.h"

#include <QCryptographicHash>
#include <QMap>

namespace {

QByteArray md5(const QByteArray &text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// The name=value pairs of a Digest header value (values quoted or not).
QMap<QByteArray, QByteArray> digestParams(const QByteArray &value) {
    QMap<QByteArray, QByteArray> params;
    qsizetype i = 0;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == ','))
            ++i;
        const qsizetype eq = value.indexOf('=', i);
        if (eq < 0)
            break;
        const QByteArray name = value.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        QByteArray v;
        if (i < value.size() && value[i] == '"') {
            const qsizetype close = value.indexOf('"', i + 1);
            v = value.mid(i + 1, (close < 0 ? value.size() : close) - i - 1);
            i = close < 0 ? value.size() : close + 1;
        } else {
            const qsizetype comma = value.indexOf(',', i);
            v = value.mid(i, (comma < 0 ? value.size() : comma) - i).trimmed();
            i = comma < 0 ? value.size() : comma;
        }
        params[name] = v;
    }
    return params;
}

} // namespace

bool DigestGate::accepts(const HttpRequest &request) const {
    const QByteArray auth = request.header("Authorization");
    if (!auth.startsWith("Digest "))
        return false;
    const auto p = digestParams(auth.mid(7));
    if (p.value("username") != m_user || p.value("realm") != m_realm || p.value("qop") != "auth" ||
        !p.value("nonce").startsWith("nonce"))
        return false;
    const QByteArray requestLine = request.requestLine();
    const QByteArray method = requestLine.left(requestLine.indexOf(' '));
    const QByteArray ha1 = md5(m_user + ':' + m_realm + ':' + m_password);
    const QByteArray ha2 = md5(method + ':' + p.value("uri"));
    const QByteArray expected =
        md5(ha1 + ':' + p.value("nonce") + ':' + p.value("nc") + ':' + p.value("cnonce") + ":auth:" + ha2);
    return p.value("response") == expected;
}

QByteArray DigestGate::unauthorized() {
    const QByteArray body = "<html>401 Unauthorized</html>";
    return "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"" + m_realm +
           "\", qop=\"auth\", nonce=\"nonce" + QByteArray::number(++m_nonces) +
           "\", algorithm=MD5\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray DigestGate::ok(const QByteArray &body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}
