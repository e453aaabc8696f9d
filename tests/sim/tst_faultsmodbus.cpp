// Mode "Modbus TCP" of the real window against a korvosim whose Modbus
// service misbehaves: each fault ends in the mode's own error or reconnect
// texts or in decoded values, the loop keeps turning and the pane stays under
// its ceiling; the user can always disconnect.
#include "faultdevice.h"
#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "protocols/modbus/modbuschannel.h"

#include <QtTest>

class TestFaultsModbus : public QObject {
    Q_OBJECT
private slots:
    void survives_data() {
        faultColumns();
        QTest::newRow("refuse") << "refuse"
                                << "error";
        QTest::newRow("close after 2 replies") << "close-after:2"
                                               << "reconnect";
        QTest::newRow("stall") << "stall"
                               << "silence";
        QTest::newRow("split into bytes") << "split"
                                          << "values";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "replies";
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "replies";
    }
    void survives() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        auto device = startFaulty("modbus", fault);
        device->model().setInputs(0x0005);
        device->model().setCounter(3, 4321);

        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false); // the rows count the requests of the session start
        pickMode(w, modeModbus);
        pickDevice(w, 7); // "16In/Out"
        w.ed_ip->setText("127.0.0.1");
        w.ed_tcpmodbusport->setText(QString::number(device->port("modbus")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);

        if (ending == "error") {
            QTRY_VERIFY(w.reportLines().contains("Modbus -- Try to reconnect "));
            QVERIFY(w.reportLines().contains("Modbus -- ERROR - Connection Closed") ||
                    w.reportLines().contains("Modbus -- Connection Closed "));
            tickSoonerOnce(w.ti_wsioreconnectmodbus);
            QTRY_COMPARE(w.status(1), QString("reronnect: 1"));
        } else if (ending == "reconnect") {
            QTRY_VERIFY(w.reportLines().contains("Modbus -- Try to reconnect "));
            QCOMPARE(w.reportLines().count("Modbus <-"), 2); // the two it answered
            tickSoonerOnce(w.ti_wsioreconnectmodbus);
            QTRY_COMPARE(w.status(1), QString("reronnect: 1"));
            QTRY_VERIFY(w.reportLines().contains("Modbus -- Connected"));
        } else if (ending == "silence") {
            QTRY_VERIFY(w.reportLines().contains("Modbus -- Connected"));
            QTRY_COMPARE(w.reportLines().count("Modbus ->"), 3);
            QCOMPARE(w.reportLines().count("Modbus <-"), 0);
        } else if (ending == "values") {
            QTRY_COMPARE(w.display->counterFields[3]->text(), QString("4321"));
            QCOMPARE(w.display->inputLamps[2]->color(), lampOnColor);
            QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
            QTRY_COMPARE(w.reportLines().count("Modbus <-"), 3);
            QVERIFY(w.modbusChannel->receiveStream().buffered().isEmpty());
        } else { // what came is shown as it came, and polling goes on
            QTRY_VERIFY(w.reportLines().contains("Modbus <-"));
            for (int i = 0; i < 20; ++i)
                w.modbusChannel->sendModbus("inputs", "get", 0);
            QTRY_VERIFY(w.reportLines().count("Modbus <-") >= 2);
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());

        // Whatever the device did, Disconnect ends it and no reconnect waits.
        if (w.bt_connectmodbus->text() == "Disconnect") {
            QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
            QVERIFY(w.modbusChannel->ws_modbus->State() != wsConnected);
            QVERIFY(!w.ti_wsioreconnectmodbus->isActive());
        }
    }
};

QTEST_MAIN(TestFaultsModbus)
#include "tst_faultsmodbus.moc"
