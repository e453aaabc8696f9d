#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/binary/binarychannel.h"
#include "protocols/binary/binarycodec.h"
#include "protocols/binary/binarytcpclient.h"
#include "protocols/binary/binarytcpserver.h"
#include "protocols/binary/binaryudppeer.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

const QByteArray registerRequest = hex("0000 0000 2100 0800");
const QByteArray keyRequest = hex("0000 0000 0280 0800");
const QByteArray authRequired = hex("0000 0000 0480 0800");
const QByteArray authOK = hex("0000 0000 0580 0800");
const QByteArray authFail = hex("0000 0000 0680 0800");
const QByteArray regState = hex("0000 0000 3100 0E00 0000 0500 0200"); // inputs 0, 2; output 1
// A Key of four bytes "abcd"; with the password "pw" the answer is the MD5 of "pwabcd".
const QByteArray key = hex("0000 0000 0380 1000 0400 0000 6162 6364");
const QByteArray login = hex("0000 0000 0180 2800") + "B6B2293B1A57C9A67E2F1752735B21ED";
const QStringList registerLines{"BINARY -> send struct RegisterRequest", "0000", "0000", "0021", "0008"};
const QString hyphens(38, '-');

// The window in mode "TCP Binary Client" aimed at a device, type "4In/Out".
void aimClient(TForm1 &w, quint16 port) {
    pickMode(w, modeBinaryClient);
    pickDevice(w, 2);
    w.ed_ip->setText("127.0.0.1");
    typeInto(w.co_tcpbinport, QString::number(port));
    w.ed_password->setText("pw");
}

// Connects the client to device and waits for its registration.
bool connectClient(TForm1 &w, ScriptedTcpServer &device, int connection = 0) {
    aimClient(w, device.port());
    QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
    return QTest::qWaitFor([&] { return device.received(connection) == registerRequest; });
}

// The window in mode "TCP Binary Server" listening on a free port.
quint16 startServer(TForm1 &w, bool autoDisconnect = false, const QString &time = "200") {
    pickMode(w, modeBinaryServer);
    pickDevice(w, 2);
    const quint16 port = freeTcpPort();
    typeInto(w.co_localserverportbin, QString::number(port));
    w.cb_disconnectserverbin->setChecked(autoDisconnect);
    w.ed_disconnectservertimebin->setText(time);
    QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
    return port;
}

// The window in mode "UDP Binary Peer" bound towards device; returns the local port.
quint16 bindUdp(TForm1 &w, ScriptedUdpPeer &device) {
    pickMode(w, modeBinaryUdp);
    pickDevice(w, 2);
    const quint16 local = freeUdpPort();
    w.ed_ip->setText("127.0.0.1");
    w.ed_password->setText("pw");
    typeInto(w.co_udplocalportbin, QString::number(local));
    typeInto(w.co_udpremoteportbin, QString::number(device.port()));
    QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
    return local;
}

} // namespace

class TestBinaryChannels : public QObject {
    Q_OBJECT
private slots:
    // ---- sender ----

    void nothingConnectedSendsNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryClient);
        w.binaryChannel->sendbinary("registerrequest", 0, 0);
        w.ed_option->setText("");
        w.binaryChannel->sendbinary("options", 0, 0); // not even the conversion
        QCOMPARE(w.reportLines(), QStringList{});
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void sendsOnTheSocketOfTheMode() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpClient device;
        device.connectTo(startServer(w));
        QTRY_COMPARE(w.binaryChannel->server->ws_io_cli_bin->State(), wsConnected);
        w.clearReport();
        w.binaryChannel->sendbinary("setbit", 0x0005, 0x0004);
        QTRY_COMPARE(device.received(), hex("0000 0000 0900 0C00 0500 0400"));
        QCOMPARE(w.reportLines(), (QStringList{"BINARY -> send struct SetBit", "0000", "0000", "0009", "000C",
                                               "0005", "0004"}));
        w.binaryChannel->sendbinary("nonsense", 1, 1);
        QCOMPARE(w.reportLines().size(), 7);
        // A bad option text: the message, no line, nothing sent.
        w.ed_option->setText("");
        guard([&] { w.binaryChannel->sendbinary("options", 0, 0); });
        QCOMPARE(f.dialogs.messages, QStringList{"'$' ist kein gültiger Integerwert"});
        QCOMPARE(w.reportLines().size(), 7);
        w.ed_option->setText("1A");
        w.binaryChannel->sendbinary("options", 0, 0);
        QTRY_COMPARE(device.received().mid(12), hex("0000 0000 F001 1000 0100 0000 1A00 0000"));
    }

    void otherModeSocketReportsOnly() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        bindUdp(w, device);
        QTRY_COMPARE(device.datagrams.size(), 1);
        // The mode changes without closing the bound socket: the report shows
        // the request, but the socket of the mode (the TCP client) is closed.
        w.currentMode = modeBinaryClient;
        w.clearReport();
        w.binaryChannel->sendbinary("readregister", 0, 0);
        QCOMPARE(w.reportLines().size(), 5);
        w.binaryChannel->sendbinary("readallcounter", 0, 0);
        w.currentMode = modeBinaryUdp;
        w.binaryChannel->sendbinary("clearallcounter", 0, 0);
        QTRY_COMPARE(device.datagrams.size(), 2);
        QCOMPARE(device.datagrams[1].data, hex("0000 0000 C100 0800")); // only the last one went out
    }

    // ---- TCP client ----

    void clientLogsInAndShows() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        aimClient(w, device.port());
        w.writereport("old");
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QCOMPARE(w.bt_connect_bin->text(), QString("Disconnect"));
        QCOMPARE(w.status(0), QString("try to connect"));
        QTRY_COMPARE(device.received(), registerRequest);
        const QString where = "127.0.0.1 Port " + QString::number(device.port());
        QCOMPARE(w.status(0), "Connected to " + where);
        QVERIFY(w.nextIsSet);
        QCOMPARE(w.reportLines(), (QStringList{"BINARY -- Connected to " + where} + registerLines));

        device.send(authRequired);
        QTRY_COMPARE(device.received(), registerRequest + keyRequest);
        // The key arrives in two pieces; the login must still be right.
        device.send(key.left(13));
        QTRY_VERIFY(w.binaryChannel->client->receiver->backlog() == 13);
        device.send(key.mid(13));
        QTRY_COMPARE(device.received(), registerRequest + keyRequest + login);
        device.send(authOK + regState);
        QTRY_COMPARE(w.display->inputLamps[2]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.reportLines().mid(6), (QStringList{"BINARY <- receive struct AuthRequired",
                                                      "0000",
                                                      "0000",
                                                      "8004",
                                                      "0008",
                                                      "",
                                                      "BINARY <- Send struct KeyRequest",
                                                      "0000",
                                                      "0000",
                                                      "8002",
                                                      "0008",
                                                      "BINARY <- receive struct Key",
                                                      "0000",
                                                      "0000",
                                                      "8003",
                                                      "0010",
                                                      "00000004",
                                                      "61 62 63 64 00 00 00 00 00 00 00 00 00 00 00 00 ",
                                                      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ",
                                                      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ",
                                                      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ",
                                                      "",
                                                      "BINARY <- Send struct Login",
                                                      "0000",
                                                      "0000",
                                                      "8001",
                                                      "0028",
                                                      "B6B2293B1A57C9A67E2F1752735B21ED",
                                                      "BINARY <- receive struct AuthOK",
                                                      "0000",
                                                      "0000",
                                                      "8005",
                                                      "0008",
                                                      "",
                                                      "BINARY <- receive struct RegState",
                                                      "0000",
                                                      "0000",
                                                      "0031",
                                                      "000E",
                                                      "0005",
                                                      "0002"}));
    }

    void authFailClosesAndReconnects() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        w.clearReport();
        device.send(authFail);
        QTRY_COMPARE(w.status(0), QString("Connection Closed"));
        QCOMPARE(w.reportLines(),
                 (QStringList{"BINARY <- receive struct AuthFail", "0000", "0000", "8006", "0008",
                              "BINARY -- Connection Closed ", "BINARY -- Try to reconnect "}));
        QCOMPARE(w.bt_connect_bin->text(), QString("Connect"));
        QVERIFY(w.ti_wsioreconnectbin->isActive());
        QCOMPARE(w.ti_wsioreconnectbin->interval(), 2000);
        w.ti_wsioreconnectbin->start(20); // the same tick, sooner
        QTRY_COMPARE(device.received(1), registerRequest);
        QCOMPARE(w.status(1), QString("reronnect: 1"));
        QCOMPARE(w.bt_connect_bin->text(), QString("Disconnect"));
        QVERIFY(!w.ti_wsioreconnectbin->isActive()); // one shot
    }

    void emptyAddressDoesNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, 49153);
        w.ed_ip->clear();
        w.writereport("kept");
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QCOMPARE(w.bt_connect_bin->text(), QString("Connect"));
        QCOMPARE(w.reportLines(), QStringList{"kept"});
        QCOMPARE(w.binaryChannel->client->ws_io_binary->State(), wsClosed);
    }

    void refusedAttemptsRepeatUntilDisconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, freeTcpPort());
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QTRY_VERIFY(w.ti_wsioreconnectbin->isActive());
        const QString where = "127.0.0.1 Port " + w.co_tcpbinport->currentText();
        const QStringList expected =
            QStringList{"BINARY -- Connected to " + where} + registerLines +
            QStringList{"BINARY -- Connection Closed ", "BINARY -- Try to reconnect "};
        QCOMPARE(w.reportLines(), expected);
        w.ti_wsioreconnectbin->setInterval(20);
        QTRY_COMPARE(w.status(1), QString("reronnect: 2"));
        // Disconnect ends the cycle, also while a reconnect is waiting.
        QTRY_VERIFY(w.ti_wsioreconnectbin->isActive());
        w.bt_connect_bin->setText("Disconnect");
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QVERIFY(w.binaryClosing);
        QVERIFY(!w.ti_wsioreconnectbin->isActive());
        QCOMPARE(w.status(0), QString("Not connected"));
    }

    void disconnectDoesNotReconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QCOMPARE(w.reportLines().last(), QString("BINARY -- Connection Closed "));
        QCOMPARE(w.status(0), QString("Not connected"));
        QVERIFY(!w.ti_wsioreconnectbin->isActive());
    }

    // Any bytes end in decoded structures or a dropped tail; the connection
    // stays, the window keeps running, and what follows is still read.
    void whateverTheDeviceSendsTheConnectionStays() {
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoclear->setChecked(false);
        ScriptedTcpServer device;
        QVERIFY(connectClient(w, device));
        QRandomGenerator rng(42);
        QByteArray noise(20000, '\0');
        for (char &c : noise)
            c = char(rng.bounded(256));
        device.send(noise);
        device.send(hex("0000 0000 B400 0E00 6300 0100 0000")); // counter 99
        device.send(hex("0000 0000 0380 1000 FFFF FFFF 0102 0304"));
        device.send(hex("0000 0000 3100 0000")); // length 0: falls into step
        QByteArray many;
        for (int i = 0; i < 10000; ++i)
            many += hex("0000 0000 B400 0E00 0100") +
                    QByteArray::fromRawData(reinterpret_cast<const char *>(&i), 4);
        LoopProbe probe;
        device.send(many);
        QTRY_COMPARE_WITH_TIMEOUT(w.io.counters[1], quint32(9999), 10000);
        device.send(regState);
        QTRY_COMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QVERIFY2(probe.longestMs < 100, qPrintable(QString::number(probe.longestMs)));
        QCOMPARE(w.binaryChannel->client->ws_io_binary->State(), wsConnected);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // ---- TCP server ----

    void serverServesOneDeviceAtATime() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w);
        QCOMPARE(w.bt_listenbin->text(), QString("Stop Listen"));
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(w.status(0), QString("Port Connection acepted"));
        QCOMPARE(w.binaryChannel->server->ws_io_serv_bin->State(), wsClosed);
        ScriptedTcpClient second;
        second.connectTo(port);
        QTRY_VERIFY(second.disconnected()); // refused while the first is served
        device.send(regState);
        QTRY_COMPARE(w.display->inputLamps[2]->color(), lampOnColor);
        QVERIFY(w.ti_server_wd->isActive()); // the watchdog runs after the first data
        device.socket().disconnectFromHost();
        QTRY_COMPARE(w.status(0), QString("Port  closed"));
        QCOMPARE(w.reportLines(),
                 (QStringList{"BINARY -- Server - listening on Port " + QString::number(port),
                              "BINARY -- Server - Port Connection acepted",
                              "BINARY <- receive struct RegState", "0000", "0000", "0031", "000E", "0005",
                              "0002", "BINARY -- Server - Connection closed", hyphens}));
        // The ended connection's watchdog is gone: a device that stays
        // silent from the start is not closed by it.
        QVERIFY(!w.ti_server_wd->isActive());
        QCOMPARE(w.binaryChannel->server->ws_io_serv_bin->State(), wsListening);
        ScriptedTcpClient third;
        third.connectTo(port);
        QTRY_COMPARE(w.binaryChannel->server->ws_io_cli_bin->State(), wsConnected);
        QVERIFY(!w.ti_server_wd->isActive());
    }

    void serverLogsInTheDevice() {
        FormFixture f;
        TForm1 &w = f.form();
        w.ed_password->setText("pw");
        ScriptedTcpClient device;
        device.connectTo(startServer(w));
        QTRY_COMPARE(w.binaryChannel->server->ws_io_cli_bin->State(), wsConnected);
        device.send(authRequired);
        QTRY_COMPARE(device.received(), keyRequest);
        device.send(key);
        QTRY_COMPARE(device.received(), keyRequest + login);
        QVERIFY(!w.errorHighlighted());
        QVERIFY(w.reportLines().contains("BINARY <- Send struct Login"));
    }

    void watchdogRestartsListening() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w);
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(w.binaryChannel->server->ws_io_cli_bin->State(), wsConnected);
        QVERIFY(!w.ti_server_wd->isActive()); // silent from the start: no watchdog
        QCOMPARE(w.ti_server_wd->interval(), 3000);
        w.ti_server_wd->setInterval(300); // the same rule, sooner
        device.send(authOK);
        QTRY_VERIFY(w.ti_server_wd->isActive());
        w.clearReport();
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY(device.disconnected());
        QTRY_COMPARE(w.binaryChannel->server->ws_io_serv_bin->State(), wsListening);
        QVERIFY(clock.elapsed() >= 200);
        QCOMPARE(w.reportLines(), (QStringList{"BINARY -- Server - Connection closed", hyphens,
                                               "BINARY -- Server restart listening"}));
        QCOMPARE(w.bt_listenbin->text(), QString("Stop Listen"));
        QVERIFY(!w.ti_server_wd->isActive());
    }

    void serverAutoDisconnect() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w, true, "200");
        for (int round = 0; round < 2; ++round) {
            ScriptedTcpClient device;
            QElapsedTimer clock;
            clock.start();
            w.clearReport();
            device.connectTo(port);
            QTRY_VERIFY(device.disconnected() && w.reportLines().size() >= 4);
            QVERIFY(clock.elapsed() >= 190);
            QCOMPARE(w.reportLines(), (QStringList{"BINARY -- Server - Port Connection acepted",
                                                   "BINARY -- Server - Connection closed", hyphens,
                                                   "BINARY -- Server - closed by Timout"}));
            QTRY_COMPARE(w.binaryChannel->server->ws_io_serv_bin->State(), wsListening);
        }
    }

    void autoDisconnectZeroMeansNone_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("binary server") << int(modeBinaryServer);
        QTest::newRow("ASCII server") << int(modeTcpServer);
    }
    void autoDisconnectZeroMeansNone() {
        QFETCH(int, mode);
        FormFixture f;
        TForm1 &w = f.form();
        quint16 port;
        QTimer *timer;
        if (mode == modeBinaryServer) {
            port = startServer(w, true, "0");
            timer = w.ti_ws_io_disconnectbin;
        } else {
            pickMode(w, modeTcpServer);
            port = freeTcpPort();
            w.ed_localserverport->setText(QString::number(port));
            w.cb_disconnectserver->setChecked(true);
            w.ed_disconnectservertime->setText("0");
            QTest::mouseClick(w.bt_listen, Qt::LeftButton);
            timer = w.ti_ws_io_disconnect;
        }
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(w.status(0), QString("Port Connection acepted"));
        QVERIFY(!timer->isActive());
        QVERIFY(device.connected());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void stopListenWhileServing() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = startServer(w);
        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(w.binaryChannel->server->ws_io_cli_bin->State(), wsConnected);
        device.send(authOK);
        QTRY_VERIFY(w.ti_server_wd->isActive());
        w.clearReport();
        QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
        QCOMPARE(w.reportLines(), (QStringList{"BINARY -- Server - Connection closed", hyphens,
                                               "BINARY -- Server listening stoped"}));
        QCOMPARE(w.bt_listenbin->text(), QString("Listen"));
        QVERIFY(!w.ti_server_wd->isActive());
        QTRY_VERIFY(device.disconnected());
        ScriptedTcpClient late;
        late.connectTo(port);
        QTRY_VERIFY(late.disconnected()); // nothing listens
    }

    void serverPortInUse() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryServer);
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress::AnyIPv4, 0));
        typeInto(w.co_localserverportbin, QString::number(blocker.serverPort()));
        QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.reportLines(), (QStringList{"BINARY -- Server - Server Connection ERROR", QString(40, '*'),
                                               "BINARY -- Server - listening on Port " +
                                                   QString::number(blocker.serverPort())}));
        QCOMPARE(w.bt_listenbin->text(), QString("Stop Listen"));
    }

    // ---- UDP peer ----

    void udpBindRegistersAndLogsIn() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedUdpPeer device;
        const quint16 local = bindUdp(w, device);
        const QString localText = QString::number(local);
        QCOMPARE(w.reportLines(), (QStringList{"BINARY -- Binded to UDP-Port " + localText} + registerLines));
        QCOMPARE(w.bt_bindbin->text(), QString("Stop Bind"));
        QCOMPARE(w.status(0), "Binded to " + localText);
        QTRY_COMPARE(device.datagrams.size(), 1);
        QCOMPARE(device.datagrams[0].data, registerRequest);
        QCOMPARE(device.datagrams[0].fromPort, local);

        // The login answers go out on the UDP peer, the mode's own socket.
        device.sendTo(local, authRequired);
        QTRY_COMPARE(device.datagrams.size(), 2);
        QCOMPARE(device.datagrams[1].data, keyRequest);
        device.sendTo(local, key);
        QTRY_COMPARE(device.datagrams.size(), 3);
        QCOMPARE(device.datagrams[2].data, login);
        // Several structures in one datagram; a split one is never joined.
        device.sendTo(local, authOK + regState + regState.left(5));
        device.sendTo(local, regState.mid(5));
        QTRY_VERIFY(w.reportLines().count("unknowen Structure Received") == 1);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QVERIFY(!w.errorHighlighted());
        QCOMPARE(w.binaryChannel->client->ws_io_binary->State(), wsClosed);

        QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
        QCOMPARE(w.reportLines().last(), QString("BINARY -- UDP Stop Binding"));
        QCOMPARE(w.bt_bindbin->text(), QString("Bind"));
        QCOMPARE(w.status(0), QString("Not connected"));
    }

    void udpLocalPortInUse() {
        FormFixture f;
        TForm1 &w = f.form();
        QUdpSocket blocker;
        QVERIFY(blocker.bind(QHostAddress::AnyIPv4, 0));
        pickMode(w, modeBinaryUdp);
        w.ed_ip->setText("127.0.0.1");
        typeInto(w.co_udplocalportbin, QString::number(blocker.localPort()));
        QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.reportLines().last(), QString("BINARY -- UDP ERROR - Stop Binding"));
        QCOMPARE(w.status(0), QString("ERROR - Stop Binding"));
        QCOMPARE(w.bt_bindbin->text(), QString("Bind"));
    }
};

QTEST_MAIN(TestBinaryChannels)
#include "tst_binarychannels.moc"
