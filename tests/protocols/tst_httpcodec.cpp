#include "protocols/ascii/asciicodec.h"
#include "protocols/http/httpcodec.h"

#include <QtTest>

namespace {

// What the scanner hands to the parser for a response fed in the given
// chunks, the device closing the connection at the end.
QStringList stateLines(const QStringList &chunks) {
    http::StateLineScanner scanner;
    QStringList lines;
    for (const QString &chunk : chunks)
        if (const auto line = scanner.feed(chunk))
            lines << *line;
    if (const auto line = scanner.finish())
        lines << *line;
    return lines;
}

// The I/O state after the parser has read those lines (two inputs, two outputs).
IoState stateAfter(const QStringList &chunks) {
    IoState io;
    for (const QString &line : stateLines(chunks))
        ascii::parseReply(line, modeHttp, io, 1, 1);
    return io;
}

const QString example = QStringLiteral("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n"
                                       "input;0001;output;0000;counter;5;6\r\n");

} // namespace

class TestHttpCodec : public QObject {
    Q_OBJECT
private slots:
    void paths_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("read all") << http::readAll("pw") << "/allout?PW=pw&";
        QTest::newRow("read all, empty password") << http::readAll("") << "/allout?PW=&";
        QTest::newRow("inputs") << http::readInputs("pw") << "/input?PW=pw&";
        QTest::newRow("outputs") << http::readOutputs("pw") << "/output?PW=pw&";
        QTest::newRow("counters") << http::readCounters("pw") << "/counter?PW=pw&";
        QTest::newRow("clear counters") << http::clearCounters("pw") << "/counterclear?PW=pw&";
        QTest::newRow("counter 12") << http::readCounter("pw", 12) << "/counter12?PW=pw&";
        QTest::newRow("clear counter 0") << http::clearCounter("pw", 0) << "/counterclear0?PW=pw&";
        QTest::newRow("mask") << http::setOutputs("p w", "00FF", "0003")
                              << "/outputaccess?PW=p w&Mask=00FF&State=0003&";
        QTest::newRow("all outputs") << http::setAllOutputs("pw", "8") << "/outputaccess?PW=pw&State=8&";
        QTest::newRow("toggle 3") << http::toggleOutput("pw", 3) << "/outputaccess3?PW=pw&State=TOGGLE&";
    }
    void paths() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(path, expected);
    }

    void requestAndItsReport() {
        QCOMPARE(http::requestText("/input?PW=&", "10.0.0.7"),
                 QString("GET /input?PW=& HTTP/1.1\r\nHost: 10.0.0.7\r\n\r\n"));
        QCOMPARE(http::requestReport("/input?PW=&", "10.0.0.7"),
                 QString("HTTP -> GET /input?PW=& HTTP/1.1\r\nHTTP -> Host: 10.0.0.7\r\n\r\n"));
    }

    void receiveReport() {
        QCOMPARE(http::receiveReport("ab\r\n"),
                 (QStringList{"HTTP <- Bytes received 4",
                              "------------------------------------------------------------", "ab\r\n",
                              "--------------  End of receive  ----------------------------\r\n"}));
    }

    void scannerPicksTheStateLine_data() {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("the device's answer")
            << QStringList{example} << QStringList{"input;0001;output;0000;counter;5;6\r"};
        QTest::newRow("output after input: the output line")
            << QStringList{"HTTP/1.1 200 OK\r\n\r\ninput;0003\r\noutput;0001\r\n"}
            << QStringList{"output;0001\r"};
        QTest::newRow("no state line")
            << QStringList{"HTTP/1.1 404 Not Found\r\n\r\nnothing here\r\n"} << QStringList{};
        QTest::newRow("last line without LF, read at the close")
            << QStringList{"HTTP/1.1 200 OK\r\n\r\n", "output;0001"} << QStringList{"output;0001"};
        QTest::newRow("cut inside the word")
            << QStringList{"HTTP/1.1 200 OK\r\n\r\ninp", "ut;0001\r\n"} << QStringList{"input;0001\r"};
        QTest::newRow("one line in three chunks")
            << QStringList{"counter;12", "34", ";6\r\n"} << QStringList{"counter;1234;6\r"};
        QTest::newRow("each chunk with its own line") << QStringList{"output;0001\r\n", "output;0000\r\n"}
                                                      << QStringList{"output;0001\r", "output;0000\r"};
        QTest::newRow("garbage") << QStringList{QString::fromLatin1("\x01\xff;;\n\n;;input"), "\r\n\r"}
                                 << QStringList{";;input\r"};
    }
    void scannerPicksTheStateLine() {
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, lines);
        QCOMPARE(stateLines(chunks), lines);
    }

    // However the response is cut in two, the state comes out as from one chunk.
    void everyCutGivesTheSameState() {
        const IoState whole = stateAfter({example});
        QCOMPARE(whole.inputs[0], quint16(1));
        QCOMPARE(whole.counters[0], 5u);
        QCOMPARE(whole.counters[1], 6u);
        const QString tight = QStringLiteral("input;0003;output;0002;counter;1234;56");
        const IoState closing = stateAfter({tight});
        for (int cut = 0; cut <= example.size(); ++cut) {
            const IoState io = stateAfter({example.left(cut), example.mid(cut)});
            QVERIFY2(io.inputs == whole.inputs && io.outputs == whole.outputs &&
                         io.counters == whole.counters,
                     qPrintable(QString::number(cut)));
        }
        for (int cut = 0; cut <= tight.size(); ++cut) {
            const IoState io = stateAfter({tight.left(cut), tight.mid(cut)});
            QVERIFY2(io.counters == closing.counters && io.outputs == closing.outputs,
                     qPrintable(QString::number(cut)));
        }
        QCOMPARE(closing.counters[0], 1234u);
    }

    // A device that never ends its line cannot grow the buffer without end,
    // and the overlong line is dropped whole, up to its LF.
    void pendingTextIsBounded() {
        http::StateLineScanner scanner;
        const QString flood(16 * 1024, QLatin1Char('x'));
        for (int i = 0; i < 640; ++i) { // 10 MB
            QVERIFY(!scanner.feed(flood));
            QVERIFY(scanner.pending().size() <= http::StateLineScanner::maxPending);
        }
        QVERIFY(!scanner.feed("input;0001\r\noutp"));
        QCOMPARE(scanner.feed("ut;0001\r\n"), std::optional<QString>("output;0001\r"));
        QVERIFY(!scanner.feed(QString(70 * 1024, QLatin1Char('y')) + "input;0001"));
        QVERIFY(!scanner.finish());
        QVERIFY(scanner.pending().isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestHttpCodec)
#include "tst_httpcodec.moc"
