#include "protocols/ascii/asciicodec.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

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

} // namespace

class TestAsciiCodec : public QObject {
    Q_OBJECT
private slots:
    void replies_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("lastInput");
        QTest::addColumn<int>("lastOutput");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("inputs");
        QTest::addColumn<QString>("outputs");
        QTest::addColumn<QString>("counters");
        QTest::addColumn<QString>("report"); // "-" for no line
        QTest::addColumn<bool>("refresh");

        const QString keepO = "1111", keepC = "99,99,99,99";
        QTest::newRow("long input form")
            << 2 << 1 << 1 << QByteArray("input;0003;output;0001;counter;12;0\0", 36) << "1100"
            << "1011"
            << "12,0,99,99"
            << "TCP ASCII <- input;0003;output;0001;counter;12;0" << true;
        QTest::newRow("short input form") << 2 << 3 << 3 << QByteArray("input;0005\0", 11) << "1010" << keepO
                                          << keepC << "TCP ASCII <- input;0005" << true;
        QTest::newRow("two leading fields") << 2 << 3 << 3 << QByteArray("1;x;input;0005\0", 15) << "1010"
                                            << keepO << keepC << "TCP ASCII <- 1;x;input;0005" << true;
        QTest::newRow("single counter")
            << 2 << 3 << 3 << QByteArray("counter2;77\0", 12) << "0000" << keepO << "99,99,77,99"
            << "TCP ASCII <- counter2;77" << true;
        QTest::newRow("all counters, signed")
            << 4 << 1 << 1 << QByteArray("counter; -5;+3\0", 15) << "0000" << keepO << "4294967291,3,99,99"
            << "UDP ASCII <- counter; -5;+3" << true;
        QTest::newRow("outputs") << 3 << 3 << 2 << QByteArray("output;5\0", 9) << "0000"
                                 << "1011" << keepC << "ASCII Server <- output;5" << true;
        QTest::newRow("32-bit hex") << 2 << 3 << 3 << QByteArray("input;FFFFFFFF\0", 15) << "1111" << keepO
                                    << keepC << "TCP ASCII <- input;FFFFFFFF" << true;
        QTest::newRow("http line ends in CR") << 0 << 3 << 3 << QByteArray("output;1\r") << "0000"
                                              << "1000" << keepC << "-" << true;
        QTest::newRow("CR before the NUL")
            << 2 << 3 << 3 << QByteArray("output;1\r\0", 10) << "0000" << keepO << keepC << "-" << false;
        QTest::newRow("bad hex") << 3 << 3 << 3 << QByteArray("input;00G1\0", 11) << "0000" << keepO << keepC
                                 << "ASCII Server <- input;00G1" << false;
        QTest::newRow("stops at the bad counter")
            << 2 << 3 << 3 << QByteArray("counter;5;6;x;7\0", 16) << "0000" << keepO << "5,6,99,99"
            << "TCP ASCII <- counter;5;6;x;7" << false;
        QTest::newRow("long form missing counters")
            << 2 << 1 << 1 << QByteArray("input;3;output;2;counter\0", 25) << "1100"
            << "0111" << keepC << "TCP ASCII <- input;3;output;2;counter" << false;
        QTest::newRow("huge number") << 2 << 1 << 1 << QByteArray("counter;99999999999;1\0", 22) << "0000"
                                     << keepO << keepC << "TCP ASCII <- counter;99999999999;1" << false;
        QTest::newRow("counter index out of the table")
            << 2 << 3 << 3 << QByteArray("counter99999;5\0", 15) << "0000" << keepO << keepC
            << "TCP ASCII <- counter99999;5" << true;
        QTest::newRow("negative counter index") << 2 << 3 << 3 << QByteArray("counter-1;5\0", 12) << "0000"
                                                << keepO << keepC << "TCP ASCII <- counter-1;5" << true;
        QTest::newRow("other keyword refreshes only") << 2 << 3 << 3 << QByteArray("hello;1\0", 8) << "0000"
                                                      << keepO << keepC << "TCP ASCII <- hello;1" << true;
        QTest::newRow("nothing after the NUL is shown")
            << 3 << 3 << 3 << QByteArray("input;0003\0tail", 15) << "1100" << keepO << keepC
            << "ASCII Server <- input;0003" << true;
        QTest::newRow("no report in binary modes")
            << 5 << 3 << 3 << QByteArray("input;0001\0", 11) << "1000" << keepO << keepC << "-" << true;
        QTest::newRow("empty field 0") << 2 << 3 << 3 << QByteArray(";input;1\0", 9) << "0000" << keepO
                                       << keepC << "TCP ASCII <- ;input;1" << false;
        QTest::newRow("leading fields only") << 2 << 3 << 3 << QByteArray("1;x\0", 4) << "0000" << keepO
                                             << keepC << "TCP ASCII <- 1;x" << false;
        QTest::newRow("empty reply") << 2 << 3 << 3 << QByteArray() << "0000" << keepO << keepC
                                     << "TCP ASCII <- " << false;
    }
    void replies() {
        QFETCH(int, mode);
        QFETCH(int, lastInput);
        QFETCH(int, lastOutput);
        QFETCH(QByteArray, reply);
        QFETCH(QString, inputs);
        QFETCH(QString, outputs);
        QFETCH(QString, counters);
        QFETCH(QString, report);
        QFETCH(bool, refresh);
        IoState io = startState();
        const auto out = ascii::parseReply(QString::fromLatin1(reply), quint16(mode), io, quint16(lastInput),
                                           quint16(lastOutput));
        QCOMPARE(firstFour(io.inputs, true), inputs);
        QCOMPARE(firstFour(io.outputs, true), outputs);
        QCOMPARE(firstFour(io.counters, false), counters);
        QCOMPARE(out.reportLine.value_or("-"), report);
        QCOMPARE(out.refresh, refresh);
        // Nothing beyond the device's bounds is touched.
        QCOMPARE(io.inputs[lastInput + 1 < 4 ? 4 : lastInput + 1], quint16(0));
        for (int i = 4; i < ioTableSize; ++i)
            QCOMPARE(io.counters[i], quint32(99));
    }

    void commands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("text");
        const QString pw = "pw";
        QTest::newRow("read all") << ascii::readAll(pw) << "GET /allout?PW=pw&";
        QTest::newRow("read inputs, empty password") << ascii::readInputs("") << "GET /input?PW=&";
        QTest::newRow("read outputs") << ascii::readOutputs(pw) << "GET /output?PW=pw&";
        QTest::newRow("read counters") << ascii::readCounters(pw) << "GET /counter?PW=pw&";
        QTest::newRow("clear counters") << ascii::clearCounters(pw) << "GET /counterclear?PW=pw&";
        QTest::newRow("read counter 12") << ascii::readCounter(pw, 12) << "GET /counter12?PW=pw&";
        QTest::newRow("clear counter 0") << ascii::clearCounter(pw, 0) << "GET /counterclear0?PW=pw&";
        QTest::newRow("masked set") << ascii::setOutputs(pw, "0F0F", "0FFF")
                                    << "GET /outputaccess?PW=pw&Mask=0F0F&State=0FFF&";
        QTest::newRow("set all") << ascii::setAllOutputs(pw, "0004") << "GET /outputaccess?PW=pw&State=0004&";
        QTest::newRow("toggle") << ascii::toggleOutput(pw, 3) << "GET /outputaccess3?PW=pw&State=TOGGLE&";
        QTest::newRow("clock") << ascii::setClock(pw, "08.03.2021,14:03:09")
                               << "GET /settime?PW=pw&time=08.03.2021,14:03:09&\r\n";
        QTest::newRow("password as typed") << ascii::readAll("a&b c") << "GET /allout?PW=a&b c&";
    }
    void commands() {
        QFETCH(QString, command);
        QFETCH(QString, text);
        QCOMPARE(command, text);
    }

    void streamCutting() {
        ascii::ReplyStream s;
        QCOMPARE(s.feed(QString::fromLatin1("output;1\0output;0\0", 18)),
                 (QStringList{QString::fromLatin1("output;1\0", 9), QString::fromLatin1("output;0\0", 9)}));
        QCOMPARE(s.feed("outp"), QStringList{});
        QCOMPARE(s.feed(QString::fromLatin1("ut;3\0inp", 8)),
                 QStringList{QString::fromLatin1("output;3\0", 9)});
        QCOMPARE(s.buffered(), QString("inp"));
        s.clear();
        QCOMPARE(s.buffered(), QString());

        // Thousands of replies in one chunk.
        QString many;
        for (int i = 0; i < 5000; ++i)
            many += QStringLiteral("counter0;%1").arg(i) + QChar(0);
        QCOMPARE(s.feed(many).size(), 5000);
    }

    // The TCP server's cutting: nothing carried across pieces, but every
    // NUL-ended reply of a piece on its own.
    void pieceCutting_data() {
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::newRow("one reply") << QByteArray("input;0003\0", 11)
                                   << QList<QByteArray>{QByteArray("input;0003\0", 11)};
        QTest::newRow("three replies")
            << QByteArray("input;1\0output;2\0counter;3;4\0", 29)
            << QList<QByteArray>{QByteArray("input;1\0", 8), QByteArray("output;2\0", 9),
                                 QByteArray("counter;3;4\0", 12)};
        QTest::newRow("line ended by CR") << QByteArray("output;1\r") << QList<QByteArray>{"output;1\r"};
        QTest::newRow("text after the last NUL")
            << QByteArray("output;1\0outp", 13) << QList<QByteArray>{QByteArray("output;1\0", 9), "outp"};
        QTest::newRow("NULs only") << QByteArray(2, '\0')
                                   << QList<QByteArray>{QByteArray(1, '\0'), QByteArray(1, '\0')};
        QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
    }
    void pieceCutting() {
        QFETCH(QByteArray, piece);
        QFETCH(QList<QByteArray>, replies);
        QStringList expected;
        for (const QByteArray &r : replies)
            expected << QString::fromLatin1(r);
        QCOMPARE(ascii::cutPiece(QString::fromLatin1(piece)), expected);
    }

    void randomBytesNeverBreakTheReader() {
        // Whatever a device sends ends in a parsed or a dropped reply, with
        // every store inside the tables (the sanitizer build checks that).
        QRandomGenerator random(20261210);
        static const char letters[] = "input;output;counter0123456789ABCDEFabcdefxyz;; -+\r\n\0\xff";
        const QByteArray alphabet(letters, sizeof letters - 1);
        ascii::ReplyStream stream;
        IoState io;
        int replies = 0;
        for (int round = 0; round < 2000; ++round) {
            QByteArray chunk;
            const int size = int(random.bounded(64));
            for (int i = 0; i < size; ++i)
                chunk += random.bounded(4) ? alphabet[int(random.bounded(alphabet.size()))]
                                           : char(random.bounded(256));
            for (const QString &reply : stream.feed(QString::fromLatin1(chunk))) {
                ++replies;
                for (quint16 mode : {quint16(0), quint16(2), quint16(3)})
                    ascii::parseReply(reply, mode, io, 15, 15);
            }
            QVERIFY(stream.buffered().size() <= ascii::ReplyStream::maxBuffered);
        }
        QVERIFY(replies > 100);
    }

    void streamWithoutNulIsBounded() {
        ascii::ReplyStream s;
        const QString junk(100000, QLatin1Char('x'));
        QVERIFY(s.feed(junk).isEmpty());
        QCOMPARE(s.buffered().size(), ascii::ReplyStream::maxBuffered);
        // The newest text is kept, so a reply that then ends is whole.
        s.feed(QString(70000, QLatin1Char('y')) + "output;1");
        const QStringList r = s.feed(QString(QChar(0)));
        QCOMPARE(r.size(), 1);
        QVERIFY(r.first().endsWith(QString::fromLatin1("output;1\0", 9)));
    }
};

QTEST_GUILESS_MAIN(TestAsciiCodec)
#include "tst_asciicodec.moc"
