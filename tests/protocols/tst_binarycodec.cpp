#include "core/errors.h"
#include "protocols/binary/binarycodec.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace binary;

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// The first four entries of a table as text: "1010" or "12,0,99,99".
template <typename T> QString firstFour(const std::array<T, ioTableSize> &a, bool flags) {
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << QString::number(a[i]);
    return parts.join(flags ? "" : ",");
}

IoState startState() {
    IoState io;
    io.outputs.fill(1);
    io.counters.fill(99);
    return io;
}

// Every structure a stream yields for the given pieces, in order.
QList<QByteArray> cutStream(const QList<QByteArray> &pieces) {
    StructureStream stream;
    QList<QByteArray> out;
    for (const QByteArray &piece : pieces) {
        stream.append(piece);
        while (const auto s = stream.next())
            out << *s;
    }
    return out;
}

const QByteArray regState = hex("0000 0000 3100 0E00 0000 0500 0200");
const QByteArray authOK = hex("0000 0000 0580 0800");

} // namespace

class TestBinaryCodec : public QObject {
    Q_OBJECT
private slots:
    // ---- requests ----

    void requests_data() {
        QTest::addColumn<QString>("structtype");
        QTest::addColumn<quint32>("value1");
        QTest::addColumn<quint32>("value2");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("report");
        const QStringList zero{"0000", "0000"};
        QTest::newRow("setbit") << "setbit" << 5u << 4u << "1" << hex("0000 0000 0900 0C00 0500 0400")
                                << QStringList{"BINARY -> send struct SetBit"} + zero +
                                       QStringList{"0009", "000C", "0005", "0004"};
        QTest::newRow("writeregister")
            << "writeregister" << 0x0102u << 0u << "1" << hex("0000 0000 0800 0C00 0100 0201")
            << QStringList{"BINARY -> send struct Writeregister"} + zero +
                   QStringList{"0008", "000C", "0001", "0102"};
        QTest::newRow("readclearcounter")
            << "readclearcounter" << 3u << 0u << "1" << hex("0000 0000 C000 0A00 0300")
            << QStringList{"BINARY -> send struct Readcounter"} + zero + QStringList{"00C0", "000A", "0003"};
        QTest::newRow("readcounter cut to 16 bits")
            << "readcounter" << 0x12345u << 0u << "1" << hex("0000 0000 B000 0A00 4523")
            << QStringList{"BINARY -> send struct Readcounter"} + zero + QStringList{"00B0", "000A", "2345"};
        QTest::newRow("options") << "options" << 7u << 7u << "1"
                                 << hex("0000 0000 F001 1000 0100 0000 0100 0000")
                                 << QStringList{"BINARY -> send struct Options"} + zero +
                                        QStringList{"01F0", "0010", "00000001", "00000001"};
        QTest::newRow("options hexadecimal")
            << "options" << 0u << 0u << "10" << hex("0000 0000 F001 1000 0100 0000 1000 0000")
            << QStringList{"BINARY -> send struct Options"} + zero +
                   QStringList{"01F0", "0010", "00000001", "00000010"};
        QTest::newRow("registerrequest")
            << "registerrequest" << 0u << 0u << "" << hex("0000 0000 2100 0800")
            << QStringList{"BINARY -> send struct RegisterRequest", "0000", "0000", "0021", "0008"};
        QTest::newRow("readregister")
            << "readregister" << 0u << 0u << "" << hex("0000 0000 0100 0800")
            << QStringList{"BINARY -> send struct ReadRegister"} + zero + QStringList{"0001", "0008"};
        QTest::newRow("readallcounter")
            << "readallcounter" << 0u << 0u << "" << hex("0000 0000 B100 0800")
            << QStringList{"BINARY -> send struct ReadAllCounter"} + zero + QStringList{"00B1", "0008"};
        QTest::newRow("clearallcounter")
            << "clearallcounter" << 0u << 0u << "" << hex("0000 0000 C100 0800")
            << QStringList{"BINARY -> send struct ClearAllCounter"} + zero + QStringList{"00C1", "0008"};
    }
    void requests() {
        QFETCH(QString, structtype);
        QFETCH(quint32, value1);
        QFETCH(quint32, value2);
        QFETCH(QString, option);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, report);
        const auto r = buildRequest(structtype, value1, value2, option);
        QVERIFY(r);
        QCOMPARE(r->bytes.toHex(' '), bytes.toHex(' '));
        QCOMPARE(r->reportLines, report);
        QCOMPARE(word16(r->bytes, 6), r->bytes.size()); // the length field tells the truth
    }

    void unknownOrBadRequests() {
        QVERIFY(!buildRequest("SetBit", 1, 1, "1")); // names are case-sensitive
        QVERIFY(!buildRequest("", 1, 1, "1"));
        // The option text is read only for "options", and strictly there.
        QVERIFY(buildRequest("setbit", 1, 1, "zz"));
        try {
            buildRequest("options", 0, 0, "");
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QString("'$' ist kein gültiger Integerwert"));
        }
    }

    // ---- decoding ----

    void replies_data() {
        QTest::addColumn<QByteArray>("structure");
        QTest::addColumn<int>("lastInput");
        QTest::addColumn<int>("lastOutput");
        QTest::addColumn<QString>("inputs");
        QTest::addColumn<QString>("outputs");
        QTest::addColumn<QString>("counters");
        QTest::addColumn<QStringList>("report");
        QTest::addColumn<bool>("refresh");
        const QString keepO = "1111", keepC = "99,99,99,99";
        QTest::newRow("RegState 4 in, 4 out")
            << regState << 3 << 3 << "1010"
            << "0100" << keepC << QStringList{"BINARY <- receive struct RegState",
                                              "0000",
                                              "0000",
                                              "0031",
                                              "000E",
                                              "0005",
                                              "0002"}
            << true;
        QTest::newRow("RegState bits only up to the bounds")
            << regState << 1 << 0 << "1000"
            << "0111" << keepC << QStringList{"BINARY <- receive struct RegState",
                                              "0000",
                                              "0000",
                                              "0031",
                                              "000E",
                                              "0005",
                                              "0002"}
            << true;
        QTest::newRow("RegState32") << hex("0000 0000 3101 1400 0000 0000 0500 0100 0200 0000") << 3 << 3
                                    << "1010"
                                    << "0100" << keepC << QStringList{"BINARY <- receive struct RegState",
                                                                      "0000",
                                                                      "0000",
                                                                      "0131",
                                                                      "0014",
                                                                      "00010005",
                                                                      "00000002"}
                                    << true;
        QTest::newRow("WriteRegister") << hex("0000 0000 0800 0C00 0100 0300") << 3 << 3 << "1100" << keepO
                                       << keepC << QStringList{"BINARY <- receive  struct WriteRegister",
                                                               "0000",
                                                               "0000",
                                                               "0008",
                                                               "000C",
                                                               "0001",
                                                               "0003"}
                                       << true;
        QTest::newRow("WriteRegister32")
            << hex("0000 0000 0801 1000 2301 0000 0600 0000") << 3 << 3 << "0110" << keepO << keepC
            << QStringList{"BINARY <- receive  struct WriteRegister",
                           "0000",
                           "0000",
                           "0108",
                           "0010",
                           "0123",
                           "00000006"}
            << true;
        QTest::newRow("Counter") << hex("0000 0000 B400 0E00 0200 7856 3412") << 3 << 3 << "0000" << keepO
                                 << "99,99,305419896,99" << QStringList{"BINARY <- receive struct Counter",
                                                                        "0000",
                                                                        "0000",
                                                                        "00B4",
                                                                        "000E",
                                                                        "0002",
                                                                        "12345678"}
                                 << true;
        QTest::newRow("Counter 99 stores nothing")
            << hex("0000 0000 B400 0E00 6300 0100 0000") << 3 << 3 << "0000" << keepO << keepC
            << QStringList{"BINARY <- receive struct Counter",
                           "0000",
                           "0000",
                           "00B4",
                           "000E",
                           "0063",
                           "00000001"}
            << true;
        QTest::newRow("AllCounter up to lastInput")
            << hex("0000 0000 B500 1A00 0000 0100 0000 0200 0000 0300 0000 0400 0000") << 1 << 1 << "0000"
            << keepO << "1,2,99,99" << QStringList{"BINARY <- receive struct AllCounter",
                                                   "0000",
                                                   "0000",
                                                   "00B5",
                                                   "001A",
                                                   "00000001",
                                                   "00000002"}
            << true;
        QTest::newRow("AllCounter short: zeros")
            << hex("0000 0000 B500 0E00 0000 0700 0000") << 3 << 3 << "0000" << keepO << "7,0,0,0"
            << QStringList{"BINARY <- receive struct AllCounter",
                           "0000",
                           "0000",
                           "00B5",
                           "000E",
                           "00000007",
                           "00000000",
                           "00000000",
                           "00000000"}
            << true;
        QTest::newRow("Diagnoses") << hex("0000 0000 D000 1800 0100 0000 0200 0000 0300 0000 0400 0000") << 3
                                   << 3 << "0000" << keepO << keepC
                                   << QStringList{"BINARY <- receive struct Diagnoses",
                                                  "0000",
                                                  "0000",
                                                  "00D0",
                                                  "0018",
                                                  "00000001",
                                                  "00000002",
                                                  "00000003",
                                                  "00000004"}
                                   << false;
        QTest::newRow("AuthOK")
            << authOK << 3 << 3 << "0000" << keepO << keepC
            << QStringList{"BINARY <- receive struct AuthOK", "0000", "0000", "8005", "0008", ""} << false;
        QTest::newRow("unknown") << hex("0100 0200 7777 0800") << 3 << 3 << "0000" << keepO << keepC
                                 << QStringList{"unknowen Structure Received", ""} << false;
        QTest::newRow("three bytes") << hex("010203") << 3 << 3 << "0000" << keepO << keepC
                                     << QStringList{"unknowen Structure Received", ""} << false;
    }
    void replies() {
        QFETCH(QByteArray, structure);
        QFETCH(int, lastInput);
        QFETCH(int, lastOutput);
        QFETCH(QStringList, report);
        QFETCH(bool, refresh);
        IoState io = startState();
        const Decoded d = decode(structure, io, quint16(lastInput), quint16(lastOutput), "pw");
        QTEST(firstFour(io.inputs, true), "inputs");
        QTEST(firstFour(io.outputs, true), "outputs");
        QTEST(firstFour(io.counters, false), "counters");
        QCOMPARE(d.reportLines, report);
        QCOMPARE(d.refresh, refresh);
        QVERIFY(d.answer.isEmpty());
        QVERIFY(!d.closeClient);
    }

    void authRequiredAsksForTheKey() {
        IoState io;
        const Decoded d = decode(hex("0000 0000 0480 0800"), io, 3, 3, "pw");
        QCOMPARE(d.answer, hex("0000 0000 0280 0800"));
        QCOMPARE(d.reportLines,
                 (QStringList{"BINARY <- receive struct AuthRequired", "0000", "0000", "8004", "0008", ""}));
        QCOMPARE(d.answerLines,
                 (QStringList{"BINARY <- Send struct KeyRequest", "0000", "0000", "8002", "0008"}));
        QVERIFY(!d.refresh);
    }

    void authFailClosesTheClient() {
        IoState io;
        const Decoded d = decode(hex("0000 0000 0680 0800"), io, 3, 3, "pw");
        QVERIFY(d.closeClient);
        QCOMPARE(d.reportLines,
                 (QStringList{"BINARY <- receive struct AuthFail", "0000", "0000", "8006", "0008"}));
    }

    void keyIsAnswered_data() {
        QTest::addColumn<QByteArray>("structure");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("length"); // the report's length line
        QTest::addColumn<QString>("response");
        QTest::newRow("four key bytes") << hex("0000 0000 0380 1000 0400 0000 6162 6364") << "pw"
                                        << "00000004"
                                        << "B6B2293B1A57C9A67E2F1752735B21ED"; // MD5 of "pwabcd"
        QTest::newRow("L = 0 hashes the password alone")
            << hex("0000 0000 0380 1000 0000 0000 6162 6364") << "pw"
            << "00000000"
            << "8FE4C11451281C094A6578E6DDBF5EED";
        QTest::newRow("L = 0, empty password: the empty text") << hex("0000 0000 0380 0C00 0000 0000") << ""
                                                               << "00000000"
                                                               << "D41D8CD98F00B204E9800998ECF8427E";
        // Bytes, never an encoding: "ä" is the one byte E4, key byte FF is FF.
        QTest::newRow("bytes above 7F")
            << hex("0000 0000 0380 0D00 0100 0000 FF") << QString(QChar(0xE4)) << "00000001"
            << "4B7F956B48981476C7FEE82E8C4BD190";
        QTest::newRow("L beyond the structure: the bytes present")
            << hex("0000 0000 0380 1000 FFFF FFFF 0102 0304") << "pw"
            << "FFFFFFFF"
            << "493C90FC629988A293A450A5B3E93A9B";
    }
    void keyIsAnswered() {
        QFETCH(QByteArray, structure);
        QFETCH(QString, password);
        QFETCH(QString, length);
        QFETCH(QString, response);
        IoState io;
        const Decoded d = decode(structure, io, 3, 3, password);
        QCOMPARE(d.answer, hex("0000 0000 0180 2800") + response.toLatin1());
        QCOMPARE(d.answer.size(), 40);
        QCOMPARE(d.reportLines.mid(0, 6), (QStringList{"BINARY <- receive struct Key", "0000", "0000", "8003",
                                                       hex4(word16(structure, 6)), length}));
        QCOMPARE(d.reportLines.size(), 11);
        QCOMPARE(d.reportLines.last(), QString());
        QCOMPARE(d.answerLines,
                 (QStringList{"BINARY <- Send struct Login", "0000", "0000", "8001", "0028", response}));
        QVERIFY(!d.refresh);
    }

    void keyDumpShowsSixtyFourBytes() {
        QByteArray key = hex("0000 0000 0380 5000 4400 0000");
        for (int i = 0; i < 68; ++i)
            key += char(i);
        IoState io;
        const Decoded d = decode(key, io, 3, 3, "");
        QCOMPARE(d.reportLines.mid(6, 4), (QStringList{"00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ",
                                                       "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ",
                                                       "20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F ",
                                                       "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F "}));
    }

    void md5Vectors() {
        // RFC 1321, appendix A.5.
        QCOMPARE(md5Hex(""), QString("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(md5Hex("abc"), QString("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(md5Hex("message digest"), QString("f96b697d7cb7938d525a2f31aaf161d0"));
    }

    // ---- framing ----

    void streamCutsStructures() {
        // Two in one piece.
        QCOMPARE(cutStream({regState + authOK}), (QList<QByteArray>{regState, authOK}));
        // Split at every position: the same two, and nothing else.
        const QByteArray both = regState + authOK;
        for (int at = 0; at <= both.size(); ++at)
            QCOMPARE(cutStream({both.left(at), both.mid(at)}), (QList<QByteArray>{regState, authOK}));
        // A long structure: its first 128 bytes, and all of it consumed.
        QByteArray longOne = hex("0000 0000 D000 C800") + QByteArray(192, 'x');
        const QList<QByteArray> cut = cutStream({longOne + authOK});
        QCOMPARE(cut.size(), 2);
        QCOMPARE(cut[0], longOne.left(bufferSize));
        QCOMPARE(cut[1], authOK);
    }

    void implausibleLengthsFallIntoStep_data() {
        QTest::addColumn<QByteArray>("garbage");
        QTest::newRow("zero") << hex("0000 0000 3100 0000 0500");
        QTest::newRow("below the header") << hex("0000 0000 3100 0500");
        QTest::newRow("huge") << hex("0000 0000 3100 FFFF 0500 0600");
    }
    void implausibleLengthsFallIntoStep() {
        QFETCH(QByteArray, garbage);
        // What is buffered is one structure; the next piece starts afresh.
        QCOMPARE(cutStream({garbage + authOK, regState}), (QList<QByteArray>{garbage + authOK, regState}));
    }

    void streamIsBounded() {
        StructureStream stream;
        // A structure that never completes does not make the buffer grow.
        stream.append(hex("0000 0000 3100 0004"));
        for (int i = 0; i < 100; ++i)
            stream.append(QByteArray(4096, '\0'));
        QVERIFY(stream.buffered() <= StructureStream::maxBuffered);
        QVERIFY(stream.next()); // 1024 bytes complete it
    }

    void datagramsHoldWholeStructures_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QList<QByteArray>>("structures");
        QTest::newRow("one") << regState << QList<QByteArray>{regState};
        QTest::newRow("two") << regState + authOK << QList<QByteArray>{regState, authOK};
        QTest::newRow("short alone") << hex("0000 0000 05") << QList<QByteArray>{hex("0000 0000 05")};
        QTest::newRow("short tail dropped") << regState + hex("0000") << QList<QByteArray>{regState};
        QTest::newRow("incomplete last")
            << authOK + regState.left(10) << QList<QByteArray>{authOK, regState.left(10)};
        QTest::newRow("implausible length")
            << hex("0000 0000 3100 0000") + authOK << QList<QByteArray>{hex("0000 0000 3100 0000") + authOK};
    }
    void datagramsHoldWholeStructures() {
        QFETCH(QByteArray, datagram);
        QTEST(splitDatagram(datagram), "structures");
    }

    void tenThousandStructuresInOnePiece() {
        QByteArray piece;
        for (int i = 0; i < 10000; ++i)
            piece += authOK;
        QCOMPARE(splitDatagram(piece).size(), 10000);
        StructureStream stream;
        int n = 0;
        for (qsizetype at = 0; at < piece.size(); at += 4096) {
            stream.append(piece.mid(at, 4096));
            while (stream.next())
                ++n;
        }
        QCOMPARE(n, 10000);
    }

    void randomBytesNeverReadOutside() {
        // Any bytes end in structures of at most 128 bytes, each decodable.
        QRandomGenerator rng(20261211);
        StructureStream stream;
        IoState io;
        for (int round = 0; round < 2000; ++round) {
            QByteArray piece(int(rng.bounded(1, 300)), '\0');
            for (char &c : piece)
                c = char(rng.bounded(256));
            if (round % 3 == 0)
                piece[6] = char(rng.bounded(12)), piece[7] = 0; // plausible lengths too
            stream.append(piece);
            while (const auto s = stream.next()) {
                QVERIFY(s->size() <= bufferSize);
                decode(*s, io, 15, 15, "pw");
            }
            for (const QByteArray &s : splitDatagram(piece))
                decode(s, io, 15, 15, "pw");
        }
    }
};

QTEST_MAIN(TestBinaryCodec)
#include "tst_binarycodec.moc"
