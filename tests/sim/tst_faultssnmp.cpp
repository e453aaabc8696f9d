// Mode "SNMP" of the real window against a korvosim whose agent misbehaves:
// each fault ends in decoded values or in datagrams that store nothing, the
// loop keeps turning, the pane stays under its ceiling, and the user can
// always end the binding.
#include "faultdevice.h"
#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/snmp/snmpchannel.h"

#include <QtTest>

namespace {
int inputReplies(TForm1 &w) { return int(w.reportLines().count("SNMP <- Input Value")); }
// Three reads of the inputs: a device that holds three replies back for one
// datagram answers them together.
void readInputs(TForm1 &w) {
    for (int i = 0; i < 3; ++i)
        w.snmpChannel->sendSNMP("inputs", "get", 0, 0);
}
} // namespace

class TestFaultsSnmp : public QObject {
    Q_OBJECT
private slots:
    void survives_data() {
        faultColumns();
        QTest::newRow("refuse") << "refuse"
                                << "silence";
        // The first reply (the login state asked for on binding), then nothing.
        QTest::newRow("stops after 1 reply") << "close-after:1"
                                             << "login, then silence";
        QTest::newRow("stall") << "stall"
                               << "silence";
        // Single bytes carry no object: nothing is stored.
        QTest::newRow("split into bytes") << "split"
                                          << "no values";
        // A datagram is read at the fixed places of its first message.
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "no values";
        // The values sit at their places whatever the length says.
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "values";
    }
    void survives() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        sim::SimOptions options = sim::SimOptions::forTest();
        options.password = "pw";
        auto device = startFaulty("snmp", fault, options);
        device->model().setInputs(0x5);
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false);
        pickMode(w, modeSnmp);
        pickDevice(w, 7); // 16In/Out
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("pw");
        typeInto(w.co_udplocalportsnmp, QString::number(freeUdpPort()));
        w.ed_udpremoteportsnmp->setText(QString::number(device->port("snmp")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QVERIFY(w.reportLines().contains("SNMP -- Binded"));

        if (ending == "values") {
            readInputs(w);
            QTRY_VERIFY(inputsShown(w));
            device->model().setInputs(0x2);
            readInputs(w);
            QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
            QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        } else {
            if (ending == "login, then silence")
                QTRY_COMPARE(w.status(1), QString("Login = 0"));
            readInputs(w);
            QVERIFY(probe.morePasses(200));
            QCOMPARE(inputReplies(w), 0);
            QVERIFY(!inputsShown(w));
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QCOMPARE(w.bt_bindsnmp->text(), QString("Bind"));
        QCOMPARE(w.snmpChannel->ws_snmp->State(), wsClosed);
    }
};

QTEST_MAIN(TestFaultsSnmp)
#include "tst_faultssnmp.moc"
