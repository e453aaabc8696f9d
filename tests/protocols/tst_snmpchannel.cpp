#include "formfixture.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/snmp/snmpchannel.h"

#include <QElapsedTimer>
#include <QtTest>
#include <cerrno>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// A GetResponse of node 13 ("2In/2Out") up to the sub-identifiers, then the
// bytes from offset 43 on, as the device answers.
QByteArray response(const char *fromOffset43) {
    return hex("302E 020100 0406766F726D696C A221 02043659CAFF 020100 020100 3013 3011 060D "
               "2B06010401B5370102 0D") +
           hex(fromOffset43);
}

const QString oid13 = "  OID = .1.3.6.1.4.1.6839.1.2.13.";

// The window in mode "SNMP", type "2In/2Out", aimed at device; returns the
// local port it will bind.
quint16 aim(TForm1 &w, const ScriptedUdpPeer &device) {
    pickMode(w, modeSnmp);
    pickDevice(w, 1);
    w.ed_ip->setText("127.0.0.1");
    w.ed_password->setText("pw");
    const quint16 local = freeUdpPort();
    typeInto(w.co_udplocalportsnmp, QString::number(local));
    w.ed_udpremoteportsnmp->setText(QString::number(device.port()));
    return local;
}

// Binds and waits for the two requests of the binding.
bool bind(TForm1 &w, ScriptedUdpPeer &device) {
    QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
    return QTest::qWaitFor([&] { return device.datagrams.size() == 2; });
}

const QStringList boundReport = {"SNMP -- Binded", "SNMP -> Get loginState", oid13 + "2.2.0",
                                 "SNMP -> Get Inputs", oid13 + "1.4.0"};

} // namespace

class TestSnmpChannel : public QObject {
    Q_OBJECT
private slots:
    void bindKeepsLoginAndShows() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        const quint16 local = aim(w, device);
        w.writereport("old");
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        // Binding and its two requests happen within the click.
        QCOMPARE(w.reportLines(), boundReport);
        QCOMPARE(w.status(0), "Binded to " + QString::number(local));
        QCOMPARE(w.bt_bindsnmp->text(), QString("Stop Bind"));
        QVERIFY(w.ti_snmp->isActive());
        QVERIFY(w.nextIsSet);
        QTRY_COMPARE(device.datagrams.size(), 2);
        QCOMPARE(device.datagrams[0].fromPort, local);
        QCOMPARE(device.datagrams[0].data.toHex(' '),
                 hex("302E 020100 0406766F726D696C A021 02043659CAFF 020100 020100 3013 3011 060D "
                     "2B06010401B5370102 0D 020200 0500")
                     .toHex(' '));
        QCOMPARE(device.datagrams[1].data.mid(42).toHex(' '), hex("0D 010400 0500").toHex(' '));

        // Login state 0: log in at once, before the reply's entry.
        device.sendTo(local, response("020200 020100"));
        QTRY_COMPARE(device.datagrams.size(), 3);
        QCOMPARE(w.status(1), QString("Login = 0"));
        QCOMPARE(device.datagrams[2].data.mid(42).toHex(' '), hex("0D 020100 0402 7077").toHex(' '));
        QCOMPARE(w.reportLines().mid(5), (QStringList{oid13 + "2.1.0", "  Value = pw", "SNMP <- Loginstate",
                                                      oid13 + "2.2.0", "  Value = 00 (hex)"}));
        device.sendTo(local, response("020200 020101"));
        QTRY_COMPARE(w.status(1), QString("Login = 1"));

        // Inputs, then outputs: lamps up to the device type's last one.
        device.sendTo(local, response("010400 0404 0000 0005"));
        device.sendTo(local, response("010600 0404 0000 0002"));
        QTRY_COMPARE(w.reportLines().last(), QString("  Value = 0002 (hex)"));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.io.inputs[2], quint16(0)); // beyond lastInput: untouched

        // A counter, read and cleared.
        device.sendTo(local, response("0103010302 0404 00000100"));
        QTRY_COMPARE(w.io.counters[1], quint32(256));
        QCOMPARE(w.display->counterFields[1]->text(), QString("256"));

        // Only login-state replies log in; with the 4.0 box ticked the
        // requests go to the other branch.
        QCOMPARE(device.datagrams.size(), 3);
        w.cb_viernull->setChecked(true);
        const int before = int(w.reportLines().size());
        w.snmpChannel->sendSNMP("outputs", "get", 0, 0);
        QTRY_COMPARE(device.datagrams.size(), 5);
        QCOMPARE(device.datagrams[3].data, device.datagrams[4].data);
        QCOMPARE(quint8(device.datagrams[3].data[42]), quint8(52));
        QCOMPARE(w.reportLines().mid(before),
                 (QStringList{"SNMP -> Get Outputs", "  OID = .1.3.6.1.4.1.6839.1.2.52.1.6.0"}));

        // Unbinding: exactly one logout, before the close.
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QCOMPARE(w.reportLines().mid(before + 2),
                 (QStringList{"SNMP -> Set logout", "  OID = .1.3.6.1.4.1.6839.1.2.52.2.3.0",
                              "SNMP -- Stop Binding"}));
        QCOMPARE(w.status(0), QString("Not connected"));
        QCOMPARE(w.bt_bindsnmp->text(), QString("Bind"));
        QVERIFY(!w.ti_snmp->isActive());
        QTRY_COMPARE(device.datagrams.size(), 6);
        QCOMPARE(device.datagrams[5].data.mid(42).toHex(' '), hex("34 020300 020101").toHex(' '));
        QTest::qWait(20);
        QCOMPARE(device.datagrams.size(), 6);
        const int lines = int(w.reportLines().size());
        w.snmpChannel->sendSNMP("inputs", "get", 0, 0); // dropped while unbound
        QCOMPARE(w.reportLines().size(), lines);
    }

    void bindWithoutAddressDoesNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeSnmp);
        w.writereport("kept");
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QCOMPARE(w.bt_bindsnmp->text(), QString("Bind"));
        QCOMPARE(w.reportLines(), QStringList{"kept"});
    }

    void loginStateTimer() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        aim(w, device);
        QVERIFY(bind(w, device));
        w.ti_snmp->setInterval(5); // instead of 500 s
        QTRY_VERIFY(device.datagrams.size() >= 3);
        QCOMPARE(device.datagrams[2].data, device.datagrams[0].data);
    }

    void singleOutputIsReadBackOnce() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        const quint16 local = aim(w, device);
        QVERIFY(bind(w, device));

        // An answer to a set nobody sent is not read back.
        device.sendTo(local, response("0105010202 020101"));
        QTRY_COMPARE(w.reportLines().size(), boundReport.size() + 3);
        QTest::qWait(20);
        QCOMPARE(device.datagrams.size(), 2);

        w.snmpChannel->sendSNMP("output", "set", 2, 1);
        QTRY_COMPARE(device.datagrams.size(), 3);
        QCOMPARE(device.datagrams[2].data.mid(42).toHex(' '), hex("0D 0105010202 020101").toHex(' '));
        // The set's answer: the output is read back after a pause.
        QElapsedTimer clock;
        clock.start();
        device.sendTo(local, response("0105010202 020101"));
        QTRY_COMPARE(device.datagrams.size(), 4);
        QVERIFY(clock.elapsed() >= 190);
        QCOMPARE(device.datagrams[3].data.mid(42).toHex(' '), hex("0D 0105010202 0500").toHex(' '));
        QCOMPARE(w.io.outputs[1], quint16(0));
        // A device that answers the get like a set gets no further read-back.
        device.sendTo(local, response("0105010202 020101"));
        device.sendTo(local, response("0105010202 0404 00000001"));
        QTRY_COMPARE(w.io.outputs[1], quint16(1));
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QTest::qWait(20);
        QCOMPARE(device.datagrams.size(), 4);
    }

    void tooLongPasswordIsRefused() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        const quint16 local = aim(w, device);
        w.ed_password->setText(QString(81, 'p'));
        QVERIFY(bind(w, device));
        device.sendTo(local, response("020200 020100"));
        QTRY_COMPARE(w.reportLines().size(), boundReport.size() + 4);
        QCOMPARE(w.reportLines().mid(boundReport.size()),
                 (QStringList{"SNMP -- Login not sent: the password is longer than 80 characters",
                              "SNMP <- Loginstate", oid13 + "2.2.0", "  Value = 00 (hex)"}));
        QTest::qWait(20);
        QCOMPARE(device.datagrams.size(), 2);
    }

    // A send the system refuses (a broadcast address does that) fires the
    // error handler inside the send; its logout fails the same way, and the
    // handler fired inside that send must not try again.
    void failedSendEndsBindingWithOneLogout_data() {
        QTest::addColumn<bool>("unbind");
        QTest::addColumn<QStringList>("report");
        QTest::addColumn<QString>("status");
        const QStringList end = {"SNMP -> Set logout", oid13 + "2.3.0", "SNMP -- Stop Binding",
                                 "# ERROR - Stop Binding"};
        QTest::newRow("a request") << false << QStringList{"SNMP -> Get Inputs", oid13 + "1.4.0"} + end
                                   << "ERROR - Stop Binding";
        QTest::newRow("the unbind's logout") << true << end << "Not connected";
    }
    void failedSendEndsBindingWithOneLogout() {
        QFETCH(bool, unbind);
        QFETCH(QStringList, report);
        QFETCH(QString, status);
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        aim(w, device);
        QVERIFY(bind(w, device));
        w.snmpChannel->ws_snmp->failSendsWith = EACCES;
        if (unbind)
            QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        else
            w.snmpChannel->sendSNMP("inputs", "get", 0, 0);
        QCOMPARE(w.reportLines().mid(boundReport.size()), report);
        QCOMPARE(w.status(0), status);
        QCOMPARE(w.bt_bindsnmp->text(), QString("Bind"));
        QCOMPARE(w.snmpChannel->ws_snmp->State(), wsClosed);
        QVERIFY(!w.ti_snmp->isActive());
        QVERIFY(w.errorHighlighted());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void localPortInUse() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        QUdpSocket blocker;
        QVERIFY(blocker.bind(QHostAddress::AnyIPv4, 0));
        aim(w, device);
        typeInto(w.co_udplocalportsnmp, QString::number(blocker.localPort()));
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.reportLines(), (QStringList{"SNMP -- Stop Binding", "# ERROR - Stop Binding"}));
        QCOMPARE(w.status(0), QString("ERROR - Stop Binding"));
        QCOMPARE(w.bt_bindsnmp->text(), QString("Bind"));
    }

    void oddDatagramsChangeNothingElse() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        const quint16 local = aim(w, device);
        QVERIFY(bind(w, device));
        device.sendTo(local, QByteArray());
        device.sendTo(local, "x");
        device.sendTo(local, QByteArray(65000, '\x01'));
        device.sendTo(local, response("010400 0404 0000 0001")); // still read after the odd ones
        QTRY_COMPARE(w.io.inputs[0], quint16(1));
        QCOMPARE(w.reportLines().mid(boundReport.size()),
                 (QStringList{"SNMP <- Input Value", oid13 + "1.4.0", "  Value = 0001 (hex)"}));
        QCOMPARE(w.snmpChannel->ws_snmp->State(), wsConnected);
    }
};

QTEST_MAIN(TestSnmpChannel)
#include "tst_snmpchannel.moc"
