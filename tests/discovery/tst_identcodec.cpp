#include "discovery/identcodec.h"
#include "identrecord.h"

#include <QtTest>

using namespace ident;

class TestIdentCodec : public QObject {
    Q_OBJECT
private slots:
    void fullRecord() {
        IdentRecord r;
        r.put(0, 0x0103, 2).put(2, 278, 2).put(4, 0x01020304, 4);
        r.put(8, 0x8000000000000001ULL, 8).put(16, 0xAB, 8).put(24, 0x1122334455667788ULL, 8);
        r.wbmPort(80).text(44, "KORVO").put(92, 0xDEADBEEF, 4).ean(4260123319315LL);
        r.text(104, "Ethernet IO 16I/16O").text(168, QByteArray("ab\0cd", 5)).put(216, 0x400010002ULL, 8);
        r.text(260, QByteArray::fromHex("001A2B3C4D5E"));
        r.text(266, QByteArray::fromHex("0501A8C0"))     // 192.168.1.5
            .text(270, QByteArray::fromHex("0101A8C0"))  // 192.168.1.1
            .text(274, QByteArray::fromHex("00FFFFFF")); // 255.255.255.0
        const IdentificationReply d = decodeReply(r.bytes);
        QCOMPARE(d.lines, (QStringList{
                              "GIS-Verion   : 0103",
                              "GIS-Length   : 0116",
                              "Version      : 01020304",
                              "Serial No.   : 8000000000000001",
                              "L No HW      : 00000000000000AB",
                              "L No SW      : 1122334455667788",
                              "Update line  : 0000000000000000",
                              "WBM-Port     : 0050",
                              "System Name  : KORVO",
                              "System Flag  : DEADBEEF",
                              "EAN No       : 4260123319315",
                              "System Name  : Ethernet IO 16I/16O",
                              "System Name  : abcd",
                              "SW Version   : 0000000400010002",
                              "Mac-Address  : 3C 4D 5E ",
                              "IP-Address   : 192.168.1.5",
                              "Subnet-Mask  : 255.255.255.0",
                              "Gateway      : 192.168.1.1",
                          }));
        QCOMPARE(d.wbmPort, quint16(80));
        QCOMPARE(d.articleNumber, 31931);
    }

    void replies_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<qint32>("article");
        QTest::addColumn<QString>("eanLine");
        QTest::addColumn<QString>("nameLine");

        QTest::newRow("empty") << QByteArray() << quint16(0) << 0 << "EAN No       : 0"
                               << "System Name  : ";
        QTest::newRow("short, up to the name")
            << QByteArray(IdentRecord().wbmPort(80).text(44, "AB").bytes.left(46)) << quint16(80) << 0
            << "EAN No       : 0"
            << "System Name  : AB";
        QTest::newRow("EAN ending 31831x") << IdentRecord().ean(4000000318317LL).bytes << quint16(0) << 31831
                                           << "EAN No       : 4000000318317"
                                           << "System Name  : ";
        QTest::newRow("two letters, a zero between")
            << IdentRecord().text(44, QByteArray("A\0B", 3)).bytes << quint16(0) << 0 << "EAN No       : 0"
            << "System Name  : AB";
        QTest::newRow("Latin-1 byte") << IdentRecord().text(44, "\xE4").bytes << quint16(0) << 0
                                      << "EAN No       : 0" << QString("System Name  : ") + QChar(0xE4);
        QTest::newRow("WBM-Port 0") << IdentRecord().wbmPort(0).bytes << quint16(0) << 0 << "EAN No       : 0"
                                    << "System Name  : ";
        QTest::newRow("five digits above 65535")
            << deviceRecord(8080, 97366) << quint16(8080) << 97366 << "EAN No       : 4260123973665"
            << "System Name  : ";
        QTest::newRow("negative EAN") << IdentRecord().ean(-4260123319315LL).bytes << quint16(0) << 31931
                                      << "EAN No       : -4260123319315"
                                      << "System Name  : ";
        QTest::newRow("EAN -1") << IdentRecord().ean(-1).bytes << quint16(0) << -1 << "EAN No       : -1"
                                << "System Name  : ";
        QTest::newRow("64 KiB, cut to 512")
            << QByteArray(IdentRecord().wbmPort(81).bytes + QByteArray(65536, 'x')) << quint16(81) << 0
            << "EAN No       : 0"
            << "System Name  : ";
    }
    void replies() {
        QFETCH(QByteArray, datagram);
        QFETCH(quint16, port);
        QFETCH(qint32, article);
        QFETCH(QString, eanLine);
        QFETCH(QString, nameLine);
        const IdentificationReply d = decodeReply(datagram);
        QCOMPARE(d.lines.size(), 18);
        QCOMPARE(d.wbmPort, port);
        QCOMPARE(d.articleNumber, article);
        QCOMPARE(d.lines[10], eanLine);
        QCOMPARE(d.lines[8], nameLine);
        if (datagram.size() < 278)
            QCOMPARE(d.lines[15], QString("IP-Address   : 0.0.0.0"));
    }

    void articleNumbers_data() {
        QTest::addColumn<qint64>("ean");
        QTest::addColumn<qint32>("article");
        QTest::newRow("0") << qint64(0) << 0;
        QTest::newRow("five digits") << qint64(31831) << 31831;
        QTest::newRow("six digits") << qint64(318317) << 31831;
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << 77580;  // 9223372036854775807
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << 77580; // ...854775808
        QTest::newRow("six characters with sign") << qint64(-12345) << -1234;
    }
    void articleNumbers() {
        QFETCH(qint64, ean);
        QFETCH(qint32, article);
        QCOMPARE(articleNumberFromEan(ean), article);
    }

    void articleTable_data() {
        QTest::addColumn<qint32>("article");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("device40");
        QTest::addColumn<bool>("legacy");
        QTest::newRow("31830") << 31830 << 5 << false << false;
        QTest::newRow("31833 legacy") << 31833 << 1 << false << true;
        QTest::newRow("31850") << 31850 << 3 << false << false;
        QTest::newRow("31932") << 31932 << 0 << true << false;
        QTest::newRow("31936") << 31936 << 7 << true << false;
        QTest::newRow("31938") << 31938 << 6 << true << false;
        QTest::newRow("32038") << 32038 << 10 << true << false;
        QTest::newRow("97366 is not 31830") << 97366 << 11 << false << false;
        QTest::newRow("0") << 0 << 11 << false << false;
        QTest::newRow("negative") << -31830 << 11 << false << false;
    }
    void articleTable() {
        QFETCH(qint32, article);
        QFETCH(int, index);
        QFETCH(bool, device40);
        QFETCH(bool, legacy);
        const ArticleType t = articleType(article);
        QCOMPARE(t.deviceIndex, index);
        QCOMPARE(t.device40, device40);
        QCOMPARE(t.legacy, legacy);
    }

    void bootFailure() {
        QVERIFY(versionReportsBootFailure("KORVO V1.2\r\nBOOT=FAIL"));
        QVERIFY(versionReportsBootFailure("boot=Failed"));
        QVERIFY(!versionReportsBootFailure("KORVO V1.2\r\nBOOT=OK"));
    }

    void configPage_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("inputs")
            << "{\"Name\":\"KORVO\",\"Input 1\":\"12\",\"Alarm Input 2\":\"1\",\"Input 3\":\"34\",\"Output 1\":\"0\"}"
            << QStringList{"Input 1\":\"12", "Input 3\":\"34"} << QStringList{"12", "34"};
        QTest::newRow("no colon is skipped")
            << "\"A\",\"NoColonInput\",\"Input 1\":\"7\"}" << QStringList{"NoColonInput", "Input 1\":\"7\"}"}
            << QStringList{"7\"}"};
        QTest::newRow("empty") << QString() << QStringList{} << QStringList{};
    }
    void configPage() {
        QFETCH(QString, page);
        QFETCH(QStringList, reported);
        QFETCH(QStringList, values);
        const PageValues p = configPageValues(page);
        QCOMPARE(p.reported, reported);
        QCOMPARE(p.values, values);
    }

    void configPageStopsAtSixteen() {
        QStringList pieces;
        for (int i = 0; i < 1000; ++i)
            pieces << QStringLiteral("Input %1\":\"%1").arg(i);
        const PageValues p = configPageValues(pieces.join("\",\""));
        QCOMPARE(p.values.size(), maxUnknownFields);
        QCOMPARE(p.values.last(), QString("15"));
        QCOMPARE(p.reported.size(), maxUnknownFields);
    }

    void singlePage_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("KORVO skips two") << "KORVO;ES-16;5;6;7" << QStringList{"5", "6", "7"};
        QTest::newRow("plain") << "5;6" << QStringList{"5", "6"};
        QTest::newRow("KORVO alone") << "KORVO" << QStringList{};
        QTest::newRow("empty") << QString() << QStringList{""};
        QTest::newRow("a thousand") << QString("x;").repeated(1000) << QStringList(16, "x");
    }
    void singlePage() {
        QFETCH(QString, page);
        QFETCH(QStringList, values);
        QCOMPARE(singlePageValues(page), values);
    }
};

QTEST_APPLESS_MAIN(TestIdentCodec)
#include "tst_identcodec.moc"
