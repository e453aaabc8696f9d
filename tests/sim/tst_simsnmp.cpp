// korvosim's SNMPv1 agent without sockets: request bytes in, response bytes
// out, written from RFC 1157 and the BER of X.690.
#include "devicemodel.h"
#include "snmpservice.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace sim;

namespace {

QByteArray hex(const QByteArray &text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

QByteArray tlv(quint8 tag, const QByteArray &content) {
    return QByteArray(1, char(tag)) + char(content.size()) + content;
}

// One message with one binding: the name under the device's subtree, node 13.
QByteArray message(quint8 pdu, const char *subids, const QByteArray &value,
                   const QByteArray &community = "vormil", quint8 version = 0, quint8 status = 0,
                   quint8 index = 0) {
    const QByteArray name = tlv(0x06, hex("2B06010401B5370102 0D") + hex(subids));
    const QByteArray body = hex("02043659CAFF") + tlv(0x02, QByteArray(1, char(status))) +
                            tlv(0x02, QByteArray(1, char(index))) + tlv(0x30, tlv(0x30, name + value));
    return tlv(0x30, tlv(0x02, QByteArray(1, char(version))) + tlv(0x04, community) + tlv(pdu, body));
}

QByteArray get(const char *subids) { return message(0xA0, subids, hex("0500")); }
QByteArray set(const char *subids, const QByteArray &value) { return message(0xA3, subids, value); }
QByteArray response(const char *subids, const QByteArray &value, quint8 status = 0, quint8 index = 0) {
    return message(0xA2, subids, value, "vormil", 0, status, index);
}

QByteArray word(quint32 v) {
    return hex("0404") + QByteArray::fromHex(QByteArray::number(v, 16).rightJustified(8, '0'));
}

} // namespace

class TestSimSnmp : public QObject {
    Q_OBJECT
private slots:
    void theToolsLoginStateRequest() {
        DeviceModel m(31937); // 2 in / 2 out
        SnmpService s(m);
        // The exact bytes the tool sends, and the response in the same shape.
        const QByteArray request =
            hex("302E 020100 0406766F726D696C A021 02043659CAFF 020100 020100 3013 3011 060D "
                "2B06010401B5370102 0D 020200 0500");
        QCOMPARE(s.reply(request)->toHex(' '),
                 hex("302F 020100 0406766F726D696C A222 02043659CAFF 020100 020100 3014 3012 060D "
                     "2B06010401B5370102 0D 020200 020100")
                     .toHex(' '));
    }

    void loginAndOutputs() {
        DeviceModel m(31937);
        m.setPassword("pw");
        SnmpService s(m);
        // Without a login the outputs stay as they are.
        QCOMPARE(*s.reply(set("0105010202", hex("020101"))), response("0105010202", hex("020101"), 2, 1));
        QCOMPARE(m.outputs(), 0u);
        QCOMPARE(*s.reply(set("020100", tlv(0x04, "px"))), response("020100", tlv(0x04, "px"), 3, 1));
        QVERIFY(!s.loggedIn());
        QCOMPARE(*s.reply(set("020100", tlv(0x04, "pw"))), response("020100", tlv(0x04, "pw")));
        QCOMPARE(*s.reply(get("020200")), response("020200", hex("020101")));
        // A set is answered with what it set (value length 1); a get of the
        // output gives four bytes with the state last.
        QCOMPARE(*s.reply(set("0105010202", hex("020101"))), response("0105010202", hex("020101")));
        QCOMPARE(m.outputs(), 0b10u);
        QCOMPARE(*s.reply(get("0105010202")), response("0105010202", word(1)));
        // The outputs word: mask, then states.
        QCOMPARE(*s.reply(set("010700", hex("0408 00000001 00000001"))),
                 response("010700", hex("0408 00000001 00000001")));
        QCOMPARE(*s.reply(get("010600")), response("010600", word(0b11)));
        QCOMPARE(*s.reply(set("020300", hex("020101"))), response("020300", hex("020101")));
        QCOMPARE(*s.reply(get("020200")), response("020200", hex("020100")));
    }

    void noPasswordTakesAnyLogin() {
        DeviceModel m(31937);
        SnmpService s(m);
        QCOMPARE(*s.reply(set("020100", tlv(0x04, "x"))), response("020100", tlv(0x04, "x")));
        QVERIFY(s.loggedIn());
    }

    void readsAndReadAndClear() {
        DeviceModel m(31937);
        SnmpService s(m);
        m.setInputs(0b10);
        m.setCounter(1, 0x01020304);
        QCOMPARE(*s.reply(get("010400")), response("010400", word(0b10)));
        QCOMPARE(*s.reply(get("0103010202")), response("0103010202", word(0x01020304)));
        QCOMPARE(*s.reply(get("0103010302")), response("0103010302", word(0x01020304)));
        QCOMPARE(m.counter(1), 0u);
        QCOMPARE(*s.reply(get("0103010202")), response("0103010202", word(0)));
    }

    void errors_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("unknown object") << get("010900") << response("010900", hex("0500"), 2, 1);
        QTest::newRow("output beyond the device")
            << get("0105010203") << response("0105010203", hex("0500"), 2, 1);
        QTest::newRow("counter 0") << get("0103010200") << response("0103010200", hex("0500"), 2, 1);
        QTest::newRow("inputs are read-only")
            << set("010400", hex("020101")) << response("010400", hex("020101"), 4, 1);
        QTest::newRow("a walk is not answered with objects")
            << message(0xA1, "020200", hex("0500")) << response("020200", hex("0500"), 2, 1);
    }
    void errors() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        DeviceModel m(31937);
        SnmpService s(m);
        QCOMPARE(s.reply(request)->toHex(' '), reply.toHex(' '));
    }

    void silence_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("wrong community") << message(0xA0, "020200", hex("0500"), "public");
        QTest::newRow("SNMPv2c") << message(0xA0, "020200", hex("0500"), "vormil", 1);
        QTest::newRow("cut short") << get("020200").chopped(1);
        QTest::newRow("a response") << response("020200", hex("020101"));
        QTest::newRow("indefinite length") << hex("3080 020100 0000");
        QTest::newRow("length past the end") << hex("30FF 020100");
        QTest::newRow("garbage") << QByteArray("GET /input?PW=&");
    }
    void silence() {
        QFETCH(QByteArray, request);
        DeviceModel m(31937);
        SnmpService s(m);
        QVERIFY(!s.reply(request));
    }

    void anyBytesEndInAReplyOrNothing() {
        DeviceModel m(31937);
        SnmpService s(m);
        QRandomGenerator random(7);
        const QByteArray good = get("0103010302");
        for (int round = 0; round < 3000; ++round) {
            QByteArray d = good;
            for (int k = 0; k < 3; ++k)
                d[random.bounded(int(d.size()))] = char(random.bounded(256));
            (void)s.reply(d.left(random.bounded(int(d.size()) + 1)));
        }
    }
};

QTEST_MAIN(TestSimSnmp)
#include "tst_simsnmp.moc"
