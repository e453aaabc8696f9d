// Mode "Modbus TCP" of the real window against korvosim's Modbus service,
// in-process on 127.0.0.1, also with the replies coalesced or split.
#include "formfixture.h"
#include "net/twsocket.h"
#include "protocols/modbus/modbuschannel.h"
#include "simulator.h"

#include <QtTest>

class TestModbusEnd2End : public QObject {
    Q_OBJECT
private slots:
    void pollSetAndClear_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("plain") << "";
        QTest::newRow("three replies in one write") << "coalesce:3";
        QTest::newRow("replies byte by byte") << "split";
    }
    void pollSetAndClear() {
        QFETCH(QString, fault);
        sim::SimOptions options = sim::SimOptions::forTest();
        QString error;
        if (!fault.isEmpty())
            QVERIFY(options.faults["modbus"].parse(fault, &error));
        sim::Simulator device(options);
        QVERIFY2(device.start(&error), qPrintable(error));
        sim::DeviceModel &model = device.model(); // 16 in / 16 out
        model.setInputs(0x0005);
        model.setCounter(3, 123456);
        model.setCounter(5, 77);
        model.setOutputs(0xFFFF, 0x0002);

        FormFixture f;
        TForm1 &w = f.form();
        ModbusChannel &m = *w.modbusChannel;
        w.cb_autoall->setChecked(false); // the test counts every request
        pickMode(w, modeModbus);
        pickDevice(w, 7); // "16In/Out"
        w.ed_ip->setText("127.0.0.1");
        w.ed_tcpmodbusport->setText(QString::number(device.port("modbus")));
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);

        // The session start reads inputs, outputs and counters.
        QTRY_COMPARE(w.display->counterFields[3]->text(), QString("123456"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("1")); // input 0's rising edge
        QCOMPARE(w.display->counterFields[5]->text(), QString("77"));
        QCOMPARE(w.display->inputLamps[2]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);

        // Writes and their read-backs (the faulted device answers the
        // single replies of these slowly: left to the plain one).
        if (fault.isEmpty()) {
            m.sendModbus("outputs", "set", 0x0FFF);
            QTRY_COMPARE(w.display->outputLamps[11]->color(), lampOnColor); // echo, then the read-back
            QCOMPARE(model.outputs(), 0x0FFFu);
            m.sendModbus("output", "set", 2); // on: off
            QTRY_COMPARE(w.display->outputLamps[2]->color(), lampOffColor);
            QCOMPARE(model.outputs(), 0x0FFBu);

            m.sendModbus("counter", "set", 5);
            QTRY_COMPARE(w.display->counterFields[5]->text(), QString("0"));
            QCOMPARE(model.counter(5), 0u);
            QCOMPARE(w.display->counterFields[3]->text(), QString("123456"));
            m.sendModbus("counters", "set", 0);
            QTRY_COMPARE(w.display->counterFields[3]->text(), QString("0"));
        }

        // Get All: three requests back to back, three replies decoded.
        model.setInputs(0x0003);
        model.setCounter(15, 99);
        m.sendModbus("inputs", "get", 0);
        m.sendModbus("outputs", "get", 0);
        m.sendModbus("counters", "get", 0);
        // Byte by byte, each reply is many socket events: give a busy machine time.
        QTRY_COMPARE_WITH_TIMEOUT(w.display->counterFields[15]->text(), QString("99"), 30000);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[2]->color(), lampOffColor);
        QCOMPARE(w.reportLines().count("Modbus <-"), w.reportLines().count("Modbus ->"));
        QVERIFY(m.receiveStream().buffered().isEmpty());
        QCOMPARE(m.ws_modbus->State(), wsConnected);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // What the device lacks comes back as an exception, shown and nothing more.
    void exceptionForWhatTheDeviceLacks() {
        sim::SimOptions options = sim::SimOptions::forTest();
        options.article = 32038; // "8Out": no inputs, no counters
        sim::Simulator device(options);
        QString error;
        QVERIFY2(device.start(&error), qPrintable(error));
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false); // the test counts every request
        pickMode(w, modeModbus);
        pickDevice(w, 10); // "8Out"
        w.ed_ip->setText("127.0.0.1");
        w.ed_tcpmodbusport->setText(QString::number(device.port("modbus")));
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QTRY_COMPARE(w.reportLines().count("Modbus <-"), 3);
        QCOMPARE(w.reportLines().count("FCd: 84"), 2); // inputs and counters
        QCOMPARE(w.reportLines().count("FCd: 03"), 2); // the request and its reply
        QCOMPARE(w.modbusChannel->ws_modbus->State(), wsConnected);
    }
};

QTEST_MAIN(TestModbusEnd2End)
#include "tst_modbusend2end.moc"
