// The real window against korvosim, run in-process on ports of 127.0.0.1 the
// system picks: in "TCP Client ", "TCP Server" and "UDP Peer" the simulated
// state shows on the lamps and counters, commands change the device, reset
// and clock reach it, and one fault per mode leaves the window working.
#include "formfixture.h"
#include "peers.h"
#include "protocols/ascii/asciicodec.h"
#include "protocols/ascii/asciireplies.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"
#include "simulator.h"

#include <QtTest>

namespace {

constexpr int type16 = 7; // "16In/Out", the simulator's default device

std::unique_ptr<sim::Simulator> startSim(sim::SimOptions o = sim::SimOptions::forTest()) {
    auto s = std::make_unique<sim::Simulator>(o);
    QString error;
    if (!s->start(&error))
        return nullptr;
    // Something to see: inputs 0 and 2, outputs 0 and 1, two counters.
    s->model().setInputs(0b101);
    s->model().setOutputs(0xFFFF, 0b11);
    s->model().setCounter(0, 12);
    s->model().setCounter(2, 3);
    return s;
}

sim::SimOptions withFault(const QString &service, const QString &list) {
    sim::SimOptions o = sim::SimOptions::forTest();
    o.faults[service].parse(list, nullptr);
    return o;
}

bool on(TForm1 &w, bool input, int i) {
    return (input ? w.display->inputLamps[i] : w.display->outputLamps[i])->color() == lampOnColor;
}

// The lamps and counters show the state startSim gave the device.
bool showsStartState(TForm1 &w) {
    return on(w, true, 0) && !on(w, true, 1) && on(w, true, 2) && on(w, false, 0) && on(w, false, 1) &&
           !on(w, false, 2) && w.display->counterFields[0]->text() == "12" &&
           w.display->counterFields[2]->text() == "3";
}

void aimClient(TForm1 &w, quint16 port) {
    pickMode(w, modeTcpClient);
    pickDevice(w, type16);
    w.ed_ip->setText("127.0.0.1");
    w.ed_tcpasciiport->setText(QString::number(port));
}

void bindUdp(TForm1 &w, quint16 port) {
    pickMode(w, modeUdpPeer);
    pickDevice(w, type16);
    w.ed_ip->setText("127.0.0.1");
    w.ed_udplocalport->setText(QString::number(freeUdpPort()));
    w.ed_udpremoteport->setText(QString::number(port));
    QTest::mouseClick(w.bt_bind, Qt::LeftButton);
}

// The window listening in "TCP Server" mode; returns the port.
quint16 listen(TForm1 &w, bool autoDisconnect = false) {
    pickMode(w, modeTcpServer);
    pickDevice(w, type16);
    const quint16 port = freeTcpPort();
    w.ed_localserverport->setText(QString::number(port));
    w.cb_disconnectserver->setChecked(autoDisconnect);
    QTest::mouseClick(w.bt_listen, Qt::LeftButton);
    return port;
}

sim::SimOptions connectingTo(quint16 port, sim::SimOptions o = sim::SimOptions::forTest()) {
    o.connectAscii = "127.0.0.1:" + QString::number(port);
    return o;
}

bool reportHas(TForm1 &w, const QString &start) {
    const QStringList lines = w.reportLines();
    return std::any_of(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(start); });
}

} // namespace

class TestSimWindow : public QObject {
    Q_OBJECT
private slots:
    void tcpClientShowsTheDevice() {
        auto device = startSim();
        QVERIFY(device);
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, device->port("ascii-tcp"));
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QTRY_VERIFY(showsStartState(w));
        QCOMPARE(w.bt_connect->text(), QString("Disconnect"));

        // A command changes the device, and its reply the lamps.
        w.asciiClient->sendASCII(ascii::setOutputs(QString(), "0300", "0100"));
        QTRY_VERIFY(on(w, false, 8));
        QCOMPARE(device->model().outputs(), 0x103u);
        // What changes on the device shows at the next read.
        device->model().clearCounters();
        device->model().setInputs(0b1000); // a rising edge on input 3 counts
        w.asciiClient->sendASCII(ascii::readAll(QString()));
        QTRY_VERIFY(on(w, true, 3) && !on(w, true, 0));
        QCOMPARE(w.display->counterFields[3]->text(), QString("1"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("0"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void tcpServerShowsTheDevice() {
        FormFixture f;
        TForm1 &w = f.form();
        const quint16 port = listen(w);
        auto device = startSim(connectingTo(port));
        QVERIFY(device);
        QTRY_COMPARE(w.status(0), QString("Port Connection acepted"));
        // The tool speaks first in this mode.
        w.asciiServer->sendASCIIServer(ascii::readAll(QString()));
        QTRY_VERIFY(showsStartState(w));
        w.asciiServer->sendASCIIServer(ascii::toggleOutput(QString(), 0));
        QTRY_VERIFY(!on(w, false, 0));
        QCOMPARE(device->model().outputs(), 0b10u);
    }

    void udpPeerShowsTheDevice() {
        auto device = startSim();
        QVERIFY(device);
        FormFixture f;
        TForm1 &w = f.form();
        bindUdp(w, device->port("ascii-udp"));
        QCOMPARE(w.bt_bind->text(), QString("Disconnect"));
        QTRY_VERIFY(showsStartState(w)); // the first command asks for everything
        w.asciiUdp->sendUDPASCII(ascii::clearCounters(QString()));
        QTRY_COMPARE(w.display->counterFields[0]->text(), QString("0"));
        QCOMPARE(device->model().counter(2), 0u);
    }

    void resetRestartsTheDevice() {
        sim::SimOptions o = sim::SimOptions::forTest();
        o.ports["reset"] = 8888; // the tool's fixed reset port
        o.password = "abc";
        auto device = startSim(o);
        if (!device)
            QSKIP("port 8888 on 127.0.0.1 is taken on this machine");
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeUdpPeer); // reset works in every mode
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("abc");
        QTest::mouseClick(w.bt_reset, Qt::LeftButton);
        QTRY_COMPARE(w.status(0), QString("Port 8888 closed (0)"));
        QCOMPARE(device->model().restartCount(), 1);
        QCOMPARE(device->model().outputs(), 0u);
        QCOMPARE(w.reportLines(),
                 (QStringList{"# Open Port 8888 for Reset", "# Port 8888 connected for Reset",
                              "# send Password for Reset", "# Port 8888 closed (0)"}));
    }

    void clockOverAsciiAndHttp() {
        auto device = startSim();
        QVERIFY(device);
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, device->port("ascii-tcp"));
        w.cb_setedittime->setChecked(true);
        w.ed_settime->setText("08.03.2021,14:03:09");
        QTest::mouseClick(w.bt_settime, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, "TCP ASCII -> time;08.03.2021,14:03:09"));
        QCOMPARE(device->model().clock().date(), QDate(2021, 3, 8));

        pickMode(w, modeHttp);
        w.ed_httpport->setText(QString::number(device->port("web")));
        w.ed_settime->setText("09.04.2022,10:00:00");
        QTest::mouseClick(w.bt_settime, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, "HTTP -> HTTP/1.1 200 OK"));
        QCOMPARE(device->model().clock().date(), QDate(2022, 4, 9));
    }

    // ---- faults the window survives ----

    void tcpClientAgainstARefusingDevice() {
        auto device = startSim(withFault("ascii-tcp", "refuse"));
        QVERIFY(device);
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, device->port("ascii-tcp"));
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, "TCP ASCII -- Try to reconnect"));
        QCOMPARE(w.status(0), QString("Connection Closed"));
        QCOMPARE(w.bt_connect->text(), QString("Connect"));
        QTest::mouseClick(w.bt_connect, Qt::LeftButton); // the user tries again
        QTRY_VERIFY(reportHas(w, "TCP ASCII -- Try to reconnect"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void tcpClientAgainstASplittingDevice() {
        auto device = startSim(withFault("ascii-tcp", "split"));
        QVERIFY(device);
        FormFixture f;
        TForm1 &w = f.form();
        aimClient(w, device->port("ascii-tcp"));
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        // One byte at a time: the reply is whole once its NUL is in.
        QTRY_VERIFY(showsStartState(w));
        const QStringList lines = w.reportLines();
        QCOMPARE(std::count_if(lines.begin(), lines.end(),
                               [](const QString &l) { return l.startsWith("TCP ASCII <- "); }),
                 1);
    }

    void tcpServerAgainstAStallingDevice() {
        FormFixture f;
        TForm1 &w = f.form();
        w.ed_disconnectservertime->setText("100");
        const quint16 port = listen(w, true);
        auto device = startSim(connectingTo(port, withFault("ascii-client", "stall")));
        QVERIFY(device);
        QTRY_COMPARE(w.status(0), QString("Port Connection acepted"));
        w.asciiServer->sendASCIIServer(ascii::readAll(QString()));
        // No answer; the tool drops the connection after its time, listens
        // again, and the device calls again.
        QTRY_VERIFY(reportHas(w, "ASCII Server - closed by Timout"));
        QTRY_VERIFY_WITH_TIMEOUT(w.reportLines().count("ASCII Server - Port Connection acepted") >= 2, 5000);
        QVERIFY(!on(w, true, 0));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void udpPeerAgainstAGarbageDevice() {
        auto device = startSim(withFault("ascii-udp", "garbage"));
        QVERIFY(device);
        FormFixture f;
        TForm1 &w = f.form();
        bindUdp(w, device->port("ascii-udp"));
        // The garbage arrives: as unfinished text, or as replies that do not parse.
        QTRY_VERIFY(!w.asciiReplies->asciiReceiveBuffer.buffered().isEmpty() ||
                    reportHas(w, "UDP ASCII <- "));
        for (int i = 0; i < 16; ++i)
            QVERIFY(!on(w, true, i) && !on(w, false, i));
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSimWindow)
#include "tst_simwindow.moc"
