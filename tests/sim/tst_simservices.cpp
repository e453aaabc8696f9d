// The simulated device's services without sockets: request bytes in, reply
// bytes out, written from the protocol descriptions (the ASCII command set,
// HTTP/1.1, the reset port and the identification record).
#include "asciiservice.h"
#include "devicemodel.h"
#include "faults.h"
#include "identservice.h"
#include "resetservice.h"
#include "webservice.h"

#include <QtEndian>
#include <QtTest>

using namespace sim;

namespace {
QByteArray nul(const QByteArray &text) { return text + '\0'; }
} // namespace

class TestSimServices : public QObject {
    Q_OBJECT
private slots:
    // ---- the model ----

    void risingEdgesCount() {
        DeviceModel m(31937); // 2 in / 2 out
        m.setInputs(0b01);
        m.setInputs(0b11);
        m.setInputs(0b00);
        m.setInputs(0b01);
        QCOMPARE(m.counter(0), 2u);
        QCOMPARE(m.counter(1), 1u);
        m.setInputs(0b1100); // inputs the device does not have
        QCOMPARE(m.inputs(), 0u);
        for (int i = 0; i < 4; ++i)
            m.tick(); // a binary count: 1, 2, 3, 4 -> inputs 0, 1, 0+1, none
        QCOMPARE(m.counter(0), 4u);
        QCOMPARE(m.counter(1), 2u);
    }

    void kindsByArticle_data() {
        QTest::addColumn<int>("article");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<bool>("device40");
        QTest::addColumn<bool>("legacy");
        QTest::newRow("default 16/16 4.0") << int(DeviceModel::defaultArticle) << 16 << 16 << true << false;
        QTest::newRow("24I/24Out") << 31832 << 24 << 24 << false << false;
        QTest::newRow("legacy") << 31833 << 2 << 2 << false << true;
        QTest::newRow("8Out") << 32038 << 0 << 8 << true << false;
        QTest::newRow("unknown 4.0") << 31999 << 16 << 16 << true << false;
        QTest::newRow("unknown") << 12345 << 16 << 16 << false << false;
    }
    void kindsByArticle() {
        QFETCH(int, article);
        const DeviceKind k = deviceKind(quint16(article));
        QTEST(k.inputs, "inputs");
        QTEST(k.outputs, "outputs");
        QTEST(k.device40, "device40");
        QTEST(k.legacy, "legacy");
    }

    // ---- ASCII: cutting the stream into commands ----

    void commandsCutByTheirShape_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QByteArray>("left");
        using L = QList<QByteArray>;
        QTest::newRow("one") << QByteArray("GET /input?PW=a&") << L{"GET /input?PW=a&"} << QByteArray();
        QTest::newRow("two in one piece") << QByteArray("GET /input?PW=&GET /output?PW=&")
                                          << L{"GET /input?PW=&", "GET /output?PW=&"} << QByteArray();
        QTest::newRow("incomplete waits") << QByteArray("GET /outp") << L{} << QByteArray("GET /outp");
        QTest::newRow("start of a command waits") << QByteArray("GE") << L{} << QByteArray("GE");
        QTest::newRow("mask waits for state") << QByteArray("GET /outputaccess?PW=a&Mask=0003&") << L{}
                                              << QByteArray("GET /outputaccess?PW=a&Mask=0003&");
        QTest::newRow("mask and state")
            << QByteArray("GET /outputaccess?PW=a&Mask=0003&State=0001&GET /in")
            << L{"GET /outputaccess?PW=a&Mask=0003&State=0001&"} << QByteArray("GET /in");
        QTest::newRow("clock with CR LF")
            << QByteArray("GET /settime?PW=a&time=08.03.2021,14:03:09&\r\nGET /input?PW=a&")
            << L{"GET /settime?PW=a&time=08.03.2021,14:03:09&", "GET /input?PW=a&"} << QByteArray();
        QTest::newRow("cut short by the next command")
            << QByteArray("GET /input?PW=aGET /output?PW=&") << L{"GET /input?PW=a", "GET /output?PW=&"}
            << QByteArray();
        QTest::newRow("junk before a command")
            << QByteArray("xyzGET /input?PW=&") << L{"xyz", "GET /input?PW=&"} << QByteArray();
        QTest::newRow("junk keeps a possible start")
            << QByteArray("\x01\x02GE") << L{"\x01\x02"} << QByteArray("GE");
    }
    void commandsCutByTheirShape() {
        QFETCH(QByteArray, stream);
        QList<QByteArray> got;
        while (const auto c = AsciiService::takeCommand(stream))
            got.append(*c);
        QTEST(got, "commands");
        QTEST(stream, "left");
    }

    // ---- ASCII: replies; each row runs on a fresh 2 in / 2 out device after
    // the commands before it in the row ----

    void asciiReplies_data() {
        QTest::addColumn<int>("article");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QByteArray>("lastReply");
        using L = QList<QByteArray>;
        QTest::newRow("all") << 31937 << L{"GET /allout?PW=pw&"} << nul("input;0001;output;0002;counter;5;7");
        QTest::newRow("inputs") << 31937 << L{"GET /input?PW=pw&"} << nul("input;0001");
        QTest::newRow("outputs") << 31937 << L{"GET /output?PW=pw&"} << nul("output;0002");
        QTest::newRow("counters") << 31937 << L{"GET /counter?PW=pw&"} << nul("counter;5;7");
        QTest::newRow("one counter") << 31937 << L{"GET /counter1?PW=pw&"} << nul("counter1;7");
        QTest::newRow("counter out of range") << 31937 << L{"GET /counter2?PW=pw&"} << nul("error;command");
        QTest::newRow("clear all") << 31937 << L{"GET /counterclear?PW=pw&", "GET /counter?PW=pw&"}
                                   << nul("counter;0;0");
        QTest::newRow("clear one") << 31937 << L{"GET /counterclear0?PW=pw&", "GET /counter?PW=pw&"}
                                   << nul("counter;0;7");
        QTest::newRow("under a mask")
            << 31937 << L{"GET /outputaccess?PW=pw&Mask=0001&State=0001&"} << nul("output;0003");
        QTest::newRow("all outputs") << 31937 << L{"GET /outputaccess?PW=pw&State=1&"} << nul("output;0001");
        QTest::newRow("beyond the outputs")
            << 31937 << L{"GET /outputaccess?PW=pw&State=FFFF&"} << nul("output;0003");
        QTest::newRow("toggle") << 31937 << L{"GET /outputaccess1?PW=pw&State=TOGGLE&"} << nul("output;0000");
        QTest::newRow("bad state") << 31937 << L{"GET /outputaccess?PW=pw&State=XY&"} << nul("error;state");
        QTest::newRow("wrong password") << 31937 << L{"GET /input?PW=PW&"} << nul("error;password");
        QTest::newRow("no password") << 31937 << L{"GET /input&"} << nul("error;password");
        QTest::newRow("unknown command") << 31937 << L{"GET /reboot?PW=pw&"} << nul("error;command");
        QTest::newRow("junk") << 31937 << L{"\x01\x02"} << nul("error;command");
        QTest::newRow("clock") << 31937 << L{"GET /settime?PW=pw&time=08.03.2021,14:03:09&"}
                               << nul("time;08.03.2021,14:03:09");
        QTest::newRow("bad clock") << 31937 << L{"GET /settime?PW=pw&time=99.99.2021,14:03:09&"}
                                   << nul("error;time");
        QTest::newRow("legacy has no allout") << 31833 << L{"GET /allout?PW=pw&"} << nul("error;command");
        QTest::newRow("output-only device")
            << 32032 << L{"GET /allout?PW=pw&"} << nul("input;0000;output;0002;counter;0");
        QTest::newRow("24 channels") << 31832 << L{"GET /outputaccess?PW=pw&State=FFFFFF&"}
                                     << nul("output;FFFFFF");
    }
    void asciiReplies() {
        QFETCH(int, article);
        QFETCH(QList<QByteArray>, commands);
        DeviceModel m{quint16(article)};
        m.setPassword("pw");
        m.setInputs(0b01);
        m.setOutputs(0b11, 0b10);
        m.setCounter(0, 5);
        m.setCounter(1, 7);
        AsciiService service(m);
        QByteArray reply;
        for (const QByteArray &c : commands)
            reply = service.reply(c);
        QTEST(reply, "lastReply");
    }

    void sessionAnswersEachCommandOfAPiece() {
        DeviceModel m(31937);
        AsciiSession s(m);
        QByteArray in = "GET /outputaccess0?PW=&State=TOGGLE&GET /output?PW=&GET /inp";
        QCOMPARE(s.feed(in), (QList<QByteArray>{nul("output;0001"), nul("output;0001")}));
        QCOMPARE(in, QByteArray("GET /inp"));
        in += "ut?PW=&";
        QCOMPARE(s.feed(in), QList<QByteArray>{nul("input;0000")});
        QCOMPARE(s.withWrongLength(nul("input;0001;output;0000")), nul("input;0001;output"));
    }

    // ---- the web server ----

    void webRequestsAndPages() {
        DeviceModel m(31936);
        m.setPassword("pw");
        bool bootFail = false;
        WebRoutes routes;
        addDevicePages(routes, m, bootFail);
        routes.addPrefix("/rest",
                         [](const WebRequest &r) { return WebReply::text("rest " + r.path + ' ' + r.body); });

        auto ask = [&](const QByteArray &request) {
            WebSession s(routes);
            QByteArray in = request;
            const QList<QByteArray> out = s.feed(in);
            return out.isEmpty() ? QByteArray() : out.first();
        };
        const QByteArray version = ask("GET /version HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(version.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(version.contains("Connection: close\r\n"));
        const QByteArray body = version.mid(version.indexOf("\r\n\r\n") + 4);
        QVERIFY(version.contains("Content-Length: " + QByteArray::number(body.size()) + "\r\n"));
        QVERIFY(body.contains("31936"));
        QVERIFY(!body.toLower().contains("fail"));
        bootFail = true;
        QVERIFY(ask("GET /version HTTP/1.1\r\n\r\n").contains("BOOT=FAIL"));

        // The clock over HTTP, with the blank the tool leaves before "HTTP/1.1".
        const QByteArray clock =
            ask("GET /settime?PW=pw&time=08.03.2021,14:03:09& HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(clock.endsWith("\r\n\r\ntime;08.03.2021,14:03:09\r\n"));
        QCOMPARE(m.clock().toString("dd.MM.yyyy"), QString("08.03.2021"));

        QVERIFY(ask("GET /nothing HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404 Not Found\r\n"));
        QVERIFY(
            ask("POST /rest/json HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}").endsWith("rest /rest/json {}"));
        QCOMPARE(ask("GET /version HTTP/1.1\r\nHost: x\r\n"), QByteArray()); // head not complete yet
    }

    void webBodyWaitsForItsLength() {
        WebRoutes routes;
        routes.add(
            "/p", [](const WebRequest &r) { return WebReply::text(r.body); }, "POST");
        WebSession s(routes);
        QByteArray in = "POST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nab";
        QVERIFY(s.feed(in).isEmpty());
        QVERIFY(!s.wantsClose());
        in += "cde";
        const QList<QByteArray> out = s.feed(in);
        QCOMPARE(out.size(), 1);
        QVERIFY(out[0].endsWith("\r\n\r\nabcde"));
        QVERIFY(s.wantsClose());
        QVERIFY(s.withWrongLength(out[0]).contains("Content-Length: 6\r\n"));
    }

    // ---- the reset port ----

    void resetNeedsPasswordAndNul_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("restarts");
        QTest::addColumn<bool>("closes");
        using L = QList<QByteArray>;
        QTest::newRow("password and NUL") << L{QByteArray("abc\0", 4)} << 1 << true;
        QTest::newRow("in two pieces") << L{"ab", QByteArray("c\0", 2)} << 1 << true;
        QTest::newRow("no NUL yet") << L{"abc"} << 0 << false;
        QTest::newRow("wrong password") << L{QByteArray("abd\0", 4)} << 0 << true;
    }
    void resetNeedsPasswordAndNul() {
        QFETCH(QList<QByteArray>, pieces);
        DeviceModel m(31936);
        m.setPassword("abc");
        m.setOutputs(0xFFFF, 0x00FF);
        m.setCounter(3, 9);
        QStringList notes;
        ResetSession s(m, [&](const QString &n) { notes << n; });
        QByteArray in;
        for (const QByteArray &p : pieces) {
            in += p;
            for (const QByteArray &reply : s.feed(in))
                QVERIFY(reply.isEmpty()); // the reset port never answers
        }
        QTEST(m.restartCount(), "restarts");
        QTEST(s.wantsClose(), "closes");
        if (m.restartCount()) {
            QCOMPARE(m.outputs(), 0u);
            QCOMPARE(m.counter(3), 0u);
        } else {
            QCOMPARE(m.outputs(), 0x00FFu);
        }
    }

    // ---- identification ----

    void identificationRecord() {
        DeviceModel m(31936);
        IdentAddresses a;
        a.ip = 0xC0A80A05; // 192.168.10.5
        a.gateway = 0xC0A80A01;
        a.netmask = 0xFFFFFF00;
        IdentSession s(
            m, [] { return quint16(8080); }, a);
        QByteArray in = "Version 1.03";
        const QList<QByteArray> out = s.feed(in);
        QCOMPARE(out.size(), 1);
        const QByteArray r = out[0];
        const auto u16 = [&](int o) { return qFromLittleEndian<quint16>(r.constData() + o); };
        const auto u32 = [&](int o) { return qFromLittleEndian<quint32>(r.constData() + o); };
        QCOMPARE(r.size(), 278);
        QCOMPARE(u16(2), quint16(278));
        QCOMPARE(u16(40), quint16(8080)); // the WBM-Port
        QVERIFY(r.mid(44, 48).startsWith("KORVO 16In/Out"));
        // The EAN-13: the five digits before the check digit are the article.
        const QByteArray ean = QByteArray::number(qFromLittleEndian<qint64>(r.constData() + 96));
        QCOMPARE(ean.size(), 13);
        QCOMPARE(ean.mid(7, 5), QByteArray("31936"));
        int sum = 0;
        for (int i = 0; i < 13; ++i)
            sum += (ean.at(i) - '0') * (i % 2 ? 3 : 1);
        QCOMPARE(sum % 10, 0);
        QCOMPARE(r.mid(260, 6), a.mac);
        QCOMPARE(quint8(r.at(269)), quint8(192)); // first number of the dotted address
        QCOMPARE(u32(266), a.ip);
        QCOMPARE(u32(270), a.gateway);
        QCOMPARE(u32(274), a.netmask);
        QCOMPARE(qFromLittleEndian<quint16>(s.withWrongLength(r).constData() + 2), quint16(279));

        QByteArray other = "hello";
        QCOMPARE(s.feed(other), QList<QByteArray>{QByteArray()}); // not answered
    }

    // ---- faults ----

    void faultLists_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("ok");
        QTest::newRow("several") << "split,close-after:3,garbage" << true;
        QTest::newRow("coalesce") << "coalesce:2" << true;
        QTest::newRow("unknown") << "explode" << false;
        QTest::newRow("bad count") << "close-after:x" << false;
    }
    void faultLists() {
        QFETCH(QString, list);
        Faults f;
        QString error;
        QTEST(f.parse(list, &error), "ok");
        QCOMPARE(error.isEmpty(), f.parse(list, nullptr));
    }

    void garbageKeepsTheLength() {
        DeviceModel m;
        AsciiSession s(m);
        Faults f;
        f.garbage = true;
        quint32 seed = 1;
        const QByteArray reply = nul("output;0001");
        const QByteArray g = f.shape(reply, s, seed);
        QCOMPARE(g.size(), reply.size());
        QVERIFY(g != reply);
    }
};

QTEST_GUILESS_MAIN(TestSimServices)
#include "tst_simservices.moc"
