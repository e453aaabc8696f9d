#include "config/configfile.h"

#include <QtTest>

class TestConfigFile : public QObject {
    Q_OBJECT
private slots:
    void readLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("key"); // empty: the line sets nothing
        QTest::addColumn<bool>("flag");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString none;
        QTest::newRow("flag set") << "getall:1"
                                  << "getall" << true << 0 << none << none;
        QTest::newRow("only 1 sets a flag") << "getall:true"
                                            << "getall" << false << 0 << none << none;
        QTest::newRow("empty flag") << "report:"
                                    << "report" << false << 0 << none << none;
        QTest::newRow("flag before a second colon") << "viernull:1:0"
                                                    << "viernull" << true << 0 << none << none;
        QTest::newRow("integer") << "mode:8"
                                 << "mode" << false << 8 << none << none;
        QTest::newRow("negative integer") << "device:-1"
                                          << "device" << false << -1 << none << none;
        QTest::newRow("integer before a second colon") << "toppos:5:7"
                                                       << "toppos" << false << 5 << none << none;
        QTest::newRow("integer not decimal")
            << "leftpos:0x10" << none << false << 0 << none << "'0x10' ist kein gültiger Integerwert";
        QTest::newRow("empty integer")
            << "mode:" << none << false << 0 << none << "'' ist kein gültiger Integerwert";
        QTest::newRow("integer beyond 32 bits") << "toppos:2147483648" << none << false << 0 << none
                                                << "'2147483648' ist kein gültiger Integerwert";
        QTest::newRow("text with colons") << "password:ab:cd"
                                          << "password" << false << 0 << "ab:cd" << none;
        QTest::newRow("text kept as it is") << "password: a b "
                                            << "password" << false << 0 << " a b " << none;
        QTest::newRow("empty text") << "setoutputmask:"
                                    << "setoutputmask" << false << 0 << "" << none;
        QTest::newRow("non-ASCII text") << "password:ä€\u00A0x"
                                        << "password" << false << 0 << "ä€\u00A0x" << none;
        QTest::newRow("known key without colon")
            << "hardcfg" << none << false << 0 << none << "Listenindex außerhalb des gültigen Bereichs (1)";
        QTest::newRow("text key without colon")
            << "ip" << none << false << 0 << none << "Listenindex außerhalb des gültigen Bereichs (1)";
        QTest::newRow("keys have case") << "Mode:3" << none << false << 0 << none << none;
        QTest::newRow("keys are exact") << " mode:3" << none << false << 0 << none << none;
        QTest::newRow("unknown key") << "colour:red" << none << false << 0 << none << none;
        QTest::newRow("unknown key without colon") << "colour" << none << false << 0 << none << none;
        QTest::newRow("empty line") << "" << none << false << 0 << none << none;
        QTest::newRow("onlyio is never read") << "onlyio:1" << none << false << 0 << none << none;
        QTest::newRow("onlyio without colon") << "onlyio" << none << false << 0 << none << none;
    }
    void readLine() {
        QFETCH(QString, line);
        QFETCH(QString, key);
        QFETCH(bool, flag);
        QFETCH(int, number);
        QFETCH(QString, text);
        QFETCH(QString, error);
        const ConfigSetting s = readConfigLine(line);
        QCOMPARE(s.error, error);
        QCOMPARE(s.key, key.isEmpty() ? -1 : configKeyIndex(key));
        QCOMPARE(s.flag, flag);
        QCOMPARE(s.number, number);
        QCOMPARE(s.text, text);
    }

    void writeLine_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("flag") << "getall" << flagValue(true) << "getall:1";
        QTest::newRow("flag off") << "hardcfg" << flagValue(false) << "hardcfg:0";
        QTest::newRow("negative") << "device" << QString::number(-1) << "device:-1";
        QTest::newRow("empty text") << "setoutputmask"
                                    << ""
                                    << "setoutputmask:";
        QTest::newRow("colons kept") << "password"
                                     << "ab:cd"
                                     << "password:ab:cd";
        QTest::newRow("pasted line break") << "password"
                                           << "sec\r\nret\n"
                                           << "password:secret";
        QTest::newRow("every kind of line break") << "password"
                                                  << "a\rb\u0085c\u2028d\u2029e\uFDD0f\uFDD1g"
                                                  << "password:abcdefg";
    }
    void writeLine() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, line);
        QCOMPARE(configLine(configKeyIndex(key), value), line);
        const ConfigSetting back = readConfigLine(line);
        QVERIFY(back.error.isEmpty());
        QCOMPARE(back.key, configKeyIndex(key));
    }

    void fileBytes() {
        QCOMPARE(configFileBytes({"hardcfg:0", "password:ä", "setoutputmask:"}),
                 QByteArray("hardcfg:0\r\npassword:\xC3\xA4\r\nsetoutputmask:\r\n"));
        QCOMPARE(configFileBytes({}), QByteArray());
    }

    void fileLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QByteArray("mode:8\r\ngetall:0\r\n") << QStringList{"mode:8", "getall:0"};
        QTest::newRow("LF only") << QByteArray("mode:8\ngetall:0\n") << QStringList{"mode:8", "getall:0"};
        QTest::newRow("CR only") << QByteArray("mode:8\rgetall:0\r") << QStringList{"mode:8", "getall:0"};
        QTest::newRow("no break after the last line")
            << QByteArray("mode:8\r\ngetall:0") << QStringList{"mode:8", "getall:0"};
        QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\n\nb\r\n") << QStringList{"a", "", "", "b"};
        QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFmode:8\r\n") << QStringList{"mode:8"};
        QTest::newRow("UTF-8") << QByteArray("password:\xC3\xA4\xE2\x82\xAC\r\n")
                               << QStringList{"password:ä€"};
        QTest::newRow("Latin-1") << QByteArray("password:\xE4\xB5\r\n") << QStringList{"password:äµ"};
        QTest::newRow("Latin-1 after a byte-order mark")
            << QByteArray("\xEF\xBB\xBFpassword:\xE4\r\n") << QStringList{"password:ä"};
        QTest::newRow("NUL kept") << QByteArray("password:a\0b\r\n", 14)
                                  << QStringList{QString("password:a") + QChar(0) + "b"};
    }
    void fileLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(configFileLines(bytes), lines);
    }

    void writtenLinesReadBack() {
        const QStringList lines = {"password:ab:cd ä€\u00A0x", "device:-1", "getall:1"};
        QCOMPARE(configFileLines(configFileBytes(lines)), lines);
    }
};

QTEST_MAIN(TestConfigFile)
#include "tst_configfile.moc"
