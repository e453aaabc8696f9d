#include "net/digest.h"

#include <QCryptographicHash>

QString md5HexLower(const QString &text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

namespace {

struct Param {
    QString name;
    QString value;
};

// Reads "scheme param=value, param="quoted value", ..." from one header value.
// A header may offer several schemes; a new one starts at a token that is not
// followed by "=".
QList<std::pair<QString, QList<Param>>> parseHeader(const QByteArray &header) {
    QList<std::pair<QString, QList<Param>>> schemes;
    const QString h = QString::fromLatin1(header);
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < h.size() &&
               (h[i] == QLatin1Char(' ') || h[i] == QLatin1Char('\t') || h[i] == QLatin1Char(',')))
            ++i;
    };
    auto token = [&] {
        const qsizetype start = i;
        while (i < h.size() && h[i] != QLatin1Char(' ') && h[i] != QLatin1Char('\t') &&
               h[i] != QLatin1Char('=') && h[i] != QLatin1Char(','))
            ++i;
        return h.mid(start, i - start);
    };
    while (true) {
        skipSpace();
        if (i >= h.size())
            break;
        const QString word = token();
        qsizetype j = i;
        while (j < h.size() && h[j] == QLatin1Char(' '))
            ++j;
        if (j < h.size() && h[j] == QLatin1Char('=') && !schemes.isEmpty()) {
            i = j + 1;
            while (i < h.size() && h[i] == QLatin1Char(' '))
                ++i;
            QString value;
            if (i < h.size() && h[i] == QLatin1Char('"')) {
                ++i;
                while (i < h.size() && h[i] != QLatin1Char('"')) {
                    if (h[i] == QLatin1Char('\\') && i + 1 < h.size())
                        ++i;
                    value += h[i++];
                }
                ++i; // closing quote
            } else {
                value = token();
            }
            schemes.last().second << Param{word.toLower(), value};
        } else {
            schemes << std::pair<QString, QList<Param>>{word.toLower(), {}};
        }
    }
    return schemes;
}

} // namespace

std::optional<AuthChallenge> chooseChallenge(const QList<QByteArray> &wwwAuthenticate) {
    std::optional<AuthChallenge> basic;
    for (const QByteArray &header : wwwAuthenticate) {
        for (const auto &[scheme, params] : parseHeader(header)) {
            AuthChallenge c;
            for (const Param &p : params) {
                if (p.name == QLatin1String("realm"))
                    c.realm = p.value;
                else if (p.name == QLatin1String("nonce"))
                    c.nonce = p.value;
                else if (p.name == QLatin1String("opaque"))
                    c.opaque = p.value;
                else if (p.name == QLatin1String("algorithm"))
                    c.algorithm = p.value;
                else if (p.name == QLatin1String("qop"))
                    for (const QString &q : p.value.split(QLatin1Char(',')))
                        c.qopAuth =
                            c.qopAuth || q.trimmed().compare(QLatin1String("auth"), Qt::CaseInsensitive) == 0;
            }
            if (scheme == QLatin1String("digest")) {
                const bool md5 = c.algorithm.isEmpty() ||
                                 c.algorithm.compare(QLatin1String("MD5"), Qt::CaseInsensitive) == 0 ||
                                 c.algorithm.compare(QLatin1String("MD5-sess"), Qt::CaseInsensitive) == 0;
                if (md5 && !c.nonce.isEmpty()) {
                    c.scheme = AuthChallenge::Digest;
                    return c;
                }
            } else if (scheme == QLatin1String("basic") && !basic) {
                c.scheme = AuthChallenge::Basic;
                basic = c;
            }
        }
    }
    return basic;
}

QString digestResponse(const QString &user, const QString &realm, const QString &password,
                       const QString &method, const QString &uri, const QString &nonce, const QString &nc,
                       const QString &cnonce, bool qopAuth, const QString &algorithm) {
    QString ha1 = md5HexLower(user + QLatin1Char(':') + realm + QLatin1Char(':') + password);
    if (algorithm.compare(QLatin1String("MD5-sess"), Qt::CaseInsensitive) == 0)
        ha1 = md5HexLower(ha1 + QLatin1Char(':') + nonce + QLatin1Char(':') + cnonce);
    const QString ha2 = md5HexLower(method + QLatin1Char(':') + uri);
    if (qopAuth)
        return md5HexLower(ha1 + QLatin1Char(':') + nonce + QLatin1Char(':') + nc + QLatin1Char(':') +
                           cnonce + QStringLiteral(":auth:") + ha2);
    return md5HexLower(ha1 + QLatin1Char(':') + nonce + QLatin1Char(':') + ha2);
}

namespace {
QString quoted(const QString &s) {
    QString q = s;
    q.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}
} // namespace

QString authorizationValue(const AuthChallenge &c, const QString &user, const QString &password,
                           const QString &method, const QString &uri, quint32 nc, const QString &cnonce) {
    if (c.scheme == AuthChallenge::Basic)
        return QStringLiteral("Basic ") +
               QString::fromLatin1((user + QLatin1Char(':') + password).toUtf8().toBase64());
    const QString ncText = QStringLiteral("%1").arg(nc, 8, 16, QLatin1Char('0'));
    QString v = QStringLiteral("Digest username=%1, realm=%2, nonce=%3, uri=%4")
                    .arg(quoted(user), quoted(c.realm), quoted(c.nonce), quoted(uri));
    if (!c.algorithm.isEmpty())
        v += QStringLiteral(", algorithm=") + c.algorithm;
    v += QStringLiteral(", response=") + quoted(digestResponse(user, c.realm, password, method, uri, c.nonce,
                                                               ncText, cnonce, c.qopAuth, c.algorithm));
    if (!c.opaque.isEmpty())
        v += QStringLiteral(", opaque=") + quoted(c.opaque);
    if (c.qopAuth)
        v += QStringLiteral(", qop=auth, nc=%1, cnonce=%2").arg(ncText, quoted(cnonce));
    return v;
}
