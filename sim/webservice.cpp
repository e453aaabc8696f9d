#include "webservice.h"

#include "asciiservice.h"
#include "devicemodel.h"

namespace sim {

namespace {
// A request head longer than this is refused: no device page needs it.
constexpr qsizetype maxHead = 16 * 1024;
constexpr qsizetype maxBody = 1024 * 1024;
} // namespace

std::optional<QByteArray> WebRequest::header(const QByteArray &name) const {
    const QByteArray lower = name.toLower();
    for (const auto &[k, v] : headers)
        if (k == lower)
            return v;
    return std::nullopt;
}

std::optional<QByteArray> WebRequest::queryValue(const QByteArray &key) const {
    for (const QByteArray &piece : query.split('&')) {
        const qsizetype eq = piece.indexOf('=');
        if (piece.left(eq < 0 ? piece.size() : eq) == key)
            return eq < 0 ? QByteArray() : piece.mid(eq + 1);
    }
    return std::nullopt;
}

WebReply WebReply::text(const QByteArray &body, int status, const QByteArray &reason) {
    WebReply r;
    r.status = status;
    r.reason = reason;
    r.body = body;
    return r;
}

QByteArray WebReply::toBytes() const {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: close\r\n";
    for (const auto &[k, v] : headers)
        out += k + ": " + v + "\r\n";
    return out + "\r\n" + body;
}

void WebRoutes::add(const QByteArray &path, Handler handler, const QByteArray &method) {
    m_routes.append({path, method, false, std::move(handler)});
}

void WebRoutes::addPrefix(const QByteArray &prefix, Handler handler, const QByteArray &method) {
    m_routes.append({prefix, method, true, std::move(handler)});
}

WebReply WebRoutes::dispatch(const WebRequest &request) const {
    const Route *best = nullptr;
    for (const Route &r : m_routes) {
        if (!r.method.isEmpty() && r.method != request.method)
            continue;
        if (!r.prefix && r.path == request.path)
            return r.handler(request);
        if (r.prefix && request.path.startsWith(r.path) && (!best || r.path.size() > best->path.size()))
            best = &r;
    }
    if (best)
        return best->handler(request);
    return WebReply::text("Not Found\r\n", 404, "Not Found");
}

std::optional<WebRequest> WebSession::takeRequest(QByteArray &input) {
    qsizetype headEnd = input.indexOf("\r\n\r\n");
    qsizetype sepLen = 4;
    const qsizetype lfEnd = input.indexOf("\n\n");
    if (lfEnd >= 0 && (headEnd < 0 || lfEnd < headEnd)) {
        headEnd = lfEnd;
        sepLen = 2;
    }
    if (headEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lines = input.left(headEnd).split('\n');
    WebRequest r;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    r.method = first.value(0);
    // The target runs to the protocol word: "GET /allout?PW=a& HTTP/1.1"
    // has a blank inside the target as the tool's command URLs are sent.
    QList<QByteArray> middle = first.mid(1);
    if (middle.size() > 1 && middle.last().startsWith("HTTP/"))
        middle.removeLast();
    r.target = middle.join(' ');
    const qsizetype q = r.target.indexOf('?');
    r.path = q < 0 ? r.target : r.target.left(q);
    r.query = q < 0 ? QByteArray() : r.target.mid(q + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            r.headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    bool ok = false;
    const qsizetype length = r.header("content-length").value_or("0").toLongLong(&ok);
    const qsizetype bodyStart = headEnd + sepLen;
    if (ok && length > 0 && length <= maxBody) {
        if (input.size() - bodyStart < length)
            return std::nullopt;
        r.body = input.mid(bodyStart, length);
        input.remove(0, bodyStart + length);
    } else {
        input.remove(0, bodyStart);
    }
    return r;
}

QList<QByteArray> WebSession::feed(QByteArray &input) {
    if (m_answered)
        return {};
    if (const std::optional<WebRequest> request = takeRequest(input)) {
        m_answered = true;
        return {m_routes.dispatch(*request).toBytes()};
    }
    if (input.size() > maxHead + maxBody) {
        m_answered = true;
        input.clear();
        return {WebReply::text("Request too large\r\n", 413, "Payload Too Large").toBytes()};
    }
    return {};
}

QByteArray WebSession::withWrongLength(const QByteArray &reply) const {
    QByteArray out = reply;
    const qsizetype at = out.indexOf("Content-Length: ");
    if (at < 0)
        return out;
    const qsizetype from = at + 16;
    const qsizetype to = out.indexOf("\r\n", from);
    const qint64 n = out.mid(from, to - from).toLongLong();
    return out.replace(from, to - from, QByteArray::number(n + 1));
}

void addDevicePages(WebRoutes &routes, DeviceModel &model, const bool &bootFail) {
    routes.add("/version", [&model, &bootFail](const WebRequest &) {
        const DeviceKind &k = model.kind();
        QByteArray body = "KORVO " + QByteArray(k.name) + "\r\n";
        body += "Article " + QByteArray::number(k.article) + "\r\n";
        body += QByteArray(k.device40 ? "Firmware 4.0.12" : "Firmware 3.7.2") + "\r\n";
        body += QByteArray(bootFail ? "BOOT=FAIL" : "BOOT=OK") + "\r\n";
        return WebReply::text(body);
    });
    // The clock over HTTP: the same command as on the ASCII port, answered
    // as a one-line page.
    routes.add("/settime", [&model](const WebRequest &r) {
        AsciiService ascii(model);
        return WebReply::text(ascii.replyText("GET " + r.target) + "\r\n");
    });
}

} // namespace sim
