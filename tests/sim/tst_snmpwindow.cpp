// The real window in mode "SNMP" against korvosim's agent, in-process on
// ports of 127.0.0.1 the system picks: bind, log in, read and set, unbind.
#include "formfixture.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/snmp/snmpchannel.h"
#include "simulator.h"

#include <QtTest>

namespace {

constexpr int type16 = 7; // "16In/Out", the simulator's default device

bool on(TForm1 &w, bool input, int i) {
    return (input ? w.display->inputLamps[i] : w.display->outputLamps[i])->color() == lampOnColor;
}

} // namespace

class TestSnmpWindow : public QObject {
    Q_OBJECT
private slots:
    void bindReadSetUnbind() {
        sim::SimOptions o = sim::SimOptions::forTest();
        o.password = "pw";
        sim::Simulator device(o);
        QString error;
        QVERIFY2(device.start(&error), qPrintable(error));
        device.model().setInputs(0b101);
        device.model().setOutputs(0xFFFF, 0b11);
        device.model().setCounter(0, 12);
        device.model().setCounter(2, 3);

        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeSnmp);
        pickDevice(w, type16);
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("pw");
        typeInto(w.co_udplocalportsnmp, QString::number(freeUdpPort()));
        w.ed_udpremoteportsnmp->setText(QString::number(device.port("snmp")));
        SnmpChannel &snmp = *w.snmpChannel;

        // Binding asks for the login state and the inputs; a state of 0 logs in.
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QCOMPARE(w.bt_bindsnmp->text(), QString("Stop Bind"));
        QTRY_COMPARE(w.status(1), QString("Login = 0"));
        QTRY_VERIFY(on(w, true, 0) && !on(w, true, 1) && on(w, true, 2));
        w.ti_snmp->setInterval(20); // the login check, sooner
        QTRY_COMPARE(w.status(1), QString("Login = 1"));
        w.ti_snmp->setInterval(500000);

        snmp.sendSNMP("outputs", "get", 0, 0);
        QTRY_VERIFY(on(w, false, 0) && on(w, false, 1) && !on(w, false, 2));
        snmp.sendSNMP("counter", "get", 3, 0);
        QTRY_COMPARE(w.display->counterFields[2]->text(), QString("3"));
        snmp.sendSNMP("counter", "set", 1, 0); // read and clear
        QTRY_COMPARE(w.display->counterFields[0]->text(), QString("12"));
        QCOMPARE(device.model().counter(0), 0u);

        // A single output: set, then read back by the channel.
        snmp.sendSNMP("output", "set", 3, 1);
        QTRY_VERIFY(on(w, false, 2));
        QCOMPARE(device.model().outputs(), 0b111u);
        QVERIFY(w.reportLines().contains("SNMP -> Get Single Output 3"));

        // The outputs word under a mask.
        snmp.sendSNMP("outputs", "set", 0x0003, 0x0000);
        QTRY_COMPARE(device.model().outputs(), 0b100u);
        snmp.sendSNMP("outputs", "get", 0, 0);
        QTRY_VERIFY(!on(w, false, 0) && !on(w, false, 1) && on(w, false, 2));

        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QCOMPARE(w.reportLines().mid(w.reportLines().size() - 3),
                 (QStringList{"SNMP -> Set logout", "  OID = .1.3.6.1.4.1.6839.1.2.4.2.3.0",
                              "SNMP -- Stop Binding"}));
        QCOMPARE(w.status(0), QString("Not connected"));
        QCOMPARE(w.snmpChannel->ws_snmp->State(), wsClosed);
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSnmpWindow)
#include "tst_snmpwindow.moc"
