#include "digestgate.h"
#include "formfixture.h"
#include "httppeer.h"
#include "peers.h"
#include "protocols/rest/restchannel.h"

#include <QtTest>

namespace {

// The device's answer to "/rest/json", one key per line, CR LF ended.
const QByteArray tree = "{\r\n"
                        "\"iostate\": {\r\n"
                        "\"input\": [\r\n"
                        "{\r\n\"number\": 0,\r\n\"state\": 1\r\n},\r\n"
                        "{\r\n\"number\": 1,\r\n\"state\": 0\r\n}\r\n"
                        "],\r\n"
                        "\"output\": [\r\n"
                        "{\r\n\"number\": 0,\r\n\"state\": 0\r\n},\r\n"
                        "{\r\n\"number\": 1,\r\n\"state\": 1\r\n}\r\n"
                        "],\r\n"
                        "\"counter\": [\r\n"
                        "{\r\n\"number\": 0,\r\n\"state\": 3000000000\r\n},\r\n"
                        "{\r\n\"number\": 1,\r\n\"state\": 17\r\n}\r\n"
                        "]\r\n"
                        "}\r\n"
                        "}";

const QByteArray toggled = "{\r\n\"output\": [\r\n{\r\n\"number\": 1,\r\n\"state\": 1\r\n}\r\n]\r\n}";

// A device behind Digest authentication: 401 with a fresh challenge to
// every request without a valid answer, else 200 with body.
struct Device {
    explicit Device(const QByteArray &body, std::function<void()> onRequest = {})
        : gate("admin", "secret"), server([this, body, onRequest](const HttpRequest &r, int) {
              if (onRequest)
                  onRequest();
              return gate.accepts(r) ? DigestGate::ok(body) : gate.unauthorized();
          }) {}
    DigestGate gate;
    ThreadedHttpServer server;
};

void aim(TForm1 &w, quint16 port, const QString &password) {
    pickMode(w, modeRest);
    pickDevice(w, 1);
    w.ed_ip->setText("127.0.0.1");
    w.ed_httpport->setText(QString::number(port));
    w.ed_password->setText(password);
}

QStringList block(const QByteArray &body) {
    QStringList lines{"Rest <-  Bytes received " + QString::number(body.size()),
                      "------------------------------------------------------------"};
    lines << QString::fromLatin1(body).split("\r\n");
    lines << "--------------  End of receive  ----------------------------"
          << "";
    return lines;
}

} // namespace

class TestRestChannel : public QObject {
    Q_OBJECT
private slots:
    // Start asks for the whole tree: the first attempt draws the challenge,
    // the second answers it; the reply is reported and stored.
    void startReadsTheDevice() {
        FormFixture f;
        TForm1 &w = f.form();
        Device device(tree);
        aim(w, device.server.port(), "secret");
        w.writereport("old");
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        QCOMPARE(w.bt_reststart->text(), QString("Stop"));
        QVERIFY(w.restRunning);
        const QList<HttpRequest> requests = device.server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].requestLine(), QByteArray("GET /rest/json HTTP/1.1"));
        QCOMPARE(requests[0].header("Authorization"), QByteArray());
        QCOMPARE(requests[1].requestLine(), QByteArray("GET /rest/json HTTP/1.1"));
        QVERIFY(requests[1].header("Authorization").startsWith("Digest username=\"admin\""));
        const QString url = "http://127.0.0.1:" + QString::number(device.server.port()) + "/rest/json";
        QCOMPARE(w.reportLines(), QStringList{"Rest -> " + url} + block(tree));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->counterFields[0]->text(), QString("3000000000"));
        QCOMPARE(w.display->counterFields[1]->text(), QString("17"));
    }

    // A wrong password: the answer is rejected and its protocol error
    // reported; an empty one: both attempts fail and both are reported.
    void refusedCredentials_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("errorLines");
        QTest::newRow("wrong password") << "wrong" << 1;
        QTest::newRow("empty password") << "" << 2;
        QTest::newRow("blank password") << "  " << 2;
    }
    void refusedCredentials() {
        QFETCH(QString, password);
        QFETCH(int, errorLines);
        FormFixture f;
        TForm1 &w = f.form();
        Device device(tree);
        aim(w, device.server.port(), password);
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        QCOMPARE(device.server.requests().size(), 2);
        QStringList expected{"Rest -> http://127.0.0.1:" + QString::number(device.server.port()) +
                             "/rest/json"};
        for (int i = 0; i < errorLines; ++i)
            expected << "EHttpProtocolError : HTTP/1.1 401 Unauthorized";
        QCOMPARE(w.reportLines(), expected);
        QCOMPARE(w.io.inputs[0], quint16(0));
        QCOMPARE(w.io.counters[0], 0u);
    }

    void post_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("param");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("toggle") << "/rest/json/iostate/output/1"
                                << "Set=TOGGLE" << QByteArray("Set=TOGGLE");
        QTest::newRow("clear a counter, empty body") << "/rest/json/iostate/counterclear/1"
                                                     << "" << QByteArray();
    }
    void post() {
        QFETCH(QString, path);
        QFETCH(QString, param);
        QFETCH(QByteArray, body);
        FormFixture f;
        TForm1 &w = f.form();
        Device device(toggled);
        aim(w, device.server.port(), "secret");
        w.restRunning = true;
        w.restChannel->sendRest("POST", path, param);
        const QList<HttpRequest> requests = device.server.requests();
        QCOMPARE(requests.size(), 2);
        for (const HttpRequest &r : requests) {
            QCOMPARE(r.requestLine(), "POST " + path.toLatin1() + " HTTP/1.1");
            QCOMPARE(r.body, body);
            QCOMPARE(r.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        }
        QStringList expected{"Rest -> http://127.0.0.1:" + QString::number(device.server.port()) + path};
        if (!param.isEmpty())
            expected << "Rest -> POST Parameter = " + param;
        QCOMPARE(w.reportLines(), expected + block(toggled));
        QCOMPARE(w.io.outputs[1], quint16(1));
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
    }

    // Nothing listens: one error line, nothing stored, no second attempt.
    void unreachable() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, freeTcpPort(), "secret");
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        const QStringList lines = w.reportLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].startsWith("EHttpConnectError : "), qPrintable(lines[1]));
    }

    // The request holds the window; a click on Stop made meanwhile is served
    // when it returns, and the next poll requests nothing.
    void stopDuringARequest() {
        FormFixture f;
        TForm1 &w = f.form();
        QPushButton *button = w.bt_reststart;
        std::atomic<bool> clicked{false};
        Device device(tree, [&] {
            if (!clicked.exchange(true))
                QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        });
        aim(w, device.server.port(), "secret");
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        QCOMPARE(w.display->counterFields[1]->text(), QString("17")); // the request ran to its end
        QTRY_COMPARE(w.bt_reststart->text(), QString("Start"));
        QVERIFY(!w.restRunning);
        const QStringList report = w.reportLines();
        w.restChannel->sendRest("GET", "/rest/json/iostate", "");
        QCOMPARE(device.server.requests().size(), 2);
        QCOMPARE(w.reportLines(), report);
    }

    // Start in another mode turns the caption and clears the report, no more.
    void startInAnotherMode() {
        FormFixture f;
        TForm1 &w = f.form();
        Device device(tree);
        aim(w, device.server.port(), "secret");
        pickMode(w, modeHttp);
        w.writereport("old");
        w.restChannel->bt_reststartClick();
        QCOMPARE(w.bt_reststart->text(), QString("Stop"));
        QCOMPARE(w.reportLines(), QStringList{});
        QVERIFY(!w.restRunning);
        QCOMPARE(device.server.requests().size(), 0);
    }
};

QTEST_MAIN(TestRestChannel)
#include "tst_restchannel.moc"
