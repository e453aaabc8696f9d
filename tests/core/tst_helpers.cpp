#include "core/errors.h"
#include "core/helpers.h"

#include <QtTest>

class TestHelpers : public QObject {
    Q_OBJECT
private slots:
    void split_data() {
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("two fields") << ":"
                                    << "ip:10.0.0.7" << QStringList{"ip", "10.0.0.7"};
        QTest::newRow("value with separator") << ":"
                                              << "password:a:b" << QStringList{"password", "a", "b"};
        QTest::newRow("empty fields kept") << ";"
                                           << "a;;b;" << QStringList{"a", "", "b", ""};
        QTest::newRow("empty text") << ";"
                                    << "" << QStringList{""};
        QTest::newRow("no separator") << ":"
                                      << "hardcfg" << QStringList{"hardcfg"};
        QTest::newRow("separator alone") << ":"
                                         << ":" << QStringList{"", ""};
        QTest::newRow("long separator") << "\",\""
                                        << "\"a\",\"b\",\"\"" << QStringList{"\"a", "b", "\""};
        QTest::newRow("case sensitive") << "X"
                                        << "axb" << QStringList{"axb"};
    }
    void split() {
        QFETCH(QString, separator);
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        QCOMPARE(::split(separator, text), fields);
    }

    void getvalue_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("json key") << "\"Input12\"" << 12 << "";
        QTest::newRow("key with colon") << "\"counter7\":" << 7 << "";
        QTest::newRow("leading zeros") << "0012" << 12 << "";
        QTest::newRow("minus dropped") << "a-5" << 5 << "";
        QTest::newRow("largest") << "2147483647" << 2147483647 << "";
        QTest::newRow("no digits") << "abc" << getvalueFailed << "'' ist kein gültiger Integerwert";
        QTest::newRow("too large") << "x2147483648" << getvalueFailed
                                   << "'2147483648' ist kein gültiger Integerwert";
    }
    void getvalue() {
        QFETCH(QString, raw);
        QFETCH(int, value);
        QFETCH(QString, error);
        QString got;
        QCOMPARE(::getvalue(raw, &got), value);
        QCOMPARE(got, error);
        QCOMPARE(getvalueString("x1y2z"), QString("12"));
    }

    void strtobool_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("value");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("true") << "true" << false;
        QTest::newRow("blank before") << " 1" << false;
        QTest::newRow("blank after") << "1 " << false;
    }
    void strtobool() {
        QFETCH(QString, text);
        QFETCH(bool, value);
        QCOMPARE(::strtobool(text), value);
    }

    void longwordtoipstring_data() {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("example") << quint32(0xC0A80001) << "192.168.0.1";
        QTest::newRow("zero") << quint32(0) << "0.0.0.0";
        QTest::newRow("largest") << quint32(0xFFFFFFFF) << "255.255.255.255";
    }
    void longwordtoipstring() {
        QFETCH(quint32, value);
        QFETCH(QString, text);
        QCOMPARE(::longwordtoipstring(value), text);
    }

    void strToInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "200" << true << 200;
        QTest::newRow("leading blanks and sign") << "  -12" << true << -12;
        QTest::newRow("plus") << "+7" << true << 7;
        QTest::newRow("nul ends the text") << QString::fromLatin1("12\0xyz", 6) << true << 12;
        QTest::newRow("smallest") << "-2147483648" << true << int(INT32_MIN);
        QTest::newRow("above 32 bits") << "2147483648" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("letter") << "12a" << false << 0;
        QTest::newRow("trailing blank") << "12 " << false << 0;
        QTest::newRow("hex prefix") << "$10" << false << 0;
    }
    void strToInt() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        if (ok) {
            QCOMPARE(::strToInt(text), value);
            return;
        }
        try {
            ::strToInt(text);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QString("'%1' ist kein gültiger Integerwert").arg(text));
        }
    }

    void hexToUInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint32>("value");
        QTest::newRow("mixed case") << "0f0F" << true << quint32(0x0F0F);
        QTest::newRow("32 bits") << "FFFFFFFF" << true << quint32(0xFFFFFFFF);
        QTest::newRow("leading zeros") << "000000000001" << true << quint32(1);
        QTest::newRow("above 32 bits") << "100000000" << false << quint32(0);
        QTest::newRow("letter") << "00G1" << false << quint32(0);
        QTest::newRow("empty") << "" << false << quint32(0);
    }
    void hexToUInt() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(quint32, value);
        if (ok) {
            QCOMPARE(::hexToUInt(text), value);
            return;
        }
        try {
            ::hexToUInt(text);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QString("'$%1' ist kein gültiger Integerwert").arg(text));
        }
    }

    void deviceTimeText() {
        const QDateTime t(QDate(2021, 3, 8), QTime(14, 3, 9));
        QCOMPARE(::deviceTimeText(t), QString("08.03.2021,14:03:09"));
    }
};

QTEST_GUILESS_MAIN(TestHelpers)
#include "tst_helpers.moc"
