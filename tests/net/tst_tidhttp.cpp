#include "httppeer.h"
#include "net/digest.h"
#include "net/tidhttp.h"
#include "peers.h"

#include <QtTest>

namespace {

QByteArray response(const QByteArray &statusLine, const QByteArray &body, const QByteArray &extra = {}) {
    return statusLine + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extra + "\r\n" +
           body;
}

QString url(const ThreadedHttpServer &s, const char *path) {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(s.port()).arg(QLatin1String(path));
}

QMap<QString, QByteArray> authParams(QByteArray value) {
    QMap<QString, QByteArray> params;
    value = value.mid(value.indexOf(' ') + 1);
    for (QByteArray part : value.split(',')) {
        part = part.trimmed();
        const qsizetype eq = part.indexOf('=');
        QByteArray v = part.mid(eq + 1);
        if (v.startsWith('"'))
            v = v.mid(1, v.size() - 2);
        params[QString::fromLatin1(part.left(eq))] = v;
    }
    return params;
}

// A device that wants Digest authentication for /rest/json.
QByteArray digestDevice(const HttpRequest &r, int, bool qop) {
    const QByteArray auth = r.header("Authorization");
    if (auth.isEmpty())
        return response("HTTP/1.1 401 Unauthorized", "denied",
                        "WWW-Authenticate: Digest realm=\"korvo\", nonce=\"abc123\", opaque=\"op\"" +
                            QByteArray(qop ? ", qop=\"auth\"" : "") + "\r\n");
    const auto p = authParams(auth);
    const QByteArray expected =
        digestResponse("admin", "korvo", "secret", "GET", p["uri"], "abc123", p["nc"], p["cnonce"], qop)
            .toLatin1();
    if (!auth.startsWith("Digest ") || p["response"] != expected || p["uri"] != "/rest/json" ||
        p["opaque"] != "op")
        return response("HTTP/1.1 403 Forbidden", "");
    return response("HTTP/1.1 200 OK", "{\"Input0\":1}");
}

// Checks a Digest answer the way Apache's mod_auth_digest does: the user's
// HA1 is MD5 over the bytes "user:realm:password" exactly as the realm
// stands in the server's configuration, and the realm echoed must be those
// same bytes.
bool apacheAccepts(const QByteArray &auth, const QByteArray &realm, const QByteArray &nonce,
                   const QByteArray &password) {
    if (!auth.startsWith("Digest "))
        return false;
    const auto p = authParams(auth);
    const auto md5 = [](const QByteArray &b) {
        return QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex();
    };
    const QByteArray ha1 = md5("admin:" + realm + ':' + password);
    const QByteArray ha2 = md5("GET:" + p["uri"]);
    const QByteArray want = md5(ha1 + ':' + nonce + ':' + p["nc"] + ':' + p["cnonce"] + ":auth:" + ha2);
    return p["realm"] == realm && p["nonce"] == nonce && p["response"] == want;
}

QByteArray challenge401(const QByteArray &realm, const QByteArray &nonce, bool stale = false) {
    return response("HTTP/1.1 401 Unauthorized", "denied",
                    "WWW-Authenticate: Digest realm=\"" + realm + "\", nonce=\"" + nonce +
                        "\", qop=\"auth\"" + (stale ? ", stale=true" : "") + "\r\n");
}

} // namespace

class TestTIdHTTP : public QObject {
    Q_OBJECT
private slots:
    void rfc2617Example() {
        QCOMPARE(digestResponse("Mufasa", "testrealm@host.com", "Circle Of Life", "GET", "/dir/index.html",
                                "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", true),
                 QString("6629fae49393a05397450978507c4ef1"));
    }

    void rfc1321Md5() {
        QCOMPARE(md5HexLower(""), QString("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(md5HexLower("abc"), QString("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(md5HexLower("message digest"), QString("f96b697d7cb7938d525a2f31aaf161d0"));
    }

    void chooseChallenge_data() {
        QTest::addColumn<QByteArrayList>("headers");
        QTest::addColumn<int>("scheme"); // -1 none
        QTest::newRow("digest") << QByteArrayList{"Digest realm=\"r\", nonce=\"n\""}
                                << int(AuthChallenge::Digest);
        QTest::newRow("basic") << QByteArrayList{"Basic realm=\"r\""} << int(AuthChallenge::Basic);
        QTest::newRow("digest preferred")
            << QByteArrayList{"Basic realm=\"r\"", "Digest realm=\"r\", nonce=\"n\""}
            << int(AuthChallenge::Digest);
        QTest::newRow("unsupported") << QByteArrayList{"Negotiate", "NTLM"} << -1;
        QTest::newRow("digest sha-256 only")
            << QByteArrayList{"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256"} << -1;
        QTest::newRow("none") << QByteArrayList{} << -1;
    }
    void chooseChallenge() {
        QFETCH(QByteArrayList, headers);
        QFETCH(int, scheme);
        const auto c = ::chooseChallenge(headers);
        QCOMPARE(c ? int(c->scheme) : -1, scheme);
    }

    void digestOnTheSecondCall_data() {
        QTest::addColumn<bool>("qop");
        QTest::newRow("qop auth") << true;
        QTest::newRow("no qop") << false;
    }
    void digestOnTheSecondCall() {
        QFETCH(bool, qop);
        ThreadedHttpServer device([qop](const HttpRequest &r, int i) { return digestDevice(r, i, qop); });
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = "secret";
        QCOMPARE(http.Get(url(device, "/rest/json")), QString("denied"));
        QCOMPARE(http.ResponseCode, 401);
        QCOMPARE(http.Get(url(device, "/rest/json")), QString("{\"Input0\":1}"));
        QCOMPARE(http.ResponseCode, 200);
        const auto requests = device.requests();
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests[0].header("Authorization").isEmpty()); // no credentials first
        QCOMPARE(requests[0].header("Accept"),
                 QByteArray("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"));
        QVERIFY(!requests[0].header("User-Agent").isEmpty());
        QVERIFY(requests[1].header("Authorization").startsWith("Digest "));
    }

    // Each row: the password the client holds, what the server does with the
    // answered challenge, and the outcome of the second and third requests.
    void answeredChallenge_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("staleFirst"); // the server rejects the first nonce as stale
        QTest::addColumn<QStringList>("outcomes");
        QTest::newRow("right password") << "secret" << false << QStringList{"401", "200", "200"};
        QTest::newRow("wrong password: a protocol error, every time")
            << "wrong" << false
            << QStringList{"401", "EHttpProtocolError : HTTP/1.1 401 Unauthorized",
                           "EHttpProtocolError : HTTP/1.1 401 Unauthorized"};
        QTest::newRow("stale nonce: the new one is answered")
            << "secret" << true << QStringList{"401", "401", "200"};
        QTest::newRow("blank password") << "" << false
                                        << QStringList{"EHttpProtocolError : HTTP/1.1 401 Unauthorized",
                                                       "EHttpProtocolError : HTTP/1.1 401 Unauthorized",
                                                       "EHttpProtocolError : HTTP/1.1 401 Unauthorized"};
    }
    void answeredChallenge() {
        QFETCH(QString, password);
        QFETCH(bool, staleFirst);
        QFETCH(QStringList, outcomes);
        // A server that, like a real one, sends a fresh nonce with every 401.
        auto nonces = std::make_shared<int>(0); // touched by the server's thread only
        auto current = std::make_shared<QByteArray>();
        ThreadedHttpServer device([=](const HttpRequest &r, int) {
            const QByteArray auth = r.header("Authorization");
            if (!auth.isEmpty() && apacheAccepts(auth, "korvo", *current, "secret")) {
                if (!(staleFirst && *current == "n1"))
                    return response("HTTP/1.1 200 OK", "{}");
                *current = "n" + QByteArray::number(++*nonces);
                return challenge401("korvo", *current, true);
            }
            *current = "n" + QByteArray::number(++*nonces);
            return challenge401("korvo", *current);
        });
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = password;
        QStringList seen;
        for (int call = 0; call < 3; ++call) {
            try {
                http.Get(url(device, "/rest/json"));
                seen << QString::number(http.ResponseCode);
            } catch (const EHttpError &e) {
                seen << e.kind() + " : " + e.message();
            }
        }
        QCOMPARE(seen, outcomes);
    }

    // A realm with a byte above 0x7F (Apache sends the bytes of its
    // configuration, here Latin-1 "Ger\xe4t") is hashed and echoed as sent.
    void realmBytesAreKept() {
        const QByteArray realm("Ger\xe4t");
        ThreadedHttpServer device([&](const HttpRequest &r, int) {
            if (apacheAccepts(r.header("Authorization"), realm, "abc",
                              "s\xc3\xa9"
                              "cret"))
                return response("HTTP/1.1 200 OK", "in");
            return challenge401(realm, "abc");
        });
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = QString::fromUtf8("s\xc3\xa9"
                                          "cret"); // a password is sent in UTF-8
        http.Get(url(device, "/rest/json"));
        QCOMPARE(http.ResponseCode, 401);
        QCOMPARE(http.Get(url(device, "/rest/json")), QString("in"));
    }

    void bodyAboveTheCap() {
        const qsizetype size = TIdHTTP::maxBodyBytes + 1024 * 1024;
        ThreadedHttpServer device(
            [size](const HttpRequest &, int) { return response("HTTP/1.1 200 OK", QByteArray(size, 'x')); });
        TIdHTTP http;
        try {
            http.Get(url(device, "/rest/json"));
            QFAIL("no error");
        } catch (const EHttpError &e) {
            QCOMPARE(e.kind(), QString("EHttpProtocolError"));
            QCOMPARE(e.message(), QString("The response is larger than 16 MiB"));
        }
        // A body right at the cap still arrives whole.
        ThreadedHttpServer fits([](const HttpRequest &, int) {
            return response("HTTP/1.1 200 OK", QByteArray(TIdHTTP::maxBodyBytes, 'y'));
        });
        QCOMPARE(http.Get(url(fits, "/")).size(), TIdHTTP::maxBodyBytes);
    }

    // Endless headers end the request too (libcurl's own bound).
    void headersWithoutEnd() {
        ThreadedHttpServer device([](const HttpRequest &, int) {
            QByteArray headers;
            for (int i = 0; i < 1500; ++i) // 1.5 MiB of headers, each one short enough for libcurl
                headers += "X-Fill-" + QByteArray::number(i) + ": " + QByteArray(1000, 'h') + "\r\n";
            return response("HTTP/1.1 200 OK", "late", headers);
        });
        TIdHTTP http;
        try {
            http.Get(url(device, "/"));
            QFAIL("no error");
        } catch (const EHttpError &e) {
            QCOMPARE(e.kind(), QString("EHttpSocketError"));
            QVERIFY(!e.message().isEmpty());
        }
    }

    void basic() {
        ThreadedHttpServer device([](const HttpRequest &r, int) {
            if (r.header("Authorization") != "Basic " + QByteArray("admin:pw").toBase64())
                return response("HTTP/1.1 401 Unauthorized", "", "WWW-Authenticate: Basic realm=\"k\"\r\n");
            return response("HTTP/1.1 200 OK", "ok");
        });
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = "pw";
        http.Get(url(device, "/"));
        QCOMPARE(http.ResponseCode, 401);
        QCOMPARE(http.Get(url(device, "/")), QString("ok"));
    }

    void protocolErrors_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("code");
        const QByteArray challenge = response("HTTP/1.1 401 Unauthorized", "",
                                              "WWW-Authenticate: Digest realm=\"k\", nonce=\"n\"\r\n");
        QTest::newRow("blank password") << challenge << "   "
                                        << "HTTP/1.1 401 Unauthorized" << 401;
        QTest::newRow("unsupported scheme")
            << response("HTTP/1.1 401 Unauthorized", "", "WWW-Authenticate: Negotiate\r\n") << "pw"
            << "HTTP/1.1 401 Unauthorized" << 401;
        QTest::newRow("not found") << response("HTTP/1.1 404 Not Found", "no") << "pw"
                                   << "HTTP/1.1 404 Not Found" << 404;
        QTest::newRow("server error") << response("HTTP/1.0 500 Internal Server Error", "") << ""
                                      << "HTTP/1.0 500 Internal Server Error" << 500;
    }
    void protocolErrors() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(int, code);
        ThreadedHttpServer device([reply](const HttpRequest &, int) { return reply; });
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = password;
        for (int call = 0; call < 2; ++call) {
            try {
                http.Get(url(device, "/rest/json"));
                QFAIL("no error");
            } catch (const EHttpError &e) {
                QCOMPARE(e.kind(), QString("EHttpProtocolError"));
                QCOMPARE(e.message(), message);
            }
            QCOMPARE(http.ResponseCode, code);
        }
    }

    void nothingListening() {
        TIdHTTP http;
        try {
            http.Get(QStringLiteral("http://127.0.0.1:%1/version").arg(freeTcpPort()));
            QFAIL("no error");
        } catch (const EHttpError &e) {
            QCOMPARE(e.kind(), QString("EHttpConnectError"));
            QVERIFY(!e.message().isEmpty());
        }
        QCOMPARE(http.ResponseCode, -1);
    }

    void post() {
        ThreadedHttpServer device(
            [](const HttpRequest &, int) { return response("HTTP/1.1 200 OK", "done"); });
        TIdHTTP http;
        const QStringList lines{"Set=ON", "Na me=a&b"};
        QCOMPARE(http.Post(url(device, "/rest/json/output/0"), &lines), QString("done"));
        http.Post(url(device, "/rest/json/output/1"));
        const QStringList one{"Set=ON"};
        http.Post(url(device, "/rest/json/output/2"), &one);
        const auto r = device.requests();
        QCOMPARE(r.size(), 3);
        QCOMPARE(r[0].requestLine(), QByteArray("POST /rest/json/output/0 HTTP/1.1"));
        QCOMPARE(r[0].body, QByteArray("Set=ON&Na+me=a%26b"));
        QCOMPARE(r[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(r[1].body, QByteArray());
        QCOMPARE(r[1].header("Content-Length"), QByteArray("0"));
        QCOMPARE(r[1].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(r[2].body, QByteArray("Set=ON"));
    }

    void chunkedResponse() {
        ThreadedHttpServer device([](const HttpRequest &, int) {
            return QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                              "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n");
        });
        TIdHTTP http;
        QCOMPARE(http.Get(url(device, "/single")), QString("hello world"));
    }

    void silentServerEndsWithinTheBound() {
        ThreadedHttpServer device([](const HttpRequest &, int) { return QByteArray(); });
        TIdHTTP http;
        http.totalTimeoutMs = 300; // the real bound is 10 s; the behaviour is the same
        QElapsedTimer clock;
        clock.start();
        try {
            http.Get(url(device, "/rest/json"));
            QFAIL("no error");
        } catch (const EHttpError &e) {
            QCOMPARE(e.kind(), QString("EHttpTimeout"));
        }
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(http.ResponseCode, -1);
    }

    void noEventRunsDuringARequest() {
        ThreadedHttpServer device([](const HttpRequest &, int) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return response("HTTP/1.1 200 OK", "late");
        });
        QTimer timer;
        int ticks = 0;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(5);
        TIdHTTP http;
        QCOMPARE(http.Get(url(device, "/")), QString("late"));
        QCOMPARE(ticks, 0);
        QTRY_VERIFY(ticks > 0); // the timer itself works once the event loop runs
    }

    void defaults() {
        TIdHTTP http;
        QCOMPARE(http.ResponseCode, -1);
        QVERIFY(http.UserName.isEmpty() && http.Password.isEmpty());
        QCOMPARE(http.connectTimeoutMs, 3000);
        QCOMPARE(http.totalTimeoutMs, 10000);
    }
};

QTEST_MAIN(TestTIdHTTP)
#include "tst_tidhttp.moc"
