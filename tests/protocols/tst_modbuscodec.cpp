#include "protocols/modbus/modbuscodec.h"

#include <QRandomGenerator>
#include <QtTest>

using modbus::FollowUp;

namespace {

QByteArray hexBytes(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// A state in which every change shows: outputs on, inputs on, counters 99.
IoState startState() {
    IoState io;
    io.inputs.fill(1);
    io.outputs.fill(1);
    io.counters.fill(99);
    return io;
}

// What differs from startState, as "i0=0 o2=0 c5=65538".
QString changes(const IoState &io) {
    const IoState s = startState();
    QStringList out;
    for (int i = 0; i < ioTableSize; ++i) {
        if (io.inputs[i] != s.inputs[i])
            out << QString("i%1=%2").arg(i).arg(io.inputs[i]);
        if (io.outputs[i] != s.outputs[i])
            out << QString("o%1=%2").arg(i).arg(io.outputs[i]);
        if (io.counters[i] != s.counters[i])
            out << QString("c%1=%2").arg(i).arg(io.counters[i]);
    }
    return out.join(' ');
}

QStringList ruleAndHeader(const char *prefix, const char *tid, const char *len, const char *fcd) {
    const QString rule(38, '-');
    return {prefix,
            rule,
            QString("TID: ") + tid,
            "PID: 0000",
            QString("Len: ") + len,
            "UID: 01",
            QString("FCd: ") + fcd};
}

} // namespace

class TestModbusCodec : public QObject {
    Q_OBJECT
private slots:
    void requests_data() {
        QTest::addColumn<QString>("func");
        QTest::addColumn<QString>("method");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("lastInput");
        QTest::addColumn<int>("lastOutput");
        QTest::addColumn<bool>("outputOn"); // IoState.outputs[value] for the toggle
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("inputs get") << "inputs"
                                    << "get" << qint64(0) << 1 << 1 << false
                                    << hexBytes("0001 0000 0006 01 04 2000 0001");
        QTest::newRow("outputs get") << "outputs"
                                     << "get" << qint64(0) << 1 << 1 << false
                                     << hexBytes("0001 0000 0006 01 03 2002 0001");
        QTest::newRow("outputs set 12In/12Out 0FFF") << "outputs"
                                                     << "set" << qint64(0x0FFF) << 11 << 11 << false
                                                     << hexBytes("0001 0000 0009 01 0F 1020 000C 02 FF0F");
        QTest::newRow("outputs set 8Out 00AA, high bits unused")
            << "outputs"
            << "set" << qint64(0x7F00AA) << 0 << 7 << false
            << hexBytes("0001 0000 0008 01 0F 1020 0008 01 AA");
        // Nine coils need two bytes: one bit per coil.
        QTest::newRow("outputs set 9 coils") << "outputs"
                                             << "set" << qint64(0x1FF) << 0 << 8 << false
                                             << hexBytes("0001 0000 0009 01 0F 1020 0009 02 FF01");
        QTest::newRow("toggle output 2 while off")
            << "output"
            << "set" << qint64(2) << 1 << 7 << false << hexBytes("0001 0000 0006 01 05 1022 FF00");
        QTest::newRow("toggle output 2 while on")
            << "output"
            << "set" << qint64(2) << 1 << 7 << true << hexBytes("0001 0000 0006 01 05 1022 0000");
        QTest::newRow("counter get 5")
            << "counter"
            << "get" << qint64(5) << 15 << 15 << false << hexBytes("0001 0000 0006 01 03 5010 0002");
        QTest::newRow("counter clear 5") << "counter"
                                         << "set" << qint64(5) << 15 << 15 << false
                                         << hexBytes("0001 0000 000B 01 10 5010 0002 04 00000000");
        QTest::newRow("counters get 16In/Out")
            << "counters"
            << "get" << qint64(0) << 15 << 15 << false << hexBytes("0001 0000 0006 01 04 5006 0020");
        QTest::newRow("counters clear 16In/Out")
            << "counters"
            << "set" << qint64(0) << 15 << 15 << false
            << hexBytes("0001 0000 0047 01 10 5006 0020 40") + QByteArray(64, '\0');
        QTest::newRow("counters clear 2In/2Out")
            << "counters"
            << "set" << qint64(0) << 1 << 1 << false
            << hexBytes("0001 0000 000F 01 10 5006 0004 08 0000000000000000");
    }
    void requests() {
        QFETCH(QString, func);
        QFETCH(QString, method);
        QFETCH(qint64, value);
        QFETCH(int, lastInput);
        QFETCH(int, lastOutput);
        QFETCH(bool, outputOn);
        QFETCH(QByteArray, frame);
        IoState io;
        io.outputs[2] = outputOn;
        const auto adu =
            modbus::buildRequest(func, method, value, 1, quint16(lastInput), quint16(lastOutput), io);
        QVERIFY(adu);
        QCOMPARE(adu->toHex(' '), frame.toHex(' '));
        QCOMPARE(adu->size(), 6 + (quint8(frame[4]) << 8 | quint8(frame[5])));
    }

    void unknownRequestHasNoFrame() {
        QVERIFY(!modbus::buildRequest("inputs", "set", 0, 1, 1, 1, IoState{}));
        QVERIFY(!modbus::buildRequest("output", "get", 0, 1, 1, 1, IoState{}));
        QVERIFY(!modbus::buildRequest("", "", 0, 1, 1, 1, IoState{}));
    }

    void requestReport() {
        const auto adu = modbus::buildRequest("inputs", "get", 0, 0xBEEF, 1, 1, IoState{});
        QCOMPARE(adu->left(2), hexBytes("BEEF"));
        QCOMPARE(modbus::frameReport("Modbus ->", *adu),
                 (ruleAndHeader("Modbus ->", "BEEF", "0006", "04") +
                  QStringList{"20 00 00 01 ", QString(38, '-') + "\r\n"}));
    }

    // The dump breaks the line after every 16th byte: 69 bytes after the
    // function code make four full lines and a fifth of five bytes.
    void longDumpBreaksEvery16Bytes() {
        const auto adu = modbus::buildRequest("counters", "set", 0, 0x12, 15, 15, IoState{});
        const QStringList lines = modbus::frameReport("Modbus ->", *adu);
        QCOMPARE(lines.mid(0, 7), ruleAndHeader("Modbus ->", "0012", "0047", "10"));
        const QString zeros16 = QString("00 ").repeated(16) + "\r\n";
        QCOMPARE(lines[7], "50 06 00 20 40 " + QString("00 ").repeated(11) + "\r\n" + zeros16 + zeros16 +
                               zeros16 + QString("00 ").repeated(5));
        QCOMPARE(lines.size(), 9);
    }

    void replies_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("lastInput");
        QTest::addColumn<int>("lastOutput");
        QTest::addColumn<int>("counterIndex");
        QTest::addColumn<QString>("changed");
        QTest::addColumn<bool>("refresh");
        QTest::addColumn<QString>("followUp"); // "func method value" or empty

        QTest::newRow("outputs word, 8Out")
            << hexBytes("0002 0000 0005 01 03 02 01A5") << 0 << 7 << 0 << "o1=0 o3=0 o4=0 o6=0" << true << "";
        QTest::newRow("single counter at its index")
            << hexBytes("0003 0000 0007 01 03 04 00010002") << 15 << 15 << 5 << "c5=65538" << true << "";
        QTest::newRow("inputs word") << hexBytes("0001 0000 0005 01 04 02 0005") << 3 << 3 << 0 << "i1=0 i3=0"
                                     << true << "";
        QTest::newRow("all counters") << hexBytes("0004 0000 000B 01 04 08 FFFFFFFF 00000000") << 1 << 1 << 0
                                      << "c0=4294967295 c1=0" << true << "";
        // Fewer registers than the device type has: only those that came.
        QTest::newRow("all counters, fewer came") << hexBytes("0004 0000 000B 01 04 08 00000001 00000002")
                                                  << 3 << 3 << 0 << "c0=1 c1=2" << true << "";
        // The byte count covers less than the frame holds.
        QTest::newRow("byte count shorter than data")
            << hexBytes("0004 0000 000B 01 04 04 00000001 00000002") << 1 << 1 << 0 << "c0=1" << true << "";
        QTest::newRow("outputs word without data")
            << hexBytes("0002 0000 0003 01 03 00") << 0 << 7 << 0 << "" << false << "";
        QTest::newRow("counter index outside the table")
            << hexBytes("0003 0000 0007 01 03 04 00010002") << 15 << 15 << 30 << "" << false << "";
        QTest::newRow("single coil echo")
            << hexBytes("0005 0000 0006 01 05 1022 FF00") << 1 << 1 << 0 << "" << false << "outputs get 0";
        QTest::newRow("single coil echo past the outputs")
            << hexBytes("0005 0000 0006 01 05 1030 FF00") << 1 << 1 << 0 << "" << false << "";
        QTest::newRow("multiple coils echo")
            << hexBytes("0006 0000 0006 01 0F 1020 000C") << 11 << 11 << 0 << "" << false << "outputs get 0";
        QTest::newRow("multiple coils elsewhere")
            << hexBytes("0006 0000 0006 01 0F 1021 000C") << 11 << 11 << 0 << "" << false << "";
        QTest::newRow("one counter cleared")
            << hexBytes("0007 0000 0006 01 10 5010 0002") << 15 << 15 << 5 << "" << false << "counter get 5";
        QTest::newRow("all counters cleared")
            << hexBytes("0008 0000 0006 01 10 5006 0020") << 15 << 15 << 5 << "" << false << "counters get 0";
        QTest::newRow("exception 0x83")
            << hexBytes("0009 0000 0003 01 83 02") << 15 << 15 << 0 << "" << false << "";
        QTest::newRow("exception 0x84")
            << hexBytes("0009 0000 0003 01 84 02") << 15 << 15 << 0 << "" << false << "";
        QTest::newRow("function 1") << hexBytes("0009 0000 0004 01 01 01 FF") << 15 << 15 << 0 << "" << false
                                    << "";
        // Read at face value: neither identifier is compared.
        QTest::newRow("foreign ids") << hexBytes("7777 1234 0005 09 04 02 0000") << 1 << 1 << 0 << "i0=0 i1=0"
                                     << true << "";
    }
    void replies() {
        QFETCH(QByteArray, frame);
        QFETCH(int, lastInput);
        QFETCH(int, lastOutput);
        QFETCH(int, counterIndex);
        QFETCH(QString, changed);
        QFETCH(bool, refresh);
        QFETCH(QString, followUp);
        IoState io = startState();
        const modbus::ReplyOutcome out =
            modbus::applyReply(frame, io, quint16(lastInput), quint16(lastOutput), quint16(counterIndex));
        QCOMPARE(changes(io), changed);
        QCOMPARE(out.refresh, refresh);
        QCOMPARE(
            out.followUp
                ? QString("%1 %2 %3").arg(out.followUp->func, out.followUp->method).arg(out.followUp->value)
                : QString(),
            followUp);
    }

    void exceptionReport() {
        QCOMPARE(modbus::frameReport("Modbus <-", hexBytes("0009 0000 0003 01 83 02")),
                 (ruleAndHeader("Modbus <-", "0009", "0003", "83") +
                  QStringList{"02 ", QString(38, '-') + "\r\n"}));
    }

    // A frame cut short shows what came and marks the fields that did not.
    void shortFrameReport() {
        QCOMPARE(modbus::frameReport("Modbus <-", hexBytes("0001 0000 0000")),
                 (QStringList{"Modbus <-", QString(38, '-'), "TID: 0001", "PID: 0000", "Len: 0000", "UID: --",
                              "FCd: --", "", QString(38, '-') + "\r\n"}));
        // The length announces 253 bytes after the function code; 2 came.
        QCOMPARE(modbus::frameReport("Modbus <-", hexBytes("0001 0000 00FF 01 03 02 00")).at(7),
                 QString("02 00 "));
    }

    void threeRepliesInOneBlock() {
        const QByteArray a = hexBytes("0001 0000 0005 01 04 02 0005"),
                         b = hexBytes("0002 0000 0005 01 03 02 0003"),
                         c = hexBytes("0003 0000 000B 01 04 08 00000001 00000002");
        modbus::AduStream s;
        QCOMPARE(s.feed(a + b + c), (QList<QByteArray>{a, b, c}));
        QVERIFY(s.buffered().isEmpty());
    }

    // One reply split at every position comes out whole, once.
    void splitAtEveryByte() {
        const QByteArray a = hexBytes("0003 0000 000B 01 04 08 00000001 00000002");
        for (int cut = 1; cut < a.size(); ++cut) {
            modbus::AduStream s;
            QVERIFY(s.feed(a.left(cut)).isEmpty());
            QCOMPARE(s.feed(a.mid(cut)), QList<QByteArray>{a});
            QVERIFY(s.buffered().isEmpty());
        }
        modbus::AduStream s;
        QList<QByteArray> out;
        for (char byte : a)
            out += s.feed(QByteArray(1, byte));
        QCOMPARE(out, QList<QByteArray>{a});
    }

    void tenRepliesAndATail() {
        QByteArray block;
        QList<QByteArray> frames;
        for (int i = 0; i < 10; ++i) {
            frames << hexBytes("0000 0000 0005 01 04 02 0000");
            frames.last()[1] = char(i);
            block += frames.last();
        }
        modbus::AduStream s;
        QCOMPARE(s.feed(block + hexBytes("0011 0000 00")), frames);
        QCOMPARE(s.buffered(), hexBytes("0011 0000 00"));
        s.clear();
        QVERIFY(s.buffered().isEmpty());
    }

    // A length that cannot be framed: what is buffered is one response and
    // the buffer starts afresh, so the next reply frames again.
    void unframeableLengths_data() {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("0") << hexBytes("0001 0000 0000 01 03 02 0001");
        QTest::newRow("1") << hexBytes("0001 0000 0001 01 03 02 0001");
        QTest::newRow("255") << hexBytes("0001 0000 00FF 01 03 02 0001");
        QTest::newRow("65535") << hexBytes("0001 0000 FFFF 01 03 02 0001");
    }
    void unframeableLengths() {
        QFETCH(QByteArray, bad);
        modbus::AduStream s;
        QVERIFY(s.feed(bad.left(5)).isEmpty());
        QCOMPARE(s.feed(bad.mid(5)), QList<QByteArray>{bad});
        QVERIFY(s.buffered().isEmpty());
        const QByteArray good = hexBytes("0002 0000 0005 01 04 02 0001");
        QCOMPARE(s.feed(good), QList<QByteArray>{good});
        // Reading it never goes past its bytes.
        IoState io;
        modbus::frameReport("Modbus <-", bad);
        modbus::applyReply(bad, io, 15, 15, 0);
    }

    // Random bytes in random pieces: the buffer stays bounded, and every
    // frame handed out can be reported and read (ASan watches the reads).
    void randomBytes() {
        QRandomGenerator rng(11);
        modbus::AduStream s;
        IoState io;
        for (int round = 0; round < 3000; ++round) {
            QByteArray piece(int(rng.bounded(257)), '\0');
            for (char &c : piece)
                c = char(rng.bounded(256));
            if (rng.bounded(4) == 0 && piece.size() >= 6) {
                piece[4] = 0; // now and then a length that frames
                piece[5] = char(rng.bounded(2, 40));
            }
            for (const QByteArray &frame : s.feed(piece)) {
                modbus::frameReport("Modbus <-", frame);
                modbus::applyReply(frame, io, quint16(rng.bounded(16)), quint16(rng.bounded(16)),
                                   quint16(rng.bounded(40)));
            }
            QVERIFY(s.buffered().size() < 6 + modbus::maxLength);
        }
    }
};

QTEST_GUILESS_MAIN(TestModbusCodec)
#include "tst_modbuscodec.moc"
