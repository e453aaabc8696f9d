#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"

#include <QtTest>

namespace {

QByteArray nul(const char *text) { return QByteArray(text) + '\0'; }

// Get All polls from start ("auto" ticked); these tests look at what a
// channel sends by itself, so the polling is switched off.
void quietPolling(TForm1 &w) { w.cb_autoall->setChecked(false); }

// The window in mode "TCP Client " aimed at a device, type "2In/2Out".
void aimClient(TForm1 &w, quint16 port) {
    quietPolling(w);
    pickMode(w, modeTcpClient);
    pickDevice(w, 1);
    w.ed_ip->setText("127.0.0.1");
    w.ed_tcpasciiport->setText(QString::number(port));
    w.ed_password->setText("pw");
}

// Connects the window's TCP client to device and waits for the first command.
bool connectClient(TForm1 &w, ScriptedTcpServer &device) {
    aimClient(w, device.port());
    QTest::mouseClick(w.bt_connect, Qt::LeftButton);
    return QTest::qWaitFor([&] { return device.received() == "GET /allout?PW=pw&"; });
}

// The window in mode "TCP Server" listening on a free port, which it returns.
quint16 startServer(TForm1 &w, bool autoDisconnect = false, const QString &time = "200") {
    quietPolling(w);
    pickMode(w, modeTcpServer);
    pickDevice(w, 1);
    const quint16 port = freeTcpPort();
    w.ed_localserverport->setText(QString::number(port));
    w.cb_disconnectserver->setChecked(autoDisconnect);
    w.ed_disconnectservertime->setText(time);
    QTest::mouseClick(w.bt_listen, Qt::LeftButton);
    return port;
}

} // namespace

class TestAsciiChannels : public QObject {
    Q_OBJECT
private slots:
    // ---- TCP client ----

    void clientConnectsAsksAndShows() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        aimClient(w, device.port());
        w.writereport("old");
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QCOMPARE(w.status(0), QString("try to connect"));
        QCOMPARE(w.reportLines(), QStringList{}); // the report starts afresh
        QTRY_COMPARE(device.received(), QByteArray("GET /allout?PW=pw&"));
        const QString port = QString::number(device.port());
        QCOMPARE(w.status(0), "Connected to 127.0.0.1 Port " + port);
        QCOMPARE(w.bt_connect->text(), QString("Disconnect"));
        QVERIFY(w.nextIsSet);
        device.send(nul("input;0003;output;0001;counter;12;0"));
        QTRY_COMPARE(w.display->counterFields[0]->text(), QString("12"));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.reportLines(), (QStringList{"TCP ASCII -- Connected to Port " + port + " --",
                                               "TCP ASCII -> GET /allout?PW=pw&",
                                               "TCP ASCII <- input;0003;output;0001;counter;12;0"}));
    }

    void legacyDeviceIsAskedForInputs() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        aimClient(w, device.port());
        w.legacyDevice = true;
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QTRY_COMPARE(device.received(), QByteArray("GET /input?PW=pw&"));
    }

    void emptyPortOrAddressDoesNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, 80);
        w.ed_tcpasciiport->clear();
        w.writereport("kept");
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QCOMPARE(w.reportLines(), QStringList{"kept"});
        QCOMPARE(w.asciiClient->ws_io->State(), wsClosed);
    }

    void peerCloseReconnects() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        device.closeConnection();
        QTRY_COMPARE(w.status(0), QString("Connection Closed"));
        QCOMPARE(w.bt_connect->text(), QString("Connect"));
        QVERIFY(w.ti_wsioreconnect->isActive());
        QCOMPARE(w.ti_wsioreconnect->interval(), 2000);
        QCOMPARE(w.reportLines().mid(2),
                 (QStringList{"TCP ASCII -- Connection Closed --", "", "TCP ASCII -- Try to reconnect --"}));
        w.ti_wsioreconnect->start(20); // the same tick, sooner
        QTRY_COMPARE(device.connectionCount(), 2);
        QCOMPARE(w.status(1), QString("reronnect: 1"));
        QCOMPARE(w.bt_connect->text(), QString("Disconnect"));
        QTRY_COMPARE(device.received(1), QByteArray("GET /allout?PW=pw&"));
        QVERIFY(!w.ti_wsioreconnect->isActive()); // one shot
    }

    void refusedAttemptsRepeat() {
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, freeTcpPort());
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QTRY_VERIFY(w.ti_wsioreconnect->isActive());
        const QString port = w.ed_tcpasciiport->text();
        // The session start runs after a failed attempt too; its first
        // command finds no connection and the session closes inside the send.
        QCOMPARE(
            w.reportLines(),
            (QStringList{"TCP ASCII -- Connected to Port " + port + " --", "TCP ASCII -> GET /allout?PW=pw&",
                         "TCP ASCII -- Connection Closed --", "", "TCP ASCII -- Try to reconnect --"}));
        w.ti_wsioreconnect->setInterval(20);
        // Attempts follow each other every 20 ms: a busy machine may see more
        // than two by the time it looks.
        QTRY_VERIFY(w.reconnectCount >= 2);
        QCOMPARE(w.status(1), "reronnect: " + QString::number(w.reconnectCount));
        // A click on the status bar resets the count.
        QTest::mouseClick(w.StatusBar1, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(w.status(1), QString("reronnect: 0"));
        // Disconnect ends the cycle, also while a reconnect is waiting.
        QTRY_VERIFY(w.ti_wsioreconnect->isActive());
        w.bt_connect->setText("Disconnect");
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QVERIFY(w.asciiClosing);
        QVERIFY(!w.ti_wsioreconnect->isActive());
        QCOMPARE(w.asciiClient->ws_io->State(), wsClosed);
    }

    void disconnectDoesNotReconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QCOMPARE(w.status(0), QString("Not connected"));
        QCOMPARE(w.bt_connect->text(), QString("Connect"));
        QVERIFY(w.reportLines().contains("TCP ASCII -- Connection Closed --"));
        QVERIFY(!w.reportLines().contains("TCP ASCII -- Try to reconnect --"));
        QVERIFY(!w.ti_wsioreconnect->isActive());
        // Commands while not connected are dropped without a line.
        const int lines = w.reportLines().size();
        w.asciiClient->sendASCII("GET /input?PW=pw&");
        QCOMPARE(w.reportLines().size(), lines);
    }

    void modeChangeClosesWithoutReconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        pickMode(w, modeUdpPeer);
        QVERIFY(w.reportLines().contains("TCP ASCII -- Connection Closed --"));
        QVERIFY(!w.reportLines().contains("TCP ASCII -- Try to reconnect --"));
        QVERIFY(!w.ti_wsioreconnect->isActive());
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
        QVERIFY(w.bt_bind->isVisibleTo(&w));
        QTRY_VERIFY(device.connection()->state() != QAbstractSocket::ConnectedState);
    }

    void whateverTheDeviceSendsTheConnectionStays() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        QByteArray garbage;
        for (int i = 0; i < 256; ++i)
            garbage += char(i);
        device.send(garbage);
        device.send(nul("counter99999;5") + nul("input;00G1") + nul("input;zz;output;1;counter;x"));
        QByteArray many;
        for (int i = 0; i < 3000; ++i)
            many += nul(QByteArray("counter1;" + QByteArray::number(i)).constData());
        device.send(many);
        device.send(QByteArray(70000, 'x')); // a long run without a NUL, ended at last
        device.send(nul(""));
        device.send(nul("output;2"));
        QTRY_COMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.io.counters[1], quint32(2999));
        QCOMPARE(w.asciiClient->ws_io->State(), wsConnected);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // A device that floods the window with NUL bytes (every one an empty
    // reply with a report line of its own) on each receive path: the window
    // keeps running between the pieces, the pane stays under its ceiling,
    // and the connection still reads what comes after.
    void floodKeepsTheWindowResponsive_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("TCP Client") << int(modeTcpClient);
        QTest::newRow("TCP Server") << int(modeTcpServer);
        QTest::newRow("UDP Peer") << int(modeUdpPeer);
    }
    void floodKeepsTheWindowResponsive() {
        QFETCH(int, mode);
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoclear->setChecked(false);
        const QByteArray flood(1 << 20, '\0');
        ScriptedTcpServer device;
        ScriptedTcpClient serverDevice;
        ScriptedUdpPeer udpDevice;
        quint16 local = 0;
        std::function<void(const QByteArray &)> send;
        if (mode == modeTcpClient) {
            QVERIFY(connectClient(w, device));
            send = [&](const QByteArray &b) { device.send(b); };
        } else if (mode == modeTcpServer) {
            serverDevice.connectTo(startServer(w));
            QTRY_COMPARE(w.asciiServer->ws_io_cli->State(), wsConnected);
            send = [&](const QByteArray &b) { serverDevice.send(b); };
        } else {
            pickMode(w, modeUdpPeer);
            pickDevice(w, 1);
            local = freeUdpPort();
            w.ed_ip->setText("127.0.0.1");
            w.ed_udplocalport->setText(QString::number(local));
            w.ed_udpremoteport->setText(QString::number(udpDevice.port()));
            QTest::mouseClick(w.bt_bind, Qt::LeftButton);
            QTRY_COMPARE(udpDevice.datagrams.size(), 1);
            send = [&](const QByteArray &b) {
                for (qsizetype at = 0; at < b.size(); at += 65507)
                    udpDevice.sendTo(local, b.mid(at, 65507));
            };
        }
        LoopProbe probe;
        send(mode == modeUdpPeer ? flood.left(3 * 65507) : flood); // what a receive buffer holds
        QTRY_VERIFY(w.mm_report->lineCount() > 65000);
        const int ticksAtFirst = probe.ticks;
        QTest::qWait(20);
        send(nul("output;2"));
        QTRY_COMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        // The loop kept turning while the flood was worked through (each pass
        // may take several ms: a budget of replies and a batch of report lines).
        QVERIFY2(probe.ticks - ticksAtFirst >= 2, qPrintable(QString::number(probe.ticks - ticksAtFirst)));
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // ---- TCP server ----

    void serverAcceptsOneDeviceAtATime() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w);
        QCOMPARE(w.bt_listen->text(), QString("Stop Listen"));
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(w.status(0), QString("Port Connection acepted"));
        QCOMPARE(w.asciiServer->ws_io_serv->State(), wsClosed); // no longer listening
        ScriptedTcpClient second;
        second.connectTo(port);
        QTRY_VERIFY(second.disconnected()); // refused while the first is connected
        device.send(nul("input;0003"));
        QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
        w.asciiServer->sendASCIIServer("GET /output?PW=&");
        QTRY_COMPARE(device.received(), QByteArray("GET /output?PW=&"));
        QCOMPARE(
            w.reportLines(),
            (QStringList{"ASCII Server - Listen on Port " + QString::number(port),
                         "ASCII Server - Port Connection acepted", "ASCII Server - Server Connection closed",
                         "ASCII Server <- input;0003", "ASCII Server -> GET /output?PW=&"}));

        // The device leaves: the tool listens again on the same port.
        device.socket().disconnectFromHost();
        QTRY_COMPARE(w.status(0), QString("Port  closed"));
        QVERIFY(w.reportLines().contains("ASCII Server - Connection closed"));
        QCOMPARE(w.asciiServer->ws_io_serv->State(), wsListening);
        ScriptedTcpClient third;
        third.connectTo(port);
        QTRY_VERIFY(third.connected());
        QTRY_COMPARE(w.asciiServer->ws_io_cli->State(), wsConnected);
    }

    // A device that answers several commands in one piece: every reply is
    // read on its own, in order, none taking another's fields.
    void serverReadsEveryReplyOfAPiece() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpClient device;
        device.connectTo(startServer(w));
        QTRY_COMPARE(w.asciiServer->ws_io_cli->State(), wsConnected);
        device.send(QByteArray("input;0002\0output;0001\0counter;7;8\0", 35));
        QTRY_COMPARE(w.display->counterFields[1]->text(), QString("8"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("7"));
        QCOMPARE(w.display->inputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.reportLines().mid(3),
                 (QStringList{"ASCII Server <- input;0002", "ASCII Server <- output;0001",
                              "ASCII Server <- counter;7;8"}));
    }

    void serverAutoDisconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w, true, "200");
        ScriptedTcpClient device;
        QElapsedTimer clock;
        clock.start();
        device.connectTo(port);
        QTRY_VERIFY(device.disconnected() && w.reportLines().size() >= 5);
        QVERIFY(clock.elapsed() >= 190);
        QCOMPARE(
            w.reportLines().mid(1),
            (QStringList{"ASCII Server - Port Connection acepted", "ASCII Server - Server Connection closed",
                         "ASCII Server - Connection closed", "ASCII Server - closed by Timout"}));
        QCOMPARE(w.asciiServer->ws_io_serv->State(), wsListening);
    }

    void serverBadDisconnectTimeIsShown() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w, true, "");
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(f.dialogs.messages, QStringList{"'' ist kein gültiger Integerwert"});
        QVERIFY(!w.ti_ws_io_disconnect->isActive());
        QCOMPARE(w.asciiServer->ws_io_serv->State(), wsClosed);
        QCOMPARE(w.asciiServer->ws_io_cli->State(), wsConnected); // adopted before the error
    }

    void stopListenWhileConnected() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w);
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(w.asciiServer->ws_io_cli->State(), wsConnected);
        w.clearReport();
        QTest::mouseClick(w.bt_listen, Qt::LeftButton);
        QCOMPARE(w.reportLines(),
                 (QStringList{"ASCII Server - Connection closed", "ASCII Server - Server Connection closed",
                              "ASCII Server - Listening Stoped"}));
        QCOMPARE(w.bt_listen->text(), QString("Listen"));
        QCOMPARE(w.asciiServer->ws_io_serv->State(), wsClosed);
        QTRY_VERIFY(device.disconnected());
        ScriptedTcpClient late;
        late.connectTo(port);
        QTRY_VERIFY(late.disconnected()); // nothing listens
    }

    void serverPortInUse() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeTcpServer);
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress::AnyIPv4, 0));
        w.ed_localserverport->setText(QString::number(blocker.serverPort()));
        QTest::mouseClick(w.bt_listen, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QVERIFY(w.reportLines().contains("ASCII Server - Server Connection ERROR"));
        QCOMPARE(w.reportLines().last(), "ASCII Server - Listen on Port " + w.ed_localserverport->text());
        QCOMPARE(w.bt_listen->text(), QString("Stop Listen"));
    }

    void localPortLabelShowsBinaryServerStates() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeTcpServer);
        QTest::mouseClick(w.lb_localportasciiserver, Qt::LeftButton);
        QVERIFY(f.dialogs.messages.isEmpty()); // only in the binary server's mode
        pickMode(w, modeBinaryServer);
        QTest::mouseClick(w.lb_localportasciiserver, Qt::LeftButton);
        QCOMPARE(f.dialogs.messages,
                 QStringList{"State ServerSocket = wsClosed\r\nState ClientSocket = wsClosed"});
    }

    // ---- UDP peer ----

    void udpBindAsksAndParses() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        quietPolling(w);
        pickMode(w, modeUdpPeer);
        pickDevice(w, 1);
        const QString local = QString::number(freeUdpPort());
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("pw");
        w.ed_udplocalport->setText(local);
        w.ed_udpremoteport->setText(QString::number(device.port()));
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        // Binding and the first command happen within the click.
        QCOMPARE(w.reportLines(),
                 (QStringList{"UDP ASCII -- Binded to port" + local, "UDP ASCII -> GET /allout?PW=pw&"}));
        QCOMPARE(w.bt_bind->text(), QString("Disconnect"));
        QCOMPARE(w.status(0), "Binded to " + local);
        QTRY_COMPARE(device.datagrams.size(), 1);
        QCOMPARE(device.datagrams[0].data, QByteArray("GET /allout?PW=pw&"));
        QCOMPARE(QString::number(device.datagrams[0].fromPort), local);

        device.sendTo(local.toUShort(), nul("output;1") + nul("output;2") + "outp");
        device.sendTo(local.toUShort(), nul("ut;3"));
        QTRY_COMPARE(w.reportLines().size(), 5);
        QCOMPARE(w.reportLines().mid(2),
                 (QStringList{"UDP ASCII <- output;1", "UDP ASCII <- output;2", "UDP ASCII <- output;3"}));
        QCOMPARE(w.display->outputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);

        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        QCOMPARE(w.reportLines().last(), QString("UDP ASCII -- Stop Binding"));
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
        QCOMPARE(w.status(0), QString("Not connected"));
        const int lines = w.reportLines().size();
        w.asciiUdp->sendUDPASCII("GET /input?PW=pw&"); // dropped while released
        QCOMPARE(w.reportLines().size(), lines);
    }

    void udpBindWithoutAddressDoesNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeUdpPeer);
        w.writereport("kept");
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
        QCOMPARE(w.reportLines(), QStringList{"kept"});
    }

    void udpLocalPortInUse() {
        FormFixture f;
        TForm1 &w = f.form();
        QUdpSocket blocker;
        QVERIFY(blocker.bind(QHostAddress::AnyIPv4, 0));
        pickMode(w, modeUdpPeer);
        w.ed_ip->setText("127.0.0.1");
        w.ed_udplocalport->setText(QString::number(blocker.localPort()));
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.reportLines(),
                 (QStringList{"UDP ASCII -- Stop Binding", "UDP ASCII -- ERROR -- Stop Binding"}));
        QCOMPARE(w.status(0), QString("ERROR - Stop Binding"));
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
    }
};

QTEST_MAIN(TestAsciiChannels)
#include "tst_asciichannels.moc"
