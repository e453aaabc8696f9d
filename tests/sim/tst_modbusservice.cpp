// The simulated device's Modbus TCP side without sockets: request ADUs in,
// response ADUs out, over the device model, written from the Modbus
// Application Protocol and the device's register map.
#include "devicemodel.h"
#include "modbusservice.h"

#include <QtTest>

using namespace sim;

namespace {
QByteArray hexBytes(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }
} // namespace

class TestModbusService : public QObject {
    Q_OBJECT
private slots:
    void requests_data() {
        QTest::addColumn<int>("article");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("after"); // outputs in hex and counters 0..2, "" when unchanged

        const int d16 = DeviceModel::defaultArticle, d8out = 32038, d24 = 31832;
        // The model before each row: inputs 0x0005, outputs 0x0002,
        // counters 0..2 = 0x00010002, 7, 0.
        QTest::newRow("inputs word") << d16 << hexBytes("0001 0000 0006 01 04 2000 0001")
                                     << hexBytes("0001 0000 0005 01 04 02 0005") << "";
        QTest::newRow("outputs word") << d16 << hexBytes("0002 0000 0006 01 03 2002 0001")
                                      << hexBytes("0002 0000 0005 01 03 02 0002") << "";
        QTest::newRow("one counter, high word first") << d16 << hexBytes("0003 0000 0006 01 03 5006 0002")
                                                      << hexBytes("0003 0000 0007 01 03 04 0001 0002") << "";
        QTest::newRow("two counters as input registers")
            << d16 << hexBytes("0004 0000 0006 01 04 5006 0004")
            << hexBytes("0004 0000 000B 01 04 08 0001 0002 0000 0007") << "";
        QTest::newRow("any unit is answered") << d16 << hexBytes("0005 0000 0006 FF 04 2000 0001")
                                              << hexBytes("0005 0000 0005 FF 04 02 0005") << "";
        QTest::newRow("read coils") << d16 << hexBytes("0006 0000 0006 01 01 1020 0003")
                                    << hexBytes("0006 0000 0004 01 01 01 02") << "";
        QTest::newRow("switch output 2 on") << d16 << hexBytes("0007 0000 0006 01 05 1022 FF00")
                                            << hexBytes("0007 0000 0006 01 05 1022 FF00") << "0006 65538 7 0";
        QTest::newRow("switch output 1 off")
            << d16 << hexBytes("0007 0000 0006 01 05 1021 0000") << hexBytes("0007 0000 0006 01 05 1021 0000")
            << "0000 65538 7 0";
        QTest::newRow("write 12 coils") << d16 << hexBytes("0008 0000 0009 01 0F 1020 000C 02 FF0F")
                                        << hexBytes("0008 0000 0006 01 0F 1020 000C") << "0FFF 65538 7 0";
        QTest::newRow("write 8 coils of 8Out") << d8out << hexBytes("0008 0000 0008 01 0F 1020 0008 01 AA")
                                               << hexBytes("0008 0000 0006 01 0F 1020 0008") << "00AA 0 0 0";
        QTest::newRow("clear counter 1") << d16 << hexBytes("0009 0000 000B 01 10 5008 0002 04 00000000")
                                         << hexBytes("0009 0000 0006 01 10 5008 0002") << "0002 65538 0 0";
        QTest::newRow("clear all 16 counters")
            << d16 << hexBytes("000A 0000 0047 01 10 5006 0020 40") + QByteArray(64, '\0')
            << hexBytes("000A 0000 0006 01 10 5006 0020") << "0002 0 0 0";
        QTest::newRow("24 channels: high outputs word")
            << d24 << hexBytes("000B 0000 0006 01 03 2002 0002")
            << hexBytes("000B 0000 0007 01 03 04 0002 0000") << "";

        // What the device lacks.
        QTest::newRow("unknown function")
            << d16 << hexBytes("000C 0000 0006 01 06 5006 0000") << hexBytes("000C 0000 0003 01 86 01") << "";
        QTest::newRow("counter the device lacks")
            << d16 << hexBytes("000D 0000 0006 01 03 502E 0002") << hexBytes("000D 0000 0003 01 83 02") << "";
        QTest::newRow("8Out has no counters") << d8out << hexBytes("000D 0000 0006 01 04 5006 0002")
                                              << hexBytes("000D 0000 0003 01 84 02") << "";
        QTest::newRow("8Out has no inputs") << d8out << hexBytes("000D 0000 0006 01 04 2000 0001")
                                            << hexBytes("000D 0000 0003 01 84 02") << "";
        QTest::newRow("holding 0x2000 does not exist")
            << d16 << hexBytes("000E 0000 0006 01 03 2000 0001") << hexBytes("000E 0000 0003 01 83 02") << "";
        QTest::newRow("coil past the outputs")
            << d16 << hexBytes("000F 0000 0006 01 05 1030 FF00") << hexBytes("000F 0000 0003 01 85 02") << "";
        QTest::newRow("coil value neither on nor off")
            << d16 << hexBytes("0010 0000 0006 01 05 1020 1234") << hexBytes("0010 0000 0003 01 85 03") << "";
        QTest::newRow("byte count short for 9 coils")
            << d16 << hexBytes("0011 0000 0008 01 0F 1020 0009 01 FF") << hexBytes("0011 0000 0003 01 8F 03")
            << "";
        QTest::newRow("zero registers")
            << d16 << hexBytes("0012 0000 0006 01 04 2000 0000") << hexBytes("0012 0000 0003 01 84 03") << "";
        QTest::newRow("write to the inputs") << d16 << hexBytes("0013 0000 0009 01 10 2000 0001 02 FFFF")
                                             << hexBytes("0013 0000 0003 01 90 02") << "";
        QTest::newRow("not Modbus: dropped")
            << d16 << hexBytes("0014 0001 0006 01 04 2000 0001") << QByteArray() << "";
    }
    void requests() {
        QFETCH(int, article);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, after);
        DeviceModel m{quint16(article)};
        m.setInputs(0x0005);
        m.setOutputs(0xFFFFFF, 0x0002);
        m.setCounter(0, 0x00010002);
        m.setCounter(1, 7);
        m.setCounter(2, 0); // the rising edge of input 2 above counted
        ModbusService s(m);
        QCOMPARE(s.reply(request).toHex(' '), reply.toHex(' '));
        const QString state = QString("%1 %2 %3 %4")
                                  .arg(m.outputs(), 4, 16, QChar('0'))
                                  .arg(m.counter(0))
                                  .arg(m.counter(1))
                                  .arg(m.counter(2))
                                  .toUpper();
        if (!after.isEmpty())
            QCOMPARE(state, after);
        else if (article == DeviceModel::defaultArticle)
            QCOMPARE(state, QString("0002 65538 7 0"));
    }

    // Requests arrive in pieces and in blocks; a length no frame can have
    // ends the connection.
    void sessionFrames() {
        DeviceModel m;
        ModbusSession s(m);
        const QByteArray a = hexBytes("0001 0000 0006 01 04 2000 0001"),
                         b = hexBytes("0002 0000 0006 01 03 2002 0001");
        QByteArray in = a + b.left(7);
        QCOMPARE(s.feed(in).size(), 1);
        QCOMPARE(in, b.left(7));
        in += b.mid(7);
        QCOMPARE(s.feed(in), QList<QByteArray>{hexBytes("0002 0000 0005 01 03 02 0000")});
        QVERIFY(in.isEmpty());
        QVERIFY(!s.wantsClose());
        in = hexBytes("0003 0000 0000 01 04");
        QVERIFY(s.feed(in).isEmpty());
        QVERIFY(s.wantsClose());
        QCOMPARE(s.withWrongLength(hexBytes("0002 0000 0005 01 03 02 0000")),
                 hexBytes("0002 0000 0006 01 03 02 0000"));
    }
};

QTEST_GUILESS_MAIN(TestModbusService)
#include "tst_modbusservice.moc"
