// The ASCII modes of the real window (TCP client, TCP server, UDP peer)
// against a korvosim whose ASCII services misbehave: each fault ends in the mode's own error or
// reconnect texts or in decoded values, the loop keeps turning, the pane stays
// under its ceiling, and the user can always end the session.
#include "faultdevice.h"
#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/ascii/asciicodec.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"

#include <QtTest>

class TestFaultsAscii : public QObject {
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
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "replies";
    }
    void tcpClient() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        auto device = startFaulty("ascii-tcp", fault);
        device->model().setInputs(0x5);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeTcpClient);
        pickDevice(w, 7); // 16In/Out
        w.ed_ip->setText("127.0.0.1");
        w.ed_tcpasciiport->setText(QString::number(device->port("ascii-tcp")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);

        if (ending.startsWith("values"))
            QTRY_VERIFY(inputsShown(w));
        if (ending.endsWith("reconnect")) {
            QTRY_VERIFY(w.reportLines().contains("TCP ASCII -- Try to reconnect --") ||
                        w.reportLines().contains("TCP ASCII -- Try to reconnect "));
            QVERIFY(w.reportLines().contains("TCP ASCII -- Connection Closed --") ||
                    w.reportLines().contains("TCP ASCII -- ERROR - Connection Closed --"));
            tickSoonerOnce(w.ti_wsioreconnect);
            QTRY_COMPARE(w.status(1), QString("reronnect: 1"));
        } else if (ending == "values") {
            // Later commands go the same faulty way and are decoded too.
            device->model().setInputs(0x2);
            for (int i = 0; i < 3; ++i)
                w.asciiClient->sendASCII(ascii::readAll(QString()));
            QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
            QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        } else if (ending == "silence") {
            QTRY_VERIFY(w.reportLines().contains("TCP ASCII -- Connected to Port " +
                                                 w.ed_tcpasciiport->text() + " --"));
            QCOMPARE(linesStarting(w, "TCP ASCII <- "), 0);
        } else { // what came is shown as it came, and commands go on
            for (int i = 0; i < 20; ++i)
                w.asciiClient->sendASCII(ascii::readAll(QString()));
            if (ending == "replies") {
                QTRY_VERIFY(linesStarting(w, "TCP ASCII <- ") > 0);
            } else { // random bytes rarely hold the NUL that ends a reply
                QVERIFY(probe.morePasses(200));
                QVERIFY(!inputsShown(w));
            }
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());

        if (w.bt_connect->text() != "Connect")
            QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QCOMPARE(w.bt_connect->text(), QString("Connect"));
    }

    // The device calls the listening window; its faults ride on that call.
    void tcpServer_data() {
        faultColumns();
        QTest::newRow("never calls") << "refuse"
                                     << "no device";
        QTest::newRow("close after 1 reply") << "close-after:1"
                                             << "values, listens again";
        QTest::newRow("stall") << "stall"
                               << "silence";
        // Here every piece received is a reply of its own, as it came: single
        // bytes are shown, and none holds a value.
        QTest::newRow("split into bytes") << "split"
                                          << "pieces";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "no values";
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "replies";
    }
    void tcpServer() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false);
        pickMode(w, modeTcpServer);
        pickDevice(w, 7);
        const quint16 port = freeTcpPort();
        w.ed_localserverport->setText(QString::number(port));
        LoopProbe probe;
        QTest::mouseClick(w.bt_listen, Qt::LeftButton);
        sim::SimOptions options = sim::SimOptions::forTest();
        options.connectAscii = "127.0.0.1:" + QString::number(port);
        auto device = startFaulty("ascii-client", fault, options);
        device->model().setInputs(0x5);
        const auto readAll = [&w] {
            for (int i = 0; i < 3; ++i)
                w.asciiServer->sendASCIIServer(ascii::readAll(QString()));
        };

        if (ending == "no device") {
            QVERIFY(probe.morePasses(200));
            QCOMPARE(w.asciiServer->ws_io_serv->State(), wsListening);
            QCOMPARE(linesStarting(w, "ASCII Server - Port "), 0);
        } else {
            QTRY_COMPARE(w.asciiServer->ws_io_cli->State(), wsConnected);
            readAll();
            if (ending.startsWith("values"))
                QTRY_VERIFY(inputsShown(w));
            if (ending == "values") {
                device->model().setInputs(0x2);
                readAll();
                QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
                QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
            } else if (ending.endsWith("listens again")) {
                // The device hangs up; the window listens, and the device calls again.
                QTRY_VERIFY(w.reportLines().contains("ASCII Server - Connection closed"));
                QTRY_COMPARE(linesStarting(w, "ASCII Server - Port "), 2);
            } else if (ending == "silence") {
                QVERIFY(probe.morePasses(200));
                QCOMPARE(linesStarting(w, "ASCII Server <- "), 0);
            } else { // what came is shown as it came
                QTRY_VERIFY(linesStarting(w, "ASCII Server <- ") > (ending == "pieces" ? 10 : 0));
                if (ending != "replies")
                    QVERIFY(!inputsShown(w));
            }
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(w.bt_listen->isEnabled());
        QTest::mouseClick(w.bt_listen, Qt::LeftButton);
        QCOMPARE(w.bt_listen->text(), QString("Listen"));
        QCOMPARE(w.asciiServer->ws_io_serv->State(), wsClosed);
        QCOMPARE(w.asciiServer->ws_io_cli->State(), wsClosed);
    }

    void udpPeer_data() {
        faultColumns();
        QTest::newRow("refuse") << "refuse"
                                << "silence";
        QTest::newRow("stops after 1 reply") << "close-after:1"
                                             << "values";
        QTest::newRow("stall") << "stall"
                               << "silence";
        QTest::newRow("split into bytes") << "split"
                                          << "replies";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "replies";
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "replies";
    }
    void udpPeer() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        auto device = startFaulty("ascii-udp", fault);
        device->model().setInputs(0x5);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeUdpPeer);
        pickDevice(w, 7);
        w.ed_ip->setText("127.0.0.1");
        w.ed_udplocalport->setText(QString::number(freeUdpPort()));
        w.ed_udpremoteport->setText(QString::number(device->port("ascii-udp")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        QTRY_VERIFY(w.reportLines().contains("UDP ASCII -- Binded to port" + w.ed_udplocalport->text()));

        if (ending == "values") {
            QTRY_VERIFY(inputsShown(w));
        } else {
            for (int i = 0; i < 20; ++i)
                w.asciiUdp->sendUDPASCII(ascii::readAll(QString()));
            if (ending == "replies")
                QTRY_VERIFY(linesStarting(w, "UDP ASCII <- ") > 0);
            else
                QCOMPARE(linesStarting(w, "UDP ASCII <- "), 0);
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
    }
};

QTEST_MAIN(TestFaultsAscii)
#include "tst_faultsascii.moc"
