#include "protocols/rest/restcodec.h"

#include <QtTest>

namespace {

// One entry as the device lays it out: one key per line.
QString entry(const QString &number, const QString &state) {
    return QStringLiteral("{\n\"number\": ") + number + QStringLiteral(",\n\"state\": ") + state +
           QStringLiteral("\n},\n");
}

QString block(const QString &word, const QString &entries) {
    return QLatin1Char('"') + word + QStringLiteral("\": [\n") + entries + QStringLiteral("],\n");
}

QString tree(const QString &blocks) { return QStringLiteral("{\n\"iostate\": {\n") + blocks + "}\n}\n"; }

// io as "i0=1 o1=1 c0=5": the entries that are not 0, in table order.
QString nonZero(const IoState &io) {
    QStringList parts;
    for (int i = 0; i < ioTableSize; ++i)
        if (io.inputs[i])
            parts << QStringLiteral("i%1=%2").arg(i).arg(io.inputs[i]);
    for (int i = 0; i < ioTableSize; ++i)
        if (io.outputs[i])
            parts << QStringLiteral("o%1=%2").arg(i).arg(io.outputs[i]);
    for (int i = 0; i < ioTableSize; ++i)
        if (io.counters[i])
            parts << QStringLiteral("c%1=%2").arg(i).arg(io.counters[i]);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestRestCodec : public QObject {
    Q_OBJECT
private slots:
    void paths() {
        QCOMPARE(rest::url("10.0.0.7", "8080", rest::allPath()), QString("http://10.0.0.7:8080/rest/json"));
        QCOMPARE(rest::iostatePath(), QString("/rest/json/iostate"));
        QCOMPARE(rest::inputsPath(), QString("/rest/json/iostate/input"));
        QCOMPARE(rest::outputsPath(), QString("/rest/json/iostate/output"));
        QCOMPARE(rest::countersPath(), QString("/rest/json/iostate/counter"));
        QCOMPARE(rest::counterPath(3), QString("/rest/json/iostate/counter/3"));
        QCOMPARE(rest::counterClearPath(0), QString("/rest/json/iostate/counterclear/0"));
        QCOMPARE(rest::outputPath(15), QString("/rest/json/iostate/output/15"));
    }

    // Every line once, without the CR of a CR LF body.
    void receiveReport() {
        QCOMPARE(rest::receiveReport("{\r\n\"a\": 1\r\n}"),
                 (QStringList{"Rest <-  Bytes received 12",
                              "------------------------------------------------------------", "{", "\"a\": 1",
                              "}", "--------------  End of receive  ----------------------------\r\n"}));
    }

    void readReply_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("errors");
        const QString full = tree(block("input", entry("0", "1") + entry("1", "0")) +
                                  block("output", entry("0", "0") + entry("1", "1")) +
                                  block("counter", entry("0", "1234") + entry("1", "7")));
        QTest::newRow("three blocks, iostate not kept") << full << "i0=1 o1=1 c0=1234 c1=7" << QStringList{};
        QString crlf = full;
        crlf.replace("\n", "\r\n");
        QTest::newRow("CR LF lines") << crlf << "i0=1 o1=1 c0=1234 c1=7" << QStringList{};
        QTest::newRow("output block alone (a POST's reply)")
            << tree(block("output", entry("3", "1"))) << "o3=1" << QStringList{};
        QTest::newRow("input block alone, every entry")
            << tree(block("input", entry("0", "1") + entry("14", "1") + entry("15", "1")))
            << "i0=1 i14=1 i15=1" << QStringList{};
        QTest::newRow("output block alone, every entry")
            << tree(block("output", entry("0", "1") + entry("1", "1") + entry("2", "1"))) << "o0=1 o1=1 o2=1"
            << QStringList{};
        QTest::newRow("headings in another order")
            << tree(block("counter", entry("1", "9")) + block("output", entry("2", "1")) +
                    block("input", entry("3", "1")))
            << "i3=1 o2=1 c1=9" << QStringList{};
        QTest::newRow("no headings") << "{\n\"number\": 1,\n\"state\": 1\n}\n"
                                     << "" << QStringList{};
        QTest::newRow("empty body") << ""
                                    << "" << QStringList{};
        QTest::newRow("truncated: an odd kept line at the end")
            << "\"input\": [\n\"number\": 0,\n\"state\": 1\n\"number\": 1,\n"
            << "i0=1" << QStringList{};
        QTest::newRow("heading as the last line") << "\"counter\": ["
                                                  << "" << QStringList{};
        QTest::newRow("counter above 2147483647")
            << tree(block("counter", entry("2", "4294967295"))) << "c2=4294967295" << QStringList{};
        QTest::newRow("counter above 2^32 converts to nothing")
            << tree(block("counter", entry("2", "4294967296") + entry("3", "1"))) << "c3=1"
            << QStringList{"'4294967296' ist kein gültiger Integerwert"};
        QTest::newRow("inputs above 65535 saturate")
            << tree(block("input", entry("0", "65536") + entry("1", "99999999999"))) << "i0=65535 i1=65535"
            << QStringList{};
        QTest::newRow("values stored as read")
            << tree(block("output", entry("4", "2"))) << "o4=2" << QStringList{};
        QTest::newRow("entry numbers 99 and -1 store nothing")
            << tree(block("input", entry("99", "1") + entry("-1", "1") + entry("23", "1"))) << "i23=1"
            << QStringList{};
        QTest::newRow("entry number above 2^31") << tree(block("input", entry("2147483648", "1"))) << ""
                                                 << QStringList{"'2147483648' ist kein gültiger Integerwert"};
        QTest::newRow("value without digits: the pair is skipped")
            << tree(block("output", entry("1", "true") + entry("2", "1"))) << "o2=1"
            << QStringList{"'' ist kein gültiger Integerwert"};
        QTest::newRow("number without digits") << tree(block("counter", entry("x", "5"))) << ""
                                               << QStringList{"'' ist kein gültiger Integerwert"};
        QTest::newRow("missing quotes: that state line is not kept")
            << "\"input\": [\n\"number\": 0,\nstate: 1\n\"number\": 1,\n\"state\": 1\n"
            << "i0=1" << QStringList{};
    }
    void readReply() {
        QFETCH(QString, body);
        QFETCH(QString, stored);
        QFETCH(QStringList, errors);
        IoState io;
        QCOMPARE(rest::readReply(body, io), errors);
        QCOMPARE(nonZero(io), stored);
    }
};

QTEST_APPLESS_MAIN(TestRestCodec)
#include "tst_restcodec.moc"
