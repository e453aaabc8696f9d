#include "net/tidhttp.h"

#include <QRandomGenerator>
#include <QUrl>
#include <curl/curl.h>

namespace {

const char *const acceptHeader = "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
const char *const userAgent = "Mozilla/5.0 (compatible; korvotool/4.0)";

struct Exchange {
    QByteArray statusLine;
    QList<QByteArray> headers;
    QByteArray body;
    bool bodyTooLarge = false; // the response passed the bound below
};

// A device's pages are a few KiB; the body bound below only stops a peer that
// sends without end from filling the memory within the time limit. (libcurl
// bounds the headers itself, at 300 KiB.)

size_t onHeader(char *data, size_t size, size_t count, void *user) {
    auto *x = static_cast<Exchange *>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    if (line.startsWith("HTTP/")) {
        // A new response begins (after a 100 Continue, for example).
        x->statusLine = line;
        x->headers.clear();
        x->body.clear();
    } else if (!line.isEmpty()) {
        x->headers << line;
    }
    return size * count;
}

size_t onBody(char *data, size_t size, size_t count, void *user) {
    auto *x = static_cast<Exchange *>(user);
    const qsizetype n = qsizetype(size * count);
    if (x->body.size() + n > TIdHTTP::maxBodyBytes) {
        x->bodyTooLarge = true;
        return 0; // ends the transfer
    }
    x->body.append(data, n);
    return size * count;
}

QList<QByteArray> headerValues(const QList<QByteArray> &headers, const QByteArray &name) {
    QList<QByteArray> values;
    for (const QByteArray &h : headers) {
        const qsizetype colon = h.indexOf(':');
        if (colon > 0 && h.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values << h.mid(colon + 1).trimmed();
    }
    return values;
}

// The status line exactly as a person reads it: "HTTP/1.1 404 Not Found".
QString statusText(const QByteArray &line) { return QString::fromLatin1(line); }

[[noreturn]] void throwTransportError(CURLcode code, const char *detail) {
    QString message = QString::fromLatin1(detail);
    if (message.isEmpty())
        message = QString::fromLatin1(curl_easy_strerror(code));
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_URL_MALFORMAT: throw EHttpError(QStringLiteral("EHttpAddressError"), message);
    case CURLE_COULDNT_CONNECT: throw EHttpError(QStringLiteral("EHttpConnectError"), message);
    case CURLE_OPERATION_TIMEDOUT: throw EHttpError(QStringLiteral("EHttpTimeout"), message);
    default: throw EHttpError(QStringLiteral("EHttpSocketError"), message);
    }
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

} // namespace

TIdHTTP::TIdHTTP() { static CurlGlobal global; }

TIdHTTP::~TIdHTTP() = default;

QByteArray TIdHTTP::formBody(const QStringList &lines) {
    // application/x-www-form-urlencoded: a blank becomes "+", everything
    // but letters, digits and "*-._" is percent-encoded.
    const auto encode = [](const QString &s) {
        return QUrl::toPercentEncoding(s, "*-._").replace("%20", "+");
    };
    QByteArrayList parts;
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            parts << encode(line);
        else
            parts << encode(line.left(eq)) + '=' + encode(line.mid(eq + 1));
    }
    return parts.join('&');
}

QString TIdHTTP::Get(const QString &url) { return request("GET", url, nullptr); }

QString TIdHTTP::Post(const QString &url, const QStringList *lines) {
    const QByteArray body = lines ? formBody(*lines) : QByteArray();
    return request("POST", url, &body);
}

QString TIdHTTP::request(const char *method, const QString &url, const QByteArray *body) {
    CURL *curl = curl_easy_init();
    if (!curl)
        throw EHttpError(QStringLiteral("EHttpSocketError"), QStringLiteral("Cannot start an HTTP request"));
    struct Cleanup {
        CURL *curl;
        curl_slist *headers = nullptr;
        ~Cleanup() {
            curl_slist_free_all(headers);
            curl_easy_cleanup(curl);
        }
    } cleanup{curl};

    const QByteArray urlBytes = url.toUtf8();
    Exchange x;
    char errorText[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // the device is on the local network
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(totalTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");

    cleanup.headers = curl_slist_append(cleanup.headers, acceptHeader);
    cleanup.headers = curl_slist_append(cleanup.headers, "Expect:");
    if (body) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body->size()));
        curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, body->constData());
        cleanup.headers =
            curl_slist_append(cleanup.headers, "Content-Type: application/x-www-form-urlencoded");
    }
    QByteArray authorization;
    const bool withCredentials = m_challenge.has_value();
    if (withCredentials) {
        const QUrl u(url);
        QByteArray uri = u.path(QUrl::FullyEncoded).toLatin1();
        if (uri.isEmpty())
            uri = "/";
        if (u.hasQuery())
            uri += '?' + u.query(QUrl::FullyEncoded).toLatin1();
        const QByteArray cnonce =
            QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
        authorization = "Authorization: " +
                        authorizationValue(*m_challenge, UserName, Password, method, uri, ++m_nc, cnonce);
        cleanup.headers = curl_slist_append(cleanup.headers, authorization.constData());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, cleanup.headers);

    const CURLcode code = curl_easy_perform(curl);
    if (x.bodyTooLarge)
        throw EHttpError(
            QStringLiteral("EHttpProtocolError"),
            QStringLiteral("The response is larger than %1 MiB").arg(maxBodyBytes / (1024 * 1024)));
    if (code != CURLE_OK)
        throwTransportError(code, errorText);

    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    ResponseCode = int(status);

    if (status == 401) {
        // Only a request that went without credentials returns normally
        // with its challenge. A 401 to an answered challenge is a rejected
        // user name or password (a server sends a fresh challenge with every
        // 401), unless the server says that only the nonce was stale.
        const auto challenge = chooseChallenge(headerValues(x.headers, "WWW-Authenticate"));
        if (!challenge || Password.trimmed().isEmpty() || (withCredentials && !challenge->stale))
            throw EHttpError(QStringLiteral("EHttpProtocolError"), statusText(x.statusLine));
        if (!m_challenge || m_challenge->nonce != challenge->nonce)
            m_nc = 0;
        m_challenge = challenge;
    } else if (status >= 400) {
        throw EHttpError(QStringLiteral("EHttpProtocolError"), statusText(x.statusLine));
    }

    // The device answers in ASCII; a response that names UTF-8 is read as such.
    const QList<QByteArray> types = headerValues(x.headers, "Content-Type");
    if (!types.isEmpty() && types.last().toLower().contains("charset=utf-8"))
        return QString::fromUtf8(x.body);
    return QString::fromLatin1(x.body);
}
