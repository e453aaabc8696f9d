// The binary modes of the real window (TCP client, TCP server, UDP peer)
// against a korvosim whose binary service misbehaves: each fault ends in the mode's own
// error or reconnect texts or in decoded values, the loop keeps turning, the
// pane stays under its ceiling, and the user can always end the session.
#include "faultdevice.h"
#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/binary/binarychannel.h"
#include "protocols/binary/binarytcpclient.h"
#include "protocols/binary/binarytcpserver.h"
#include "protocols/binary/binaryudppeer.h"

#include <QtTest>

namespace {
// Sets output 0 on the device and waits until the device has done it (its
// faulty replies are then on their way) and the window's loop has run many
// passes more, so what came back has been read.
// A silent device (nullptr) only gets the passes.
void settleAfterWrites(TForm1 &w, sim::Simulator *device, LoopProbe &probe) {
    for (int i = 0; i < 3; ++i)
        w.binaryChannel->sendbinary("setbit", 0x0001, 0x0001);
    if (device)
        QTRY_COMPARE(device->model().outputs(), 1u);
    QVERIFY(probe.morePasses(200));
}
int stateReplies(TForm1 &w) { return int(w.reportLines().count("BINARY <- receive struct RegState")); }
} // namespace

class TestFaultsBinary : public QObject {
    Q_OBJECT
private slots:
    void tcpClient_data() {
        faultColumns();
        QTest::newRow("refuse") << "refuse"
                                << "reconnect";
        QTest::newRow("close after 1 reply") << "close-after:1"
                                             << "values, reconnect";
        QTest::newRow("stall") << "stall"
                               << "silence";
        QTest::newRow("split into bytes") << "split"
                                          << "values";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "no values";
        // A length outside the limits: what came is taken as one structure.
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "values";
    }
    void tcpClient() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        auto device = startFaulty("binary-tcp", fault);
        device->model().setInputs(0x5);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryClient);
        pickDevice(w, 7); // 16In/Out
        w.ed_ip->setText("127.0.0.1");
        typeInto(w.co_tcpbinport, QString::number(device->port("binary-tcp")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);

        if (ending.startsWith("values")) {
            QTRY_VERIFY(inputsShown(w));
            // More requests go through the same faulty path and are decoded.
            device->model().setInputs(0x2);
            w.binaryChannel->sendbinary("readregister", 0, 0);
        }
        if (ending == "values") {
            QTRY_VERIFY(w.display->inputLamps[1]->color() == lampOnColor);
            QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        } else if (ending.endsWith("reconnect")) {
            QTRY_VERIFY(w.reportLines().contains("BINARY -- Try to reconnect "));
            QVERIFY(w.reportLines().contains("BINARY -- Connection Closed ") ||
                    w.reportLines().contains("BINARY -- ERROR -- Connection Closed "));
            tickSoonerOnce(w.ti_wsioreconnectbin);
            QTRY_COMPARE(w.status(1), QString("reronnect: 1"));
        } else if (ending == "silence") {
            QTRY_VERIFY(w.reportLines().contains("BINARY -- Connected to 127.0.0.1 Port " +
                                                 QString::number(device->port("binary-tcp"))));
            w.binaryChannel->sendbinary("readregister", 0, 0);
            QCOMPARE(stateReplies(w), 0);
        } else { // "no values": whatever comes back is not taken for a state
            QTRY_VERIFY(w.reportLines().contains("BINARY -- Connected to 127.0.0.1 Port " +
                                                 QString::number(device->port("binary-tcp"))));
            settleAfterWrites(w, device.get(), probe);
            QCOMPARE(stateReplies(w), 0);
            QVERIFY(!inputsShown(w));
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());

        // Whatever the device did, the user ends it, and no reconnect waits.
        if (w.bt_connect_bin->text() != "Connect")
            QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QCOMPARE(w.bt_connect_bin->text(), QString("Connect"));
        QVERIFY(!w.ti_wsioreconnectbin->isActive() || !w.binaryClosing);
    }

    // The device calls the listening window and asks for the login; its
    // faults ride on that call.
    void tcpServer_data() {
        faultColumns();
        QTest::newRow("never calls") << "refuse"
                                     << "no device";
        // The device hangs up after its first answer (the key), before any
        // login: the window listens again and the device calls again.
        QTest::newRow("close after 1 reply") << "close-after:1"
                                             << "listens again";
        QTest::newRow("stall") << "stall"
                               << "silence";
        QTest::newRow("split into bytes") << "split"
                                          << "values";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "no values";
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "values";
    }
    void tcpServer() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryServer);
        pickDevice(w, 7);
        w.ed_password->setText("pw");
        const quint16 port = freeTcpPort();
        typeInto(w.co_localserverportbin, QString::number(port));
        LoopProbe probe;
        QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
        sim::SimOptions options = sim::SimOptions::forTest();
        options.connectBinary = "127.0.0.1:" + QString::number(port);
        options.password = "pw";
        auto device = startFaulty("binary-client", fault, options);
        device->model().setInputs(0x5);
        TWSocket *served = w.socket("ws_io_cli_bin");
        TWSocket *listener = w.socket("ws_io_serv_bin");
        QVERIFY(served && listener);
        const auto accepted = [&w] {
            return int(w.reportLines().count("BINARY -- Server - Port Connection acepted"));
        };

        if (ending == "no device") {
            QVERIFY(probe.morePasses(200));
            QCOMPARE(listener->State(), wsListening);
            QCOMPARE(accepted(), 0);
        } else if (ending == "listens again") {
            QTRY_VERIFY(w.reportLines().contains("BINARY -- Server - Connection closed"));
            QTRY_COMPARE(accepted(), 2);
            QVERIFY(!w.reportLines().contains("BINARY <- receive struct AuthOK"));
        } else if (ending == "values") {
            QTRY_VERIFY2(w.reportLines().contains("BINARY <- receive struct AuthOK"),
                         qPrintable(w.reportLines().join('\n')));
            w.binaryChannel->sendbinary("readregister", 0, 0);
            QTRY_VERIFY(inputsShown(w));
            device->model().setInputs(0x2);
            w.binaryChannel->sendbinary("readregister", 0, 0);
            QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
            QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        } else { // "silence", "no values": nothing taken for a state
            QTRY_COMPARE(served->State(), wsConnected);
            for (int i = 0; i < 3; ++i)
                w.binaryChannel->sendbinary("readregister", 0, 0);
            QVERIFY(probe.morePasses(200));
            QCOMPARE(stateReplies(w), 0);
            QVERIFY(!inputsShown(w));
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(w.bt_listenbin->isEnabled());
        QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
        QCOMPARE(w.bt_listenbin->text(), QString("Listen"));
        QCOMPARE(listener->State(), wsClosed);
        QCOMPARE(served->State(), wsClosed);
    }

    void udpPeer_data() {
        faultColumns();
        QTest::newRow("refuse") << "refuse"
                                << "silence";
        QTest::newRow("stops after 1 reply") << "close-after:1"
                                             << "values, then silence";
        QTest::newRow("stall") << "stall"
                               << "silence";
        QTest::newRow("split into bytes") << "split"
                                          << "no values";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "no values";
        // A length outside the limits: what came is taken as one structure.
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "values";
    }
    void udpPeer() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        auto device = startFaulty("binary-udp", fault);
        device->model().setInputs(0x5);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryUdp);
        pickDevice(w, 7);
        w.ed_ip->setText("127.0.0.1");
        typeInto(w.co_udplocalportbin, QString::number(freeUdpPort()));
        typeInto(w.co_udpremoteportbin, QString::number(device->port("binary-udp")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
        QTRY_VERIFY(w.reportLines().join('\n').contains("BINARY -- Binded to UDP-Port "));

        if (ending.startsWith("values")) {
            QTRY_VERIFY(inputsShown(w));
            device->model().setInputs(0x2);
            w.binaryChannel->sendbinary("readregister", 0, 0);
            if (ending == "values")
                QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
        } else {
            settleAfterWrites(w, ending == "no values" ? device.get() : nullptr, probe);
            QCOMPARE(stateReplies(w), 0);
            QVERIFY(!inputsShown(w));
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
        QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
        QCOMPARE(w.bt_bindbin->text(), QString("Bind"));
    }
};

QTEST_MAIN(TestFaultsBinary)
#include "tst_faultsbinary.moc"
