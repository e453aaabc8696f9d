#include "restservice.h"

#include "devicemodel.h"

#include <QCryptographicHash>
#include <QMap>
#include <QRandomGenerator>
#include <memory>

namespace sim {

namespace {

// Challenges that may still be answered: a client answers the one it just
// drew, so a short memory is enough.
constexpr int keptNonces = 64;

QByteArray md5(const QByteArray &text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// The name=value pairs of a Digest Authorization value.
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
        if (i < value.size() && value[i] == '"') {
            const qsizetype close = value.indexOf('"', i + 1);
            const qsizetype end = close < 0 ? value.size() : close;
            params[name] = value.mid(i + 1, end - i - 1);
            i = end + 1;
        } else {
            const qsizetype comma = value.indexOf(',', i);
            const qsizetype end = comma < 0 ? value.size() : comma;
            params[name] = value.mid(i, end - i).trimmed();
            i = end;
        }
    }
    return params;
}

QByteArray pad(int indent) { return QByteArray(indent, ' '); }

WebReply json(const QByteArray &body) {
    WebReply r = WebReply::text(body);
    r.contentType = "application/json";
    return r;
}

// A decimal index after prefix, or -1.
int indexAfter(const QByteArray &path, const QByteArray &prefix) {
    if (!path.startsWith(prefix))
        return -1;
    const QByteArray digits = path.mid(prefix.size());
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok && n >= 0 && digits.at(0) >= '0' && digits.at(0) <= '9' ? n : -1;
}

} // namespace

bool RestService::authorized(const WebRequest &request) const {
    const QByteArray auth = request.header("authorization").value_or(QByteArray());
    if (!auth.startsWith("Digest "))
        return false;
    const auto p = digestParams(auth.mid(7));
    const QByteArray nonce = p.value("nonce");
    if (p.value("username") != user || p.value("realm") != realm || !m_nonces.contains(nonce))
        return false;
    const QByteArray ha1 = md5(QByteArray(user) + ':' + realm + ':' + m_model.password().toUtf8());
    const QByteArray ha2 = md5(request.method + ':' + p.value("uri"));
    QByteArray expected;
    if (p.value("qop") == "auth")
        expected = md5(ha1 + ':' + nonce + ':' + p.value("nc") + ':' + p.value("cnonce") + ":auth:" + ha2);
    else
        return false; // the device offers qop=auth only
    return p.value("response") == expected && p.value("uri") == request.target;
}

WebReply RestService::challenge() {
    const QByteArray nonce =
        QByteArray::number(QRandomGenerator::global()->generate64(), 16) + QByteArray::number(++m_issued, 16);
    m_nonces.append(nonce);
    while (m_nonces.size() > keptNonces)
        m_nonces.removeFirst();
    WebReply r = WebReply::text("<html><body>401 Unauthorized</body></html>\r\n", 401, "Unauthorized");
    r.contentType = "text/html";
    r.headers.append({"WWW-Authenticate", QByteArray("Digest realm=\"") + realm +
                                              "\", qop=\"auth\", nonce=\"" + nonce + "\", algorithm=MD5"});
    return r;
}

int RestService::channels(const QByteArray &word) const {
    if (word == "input")
        return m_model.inputCount();
    if (word == "output")
        return m_model.outputCount();
    return qMax(1, m_model.inputCount()); // one counter per input
}

quint32 RestService::value(const QByteArray &word, int i) const {
    if (word == "input")
        return (m_model.inputs() >> i) & 1;
    if (word == "output")
        return (m_model.outputs() >> i) & 1;
    return m_model.counter(i);
}

QByteArray RestService::entries(const QByteArray &word, int first, int count, int indent) const {
    QByteArray out = pad(indent) + '"' + word + "\": [\r\n";
    const int last = count < 0 ? channels(word) : qMin(channels(word), first + count);
    for (int i = first; i < last; ++i) {
        out += pad(indent + 2) + "{\r\n";
        out += pad(indent + 4) + "\"number\": " + QByteArray::number(i) + ",\r\n";
        out += pad(indent + 4) + "\"state\": " + QByteArray::number(value(word, i)) + "\r\n";
        out += pad(indent + 2) + (i + 1 < last ? "},\r\n" : "}\r\n");
    }
    return out + pad(indent) + "]";
}

QByteArray RestService::tree() const {
    return "{\r\n  \"iostate\": {\r\n" + entries("input", 0, -1, 4) + ",\r\n" + entries("output", 0, -1, 4) +
           ",\r\n" + entries("counter", 0, -1, 4) + "\r\n  }\r\n}\r\n";
}

QByteArray RestService::list(const QByteArray &word, int first, int count) const {
    return "{\r\n" + entries(word, first, count, 2) + "\r\n}\r\n";
}

WebReply RestService::handle(const WebRequest &r) {
    if (!authorized(r))
        return challenge();
    const QByteArray path = r.path.endsWith('/') ? r.path.chopped(1) : r.path;
    const QByteArray base = "/rest/json/iostate";
    if (r.method == "GET") {
        if (path == "/rest/json" || path == base)
            return json(tree());
        for (const char *word : {"input", "output", "counter"})
            if (path == base + '/' + word)
                return json(list(word));
        const int n = indexAfter(path, base + "/counter/");
        if (n >= 0 && n < channels("counter"))
            return json(list("counter", n, 1));
    } else if (r.method == "POST") {
        int n = indexAfter(path, base + "/counterclear/");
        if (n >= 0 && n < channels("counter")) {
            m_model.clearCounter(n);
            return json(list("counter", n, 1));
        }
        n = indexAfter(path, base + "/output/");
        if (n >= 0 && n < channels("output")) {
            const QByteArray set = r.body.startsWith("Set=") ? r.body.mid(4).toUpper() : QByteArray();
            if (set == "TOGGLE")
                m_model.toggleOutput(n);
            else if (set == "ON")
                m_model.setOutput(n, true);
            else if (set == "OFF")
                m_model.setOutput(n, false);
            else
                return WebReply::text("Bad Request\r\n", 400, "Bad Request");
            return json(list("output", n, 1));
        }
    }
    return WebReply::text("Not Found\r\n", 404, "Not Found");
}

void addRestPages(WebRoutes &routes, DeviceModel &model) {
    auto service = std::make_shared<RestService>(model);
    routes.addPrefix("/rest/json", [service](const WebRequest &r) { return service->handle(r); });
}

} // namespace sim
