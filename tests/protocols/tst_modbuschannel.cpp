#include "formfixture.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/modbus/modbuschannel.h"

#include <QProcess>
#include <QtTest>

namespace {

QByteArray hexBytes(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// The three reads of a session start, transactions 1 to 3, device "2In/2Out".
const QByteArray sessionStart = hexBytes(
    "0001 0000 0006 01 04 2000 0001  0002 0000 0006 01 03 2002 0001  0003 0000 0006 01 04 5006 0004");

// The window in mode "Modbus TCP" aimed at port, device type "2In/2Out".
void aim(TForm1 &w, quint16 port) {
    pickMode(w, modeModbus);
    pickDevice(w, 1);
    w.ed_ip->setText("127.0.0.1");
    w.ed_tcpmodbusport->setText(QString::number(port));
}

bool connectTo(TForm1 &w, ScriptedTcpServer &device) {
    aim(w, device.port());
    QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
    return QTest::qWaitFor([&] { return device.received() == sessionStart; });
}

const QString rule(38, '-');

} // namespace

class TestModbusChannel : public QObject {
    Q_OBJECT
private slots:
    void sessionStartReadsEverything() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        aim(w, device.port());
        w.writereport("old");
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QCOMPARE(w.status(0), QString("try to connect"));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Connect"));
        QTRY_COMPARE(device.received(), sessionStart);
        QCOMPARE(w.status(0), "Connected to 127.0.0.1 Port " + QString::number(device.port()));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Disconnect"));
        QVERIFY(w.nextIsSet);
        const QStringList lines = w.reportLines();
        QCOMPARE(lines.mid(0, 11),
                 (QStringList{"Modbus -- Connected", "Modbus ->", rule, "TID: 0001", "PID: 0000", "Len: 0006",
                              "UID: 01", "FCd: 04", "20 00 00 01 ", rule, ""}));
        QCOMPARE(lines.size(), 31);
        QCOMPARE(lines[23], QString("TID: 0003"));

        // TCP hands the three replies over in one block: all are decoded.
        device.send(hexBytes("0001 0000 0005 01 04 02 0002  0002 0000 0005 01 03 02 0003"
                             "0003 0000 000B 01 04 08 0000000C 00010000"));
        QTRY_COMPARE(w.display->counterFields[1]->text(), QString("65536"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("12"));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.reportLines().size(), 31 + 3 * 10);
        QCOMPARE(w.reportLines().mid(31, 10),
                 (QStringList{"Modbus <-", rule, "TID: 0001", "PID: 0000", "Len: 0005", "UID: 01", "FCd: 04",
                              "02 00 02 ", rule, ""}));
    }

    void emptyPortOrAddressDoesNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, 502);
        w.ed_ip->clear();
        w.writereport("kept");
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QCOMPARE(w.reportLines(), QStringList{"kept"});
        QCOMPARE(w.modbusChannel->ws_modbus->State(), wsClosed);
        QCOMPARE(w.status(0), QString());
    }

    // Identifiers count on across requests and wrap at 16 bits; a request
    // that is not sent uses none, and only Connect starts again at 0.
    void transactionIdentifiers() {
        FormFixture f;
        TForm1 &w = f.form();
        ModbusChannel &m = *w.modbusChannel;
        aim(w, 502);
        m.sendModbus("inputs", "get", 0); // not connected: dropped without a line
        QCOMPARE(m.modbusTransactionId, quint16(0));
        QCOMPARE(w.reportLines(), QStringList{});

        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        m.modbusTransactionId = 65534;
        m.sendModbus("outputs", "get", 0);
        m.sendModbus("nothing", "get", 0);
        m.sendModbus("outputs", "get", 0);
        QTRY_COMPARE(device.received().mid(sessionStart.size()),
                     hexBytes("FFFF 0000 0006 01 03 2002 0001  0000 0000 0006 01 03 2002 0001"));
        QCOMPARE(m.modbusTransactionId, quint16(0));
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton); // Disconnect
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton); // Connect
        QTRY_COMPARE(device.received(1), sessionStart);
    }

    // Every write is followed by a read of what it changed.
    void writesAreReadBack() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        pickDevice(w, 5); // "12In/12Out"
        ModbusChannel &m = *w.modbusChannel;
        m.sendModbus("outputs", "set", 0x0FFF);
        QTRY_COMPARE(device.received().mid(36), hexBytes("0004 0000 0009 01 0F 1020 000C 02 FF0F"));
        device.send(hexBytes("0004 0000 0006 01 0F 1020 000C"));
        QTRY_COMPARE(device.received().mid(51), hexBytes("0005 0000 0006 01 03 2002 0001"));

        // Clearing counter field 5: its echo asks for counter 5, whose
        // two-register reply lands in counter 5.
        m.sendModbus("counter", "set", 5);
        QTRY_COMPARE(device.received().mid(63), hexBytes("0006 0000 000B 01 10 5010 0002 04 00000000"));
        device.send(hexBytes("0006 0000 0006 01 10 5010 0002"));
        QTRY_COMPARE(device.received().mid(80), hexBytes("0007 0000 0006 01 03 5010 0002"));
        device.send(hexBytes("0007 0000 0007 01 03 04 00000007"));
        QTRY_COMPARE(w.display->counterFields[5]->text(), QString("7"));

        // An exception is shown and changes nothing.
        const int lines = w.reportLines().size();
        device.send(hexBytes("0008 0000 0003 01 83 02"));
        QTRY_COMPARE(w.reportLines().size(), lines + 10);
        QCOMPARE(w.reportLines()[lines + 6], QString("FCd: 83"));
        QCOMPARE(w.io.counters[5], quint32(7));
        QCOMPARE(device.received().size(), 92);
    }

    void refusedConnectionReconnects() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, freeTcpPort());
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QTRY_VERIFY(w.ti_wsioreconnectmodbus->isActive());
        QCOMPARE(w.ti_wsioreconnectmodbus->interval(), 2000);
        // The session start runs for the refused attempt too: the first
        // request is reported, its send ends the session, the rest are dropped.
        const QStringList lines = w.reportLines();
        QCOMPARE(lines.first(), QString("Modbus -- Connected"));
        QCOMPARE(lines.mid(1, 3), (QStringList{"Modbus ->", rule, "TID: 0001"}));
        QCOMPARE(lines.mid(11), (QStringList{"Modbus -- Connection Closed ", "Modbus -- Try to reconnect "}));
        QCOMPARE(w.status(0), QString("Connection Closed"));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Connect"));
        // The tick, without waiting the 2000 ms for it.
        w.modbusChannel->ti_wsioreconnectmodbusTimer();
        QCOMPARE(w.status(1), QString("reronnect: 1"));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Disconnect"));
        QVERIFY(!w.ti_wsioreconnectmodbus->isActive());
        QTRY_VERIFY(w.ti_wsioreconnectmodbus->isActive()); // refused again: the next one waits
        w.modbusChannel->ti_wsioreconnectmodbusTimer();
        QCOMPARE(w.status(1), QString("reronnect: 2"));
        QCOMPARE(w.modbusChannel->modbusTransactionId, quint16(2)); // counts on across reconnects
        // Connect starts afresh and stops the waiting reconnect.
        QTRY_VERIFY(w.ti_wsioreconnectmodbus->isActive());
        ScriptedTcpServer device;
        w.ed_tcpmodbusport->setText(QString::number(device.port()));
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QVERIFY(!w.ti_wsioreconnectmodbus->isActive());
        QCOMPARE(w.modbusReconnectCount, quint16(0));
        QTRY_COMPARE(device.received(), sessionStart);
        QCOMPARE(w.modbusChannel->ws_modbus->State(), wsConnected);
    }

    void disconnectStopsEverything() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, freeTcpPort());
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QTRY_VERIFY(w.ti_wsioreconnectmodbus->isActive());
        w.bt_connectmodbus->setText("Disconnect"); // as while an attempt runs
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QVERIFY(w.modbusClosing);
        QVERIFY(!w.ti_wsioreconnectmodbus->isActive());
        QCOMPARE(w.status(0), QString("Not connected"));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Connect"));

        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QCOMPARE(w.reportLines().mid(31), QStringList{"Modbus -- Connection Closed "});
        QVERIFY(!w.ti_wsioreconnectmodbus->isActive());
    }

    void peerCloseReconnects() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        device.send(hexBytes("0001 0000 0005 01")); // a partial reply, lost with its session
        QTRY_VERIFY(!w.modbusChannel->receiveStream().buffered().isEmpty());
        device.closeConnection();
        QTRY_COMPARE(w.status(0), QString("Connection Closed"));
        QVERIFY(w.modbusChannel->receiveStream().buffered().isEmpty());
        QCOMPARE(w.reportLines().mid(31),
                 (QStringList{"Modbus -- Connection Closed ", "Modbus -- Try to reconnect "}));
        w.ti_wsioreconnectmodbus->setInterval(20);
        QTRY_COMPARE(device.connectionCount(), 2);
        QCOMPARE(w.bt_connectmodbus->text(), QString("Disconnect"));
        QTRY_COMPARE(device.received(1),
                     hexBytes("0004 0000 0006 01 04 2000 0001  0005 0000 0006 01 03 2002 0001"
                              "0006 0000 0006 01 04 5006 0004"));
    }

    // An error leaves the socket as it is but schedules a reconnect.
    void errorHighlightsAndSchedules() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        w.modbusChannel->ws_modbus->Connect(); // fails: the socket is not closed
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.status(1), QString("ERROR - Connection Closed"));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Connect"));
        QCOMPARE(w.reportLines().mid(31),
                 (QStringList{"Modbus -- ERROR - Connection Closed", "Modbus -- Try to reconnect "}));
        QCOMPARE(w.modbusChannel->ws_modbus->State(), wsConnected);
        QVERIFY(w.ti_wsioreconnectmodbus->isActive());
    }

    void leavingTheModeClosesWithoutReconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        pickMode(w, modeTcpClient);
        QCOMPARE(w.reportLines().mid(31), QStringList{"Modbus -- Connection Closed "});
        QVERIFY(!w.ti_wsioreconnectmodbus->isActive());
        QVERIFY(!w.bt_connectmodbus->isVisibleTo(&w));
        QCOMPARE(w.bt_connectmodbus->text(), QString("Connect"));
        QTRY_VERIFY(device.connection()->state() != QAbstractSocket::ConnectedState);
    }

    // A reconnect waiting when the mode changes does not open a connection
    // behind the user's back.
    void modeChangeDropsAWaitingReconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        device.closeConnection();
        QTRY_VERIFY(w.ti_wsioreconnectmodbus->isActive());
        pickMode(w, modeSnmp);
        w.ti_wsioreconnectmodbus->setInterval(10);
        QTRY_VERIFY(!w.ti_wsioreconnectmodbus->isActive()); // it ticked, and did nothing
        QCOMPARE(device.connectionCount(), 1);
        QCOMPARE(w.modbusChannel->ws_modbus->State(), wsClosed);
    }

    // Whatever the device sends ends in decoded replies or a dropped tail;
    // the connection stays up.
    void whateverTheDeviceSendsTheConnectionStays() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectTo(w, device));
        ModbusChannel &m = *w.modbusChannel;
        // Ten replies in one block, then one in single bytes.
        QByteArray ten;
        for (int i = 0; i < 10; ++i)
            ten += hexBytes("0001 0000 0005 01 03 02 0001");
        device.send(ten);
        QTRY_COMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        for (char byte : hexBytes("0002 0000 0005 01 03 02 0002"))
            device.send(QByteArray(1, byte));
        QTRY_COMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOffColor);

        // Lengths that cannot be framed, exceptions: reported, and the next
        // reply frames again.
        for (const char *bad :
             {"0001 0000 0000 01 03", "0001 0000 0001 01 04 02", "0001 0000 00FF 01 03 04 01",
              "0001 0000 FFFF 01 04", "0001 0000 0003 01 84 02", "0001 0000 0003 01 85 02"})
            device.send(hexBytes(bad));
        device.send(hexBytes("0003 0000 0005 01 03 02 0001"));
        QTRY_COMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        QVERIFY(m.receiveStream().buffered().isEmpty());

        QByteArray garbage;
        for (int i = 0; i < 8192; ++i)
            garbage += char((i * 37 + i / 256) & 0xFF);
        device.send(garbage);
        QTRY_VERIFY(device.connection()->bytesToWrite() == 0 && m.ws_modbus->RcvdCount() == 0);
        QVERIFY(m.receiveStream().buffered().size() < 260);
        QCOMPARE(m.ws_modbus->State(), wsConnected);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // The channel against a Modbus server nobody here wrote: Debian's
    // pymodbus holding the device's register map (tests/support).
    void againstPymodbus() {
        const QString script = QFINDTESTDATA("../support/pymodbus_korvo.py");
        QVERIFY(!script.isEmpty());
        QProcess server;
        server.start("/usr/bin/python3", {script, "5", "12", "65536"}); // inputs 0 and 2; counters 12, 65536
        if (!server.waitForStarted())
            QSKIP("no /usr/bin/python3");
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine() || server.state() == QProcess::NotRunning, 10000);
        if (!server.canReadLine())
            QSKIP(qPrintable("pymodbus server did not start (scripts/setup installs python3-pymodbus): " +
                             QString::fromLocal8Bit(server.readAllStandardError().right(300))));
        const quint16 port = server.readLine().trimmed().toUShort();
        QVERIFY(port != 0);

        FormFixture f;
        TForm1 &w = f.form();
        ModbusChannel &m = *w.modbusChannel;
        aim(w, port);
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        QTRY_COMPARE(w.display->counterFields[1]->text(), QString("65536"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("12"));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOffColor);

        m.sendModbus("outputs", "set", 0x3); // echo, then the outputs read
        QTRY_COMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        m.sendModbus("output", "set", 0); // on: switched off
        QTRY_COMPARE(w.display->outputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        m.sendModbus("counter", "set", 1);
        QTRY_COMPARE(w.display->counterFields[1]->text(), QString("0"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("12"));
        m.sendModbus("counters", "set", 0);
        QTRY_COMPARE(w.display->counterFields[0]->text(), QString("0"));
        // A register the device does not have: an exception, shown only.
        m.sendModbus("counter", "get", 20);
        QTRY_VERIFY(w.reportLines().contains("FCd: 83"));
        QCOMPARE(w.io.counters[20], quint32(0));
        QCOMPARE(m.ws_modbus->State(), wsConnected);
        QVERIFY(f.dialogs.messages.isEmpty());
        server.kill();
        server.waitForFinished();
    }
};

QTEST_MAIN(TestModbusChannel)
#include "tst_modbuschannel.moc"
