#include "net/digest.h"

#include <QCryptographicHash>

QString md5HexLower(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

namespace {

struct Param {
    QByteArray name; // lower case
    QByteArray value;
};

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Reads "scheme param=value, param="quoted value", ..." from one header value,
// byte for byte. A header may offer several schemes; a new one starts at a
// token that is not followed by "=".
QList<std::pair<QByteArray, QList<Param>>> parseHeader(const QByteArray &h) {
    QList<std::pair<QByteArray, QList<Param>>> schemes;
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < h.size() && (isSpace(h[i]) || h[i] == ','))
            ++i;
    };
    auto token = [&] {
        const qsizetype start = i;
        while (i < h.size() && !isSpace(h[i]) && h[i] != '=' && h[i] != ',')
            ++i;
        return h.mid(start, i - start);
    };
    while (true) {
        skipSpace();
        if (i >= h.size())
            break;
        const QByteArray word = token();
        qsizetype j = i;
        while (j < h.size() && isSpace(h[j]))
            ++j;
        if (j < h.size() && h[j] == '=' && !schemes.isEmpty()) {
            i = j + 1;
            while (i < h.size() && isSpace(h[i]))
                ++i;
            QByteArray value;
            if (i < h.size() && h[i] == '"') {
                ++i;
                while (i < h.size() && h[i] != '"') {
                    if (h[i] == '\\' && i + 1 < h.size())
                        ++i;
                    value += h[i++];
                }
                ++i; // closing quote
            } else {
                value = token();
            }
            schemes.last().second << Param{word.toLower(), value};
        } else {
            schemes << std::pair<QByteArray, QList<Param>>{word.toLower(), {}};
        }
    }
    return schemes;
}

bool sameWord(const QByteArray &a, const char *b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

std::optional<AuthChallenge> chooseChallenge(const QList<QByteArray> &wwwAuthenticate) {
    std::optional<AuthChallenge> basic;
    for (const QByteArray &header : wwwAuthenticate) {
        for (const auto &[scheme, params] : parseHeader(header)) {
            AuthChallenge c;
            for (const Param &p : params) {
                if (p.name == "realm")
                    c.realm = p.value;
                else if (p.name == "nonce")
                    c.nonce = p.value;
                else if (p.name == "opaque")
                    c.opaque = p.value;
                else if (p.name == "algorithm")
                    c.algorithm = p.value;
                else if (p.name == "stale")
                    c.stale = sameWord(p.value, "true");
                else if (p.name == "qop")
                    for (const QByteArray &q : p.value.split(','))
                        c.qopAuth = c.qopAuth || sameWord(q.trimmed(), "auth");
            }
            if (scheme == "digest") {
                const bool md5 = c.algorithm.isEmpty() || sameWord(c.algorithm, "MD5") ||
                                 sameWord(c.algorithm, "MD5-sess");
                if (md5 && !c.nonce.isEmpty()) {
                    c.scheme = AuthChallenge::Digest;
                    return c;
                }
            } else if (scheme == "basic" && !basic) {
                c.scheme = AuthChallenge::Basic;
                basic = c;
            }
        }
    }
    return basic;
}

QString digestResponse(const QByteArray &user, const QByteArray &realm, const QByteArray &password,
                       const QByteArray &method, const QByteArray &uri, const QByteArray &nonce,
                       const QByteArray &nc, const QByteArray &cnonce, bool qopAuth,
                       const QByteArray &algorithm) {
    QByteArray ha1 = md5HexLower(user + ':' + realm + ':' + password).toLatin1();
    if (sameWord(algorithm, "MD5-sess"))
        ha1 = md5HexLower(ha1 + ':' + nonce + ':' + cnonce).toLatin1();
    const QByteArray ha2 = md5HexLower(method + ':' + uri).toLatin1();
    if (qopAuth)
        return md5HexLower(ha1 + ':' + nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2);
    return md5HexLower(ha1 + ':' + nonce + ':' + ha2);
}

namespace {
QByteArray quoted(QByteArray s) {
    s.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + s + '"';
}
} // namespace

QByteArray authorizationValue(const AuthChallenge &c, const QString &user, const QString &password,
                              const QByteArray &method, const QByteArray &uri, quint32 nc,
                              const QByteArray &cnonce) {
    const QByteArray u = user.toUtf8();
    const QByteArray pw = password.toUtf8();
    if (c.scheme == AuthChallenge::Basic)
        return "Basic " + (u + ':' + pw).toBase64();
    const QByteArray ncText = QByteArray::number(nc, 16).rightJustified(8, '0');
    QByteArray v = "Digest username=" + quoted(u) + ", realm=" + quoted(c.realm) +
                   ", nonce=" + quoted(c.nonce) + ", uri=" + quoted(uri);
    if (!c.algorithm.isEmpty())
        v += ", algorithm=" + c.algorithm;
    v += ", response=" +
         quoted(digestResponse(u, c.realm, pw, method, uri, c.nonce, ncText, cnonce, c.qopAuth, c.algorithm)
                    .toLatin1());
    if (!c.opaque.isEmpty())
        v += ", opaque=" + quoted(c.opaque);
    if (c.qopAuth)
        v += ", qop=auth, nc=" + ncText + ", cnonce=" + quoted(cnonce);
    return v;
}
