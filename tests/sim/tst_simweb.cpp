#include "devicemodel.h"
#include "httpservice.h"
#include "restservice.h"
#include "webservice.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace sim;

namespace {

QByteArray md5(const QByteArray &t) { return QCryptographicHash::hash(t, QCryptographicHash::Md5).toHex(); }

// One request through a web session: the complete reply bytes.
QByteArray ask(const WebRoutes &routes, const QByteArray &request) {
    WebSession s(routes);
    QByteArray in = request;
    const QList<QByteArray> out = s.feed(in);
    return out.isEmpty() ? QByteArray() : out.first();
}

QByteArray bodyOf(const QByteArray &reply) { return reply.mid(reply.indexOf("\r\n\r\n") + 4); }

QByteArray param(const QByteArray &header, const QByteArray &name) {
    const qsizetype at = header.indexOf(name + "=\"");
    if (at < 0)
        return {};
    const qsizetype from = at + name.size() + 2;
    return header.mid(from, header.indexOf('"', from) - from);
}

// The client's side of Digest, written out here: the answer to challenge.
QByteArray answer(const QByteArray &reply401, const QByteArray &method, const QByteArray &uri,
                  const QByteArray &password, const QByteArray &user = "admin") {
    const qsizetype at = reply401.indexOf("WWW-Authenticate: ");
    const QByteArray challenge = reply401.mid(at, reply401.indexOf("\r\n", at) - at);
    const QByteArray realm = param(challenge, "realm"), nonce = param(challenge, "nonce");
    const QByteArray ha1 = md5(user + ':' + realm + ':' + password);
    const QByteArray ha2 = md5(method + ':' + uri);
    const QByteArray response = md5(ha1 + ':' + nonce + ":00000001:abcdef:auth:" + ha2);
    return "Authorization: Digest username=\"" + user + "\", realm=\"" + realm + "\", nonce=\"" + nonce +
           "\", uri=\"" + uri + "\", qop=auth, nc=00000001, cnonce=\"abcdef\", response=\"" + response +
           "\"\r\n";
}

struct Device {
    Device() : model(31936) {
        model.setPassword("secret");
        addCommandPages(routes, model);
        addRestPages(routes, model);
        model.setInputs(0x0005);
        model.setCounter(0, 3000000000u);
        model.setCounter(1, 7);
    }
    DeviceModel model;
    WebRoutes routes;

    // A REST request made as a client does: drawing the challenge, then answering it.
    QByteArray rest(const QByteArray &method, const QByteArray &path, const QByteArray &body = {},
                    const QByteArray &password = "secret") {
        const QByteArray head = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        const QByteArray first = ask(routes, head + length + "\r\n" + body);
        if (!first.startsWith("HTTP/1.1 401 Unauthorized\r\n"))
            return "no challenge: " + first;
        return ask(routes, head + answer(first, method, path, password) + length + "\r\n" + body);
    }
};

} // namespace

class TestSimWeb : public QObject {
    Q_OBJECT
private slots:
    void commandPages_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("read all") << QByteArray("/allout?PW=secret&")
                                  << QByteArray(
                                         "input;0005;output;0000;counter;3000000000;7;1;0;0;0;0;0;0;0;0;0;0;"
                                         "0;0;0\r\n");
        QTest::newRow("inputs") << QByteArray("/input?PW=secret&") << QByteArray("input;0005\r\n");
        QTest::newRow("one counter") << QByteArray("/counter1?PW=secret&") << QByteArray("counter1;7\r\n");
        QTest::newRow("clear one counter")
            << QByteArray("/counterclear1?PW=secret&") << QByteArray("counter1;0\r\n");
        QTest::newRow("toggle") << QByteArray("/outputaccess3?PW=secret&State=TOGGLE&")
                                << QByteArray("output;0008\r\n");
        QTest::newRow("mask") << QByteArray("/outputaccess?PW=secret&Mask=00FF&State=0003&")
                              << QByteArray("output;0003\r\n");
        QTest::newRow("wrong password") << QByteArray("/input?PW=x&") << QByteArray("error;password\r\n");
    }
    void commandPages() {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);
        Device d;
        const QByteArray reply = ask(d.routes, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(reply.startsWith("HTTP/1.1 200 OK\r\n"));
        QCOMPARE(bodyOf(reply), body);
    }

    // Every request without a valid answer draws a challenge of its own.
    void restChallenges() {
        Device d;
        const QByteArray request = "GET /rest/json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const QByteArray a = ask(d.routes, request), b = ask(d.routes, request);
        QVERIFY(a.startsWith("HTTP/1.1 401 Unauthorized\r\n"));
        QVERIFY(a.contains("WWW-Authenticate: Digest realm=\"KORVO\", qop=\"auth\", nonce=\""));
        QVERIFY(param(a, "nonce") != param(b, "nonce"));
        // A right answer to an unknown nonce, and a wrong password, are refused.
        QByteArray forged = a;
        forged.replace(param(a, "nonce"), "0000");
        QVERIFY(ask(d.routes,
                    "GET /rest/json HTTP/1.1\r\n" + answer(forged, "GET", "/rest/json", "secret") + "\r\n")
                    .startsWith("HTTP/1.1 401"));
        QVERIFY(d.rest("GET", "/rest/json", {}, "wrong").startsWith("HTTP/1.1 401"));
        QVERIFY(d.rest("GET", "/rest/json", {}, "secret").startsWith("HTTP/1.1 200 OK\r\n"));
        // The answer is bound to its method and path.
        const QByteArray c = ask(d.routes, request);
        QVERIFY(ask(d.routes,
                    "GET /rest/json/iostate HTTP/1.1\r\n" + answer(c, "GET", "/rest/json", "secret") + "\r\n")
                    .startsWith("HTTP/1.1 401"));
    }

    // One key per line, CR LF ended, each entry its number then its state.
    void restTree() {
        Device d;
        const QByteArray body = bodyOf(d.rest("GET", "/rest/json"));
        const QList<QByteArray> lines = body.split('\n');
        QCOMPARE(lines.value(0), QByteArray("{\r"));
        QCOMPARE(lines.value(1), QByteArray("  \"iostate\": {\r"));
        QCOMPARE(lines.value(2), QByteArray("    \"input\": [\r"));
        QCOMPARE(lines.value(3), QByteArray("      {\r"));
        QCOMPARE(lines.value(4), QByteArray("        \"number\": 0,\r"));
        QCOMPARE(lines.value(5), QByteArray("        \"state\": 1\r"));
        QVERIFY(body.contains(
            "\"counter\": [\r\n      {\r\n        \"number\": 0,\r\n        \"state\": 3000000000\r\n"));
        QCOMPARE(body.count("\"number\""), 48);
        QCOMPARE(bodyOf(d.rest("GET", "/rest/json/iostate")), body);
        QCOMPARE(
            bodyOf(d.rest("GET", "/rest/json/iostate/counter/1")),
            QByteArray(
                "{\r\n  \"counter\": [\r\n    {\r\n      \"number\": 1,\r\n      \"state\": 7\r\n    }\r\n"
                "  ]\r\n}\r\n"));
        QCOMPARE(bodyOf(d.rest("GET", "/rest/json/iostate/output")).count("\"number\""), 16);
    }

    void restCommands() {
        Device d;
        QVERIFY(bodyOf(d.rest("POST", "/rest/json/iostate/output/3", "Set=TOGGLE")).contains("\"state\": 1"));
        QCOMPARE(d.model.outputs(), 0x8u);
        d.rest("POST", "/rest/json/iostate/output/0", "Set=ON");
        d.rest("POST", "/rest/json/iostate/output/3", "Set=OFF");
        QCOMPARE(d.model.outputs(), 0x1u);
        QVERIFY(d.rest("POST", "/rest/json/iostate/output/3", "Set=MAYBE").startsWith("HTTP/1.1 400"));
        QVERIFY(d.rest("POST", "/rest/json/iostate/output/16", "Set=ON").startsWith("HTTP/1.1 404"));
        d.rest("POST", "/rest/json/iostate/counterclear/0");
        QCOMPARE(d.model.counter(0), 0u);
        QVERIFY(d.rest("GET", "/rest/json/nothing").startsWith("HTTP/1.1 404"));
    }
};

QTEST_APPLESS_MAIN(TestSimWeb)
#include "tst_simweb.moc"
