// "Get and Set" and the I/O display as a user works them, in all ten modes,
// against korvosim on 127.0.0.1: the buttons, the lamp clicks, the counter
// fields and "Get" buttons, the go-round and the "auto" boxes, each checked on
// the device and read back in the window. The simulator runs on a thread of
// its own, since a REST request blocks the window's thread until answered.
#include "formfixture.h"
#include "peers.h"
#include "simthread.h"

#include <QtTest>
#include <functional>
#include <memory>

namespace {

std::unique_ptr<SimThread> startSim(sim::SimOptions o) {
    o.password = "pw";
    auto s = std::make_unique<SimThread>(o);
    if (!s->started())
        qFatal("%s", qPrintable(s->error()));
    return s;
}

bool lampOn(Lamp *lamp) { return lamp->color() == lampOnColor; }

// Aims the window at the device in mode and opens its channel; for the two
// server modes the device is started afterwards and connects to the window.
std::unique_ptr<SimThread> connectMode(TForm1 &w, int mode) {
    sim::SimOptions o = sim::SimOptions::forTest();
    std::unique_ptr<SimThread> device;
    if (mode != modeTcpServer && mode != modeBinaryServer)
        device = startSim(o);
    pickMode(w, mode);
    pickDevice(w, 7); // "16In/Out", the simulator's default type
    w.ed_ip->setText("127.0.0.1");
    w.ed_password->setText("pw");
    switch (mode) {
    case modeHttp:
        w.ed_httpport->setText(QString::number(device->port("web")));
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        break;
    case modeRest:
        w.ed_httpport->setText(QString::number(device->port("web")));
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        break;
    case modeTcpClient:
        w.ed_tcpasciiport->setText(QString::number(device->port("ascii-tcp")));
        QTest::mouseClick(w.bt_connect, Qt::LeftButton);
        break;
    case modeTcpServer: {
        const quint16 port = freeTcpPort();
        w.ed_localserverport->setText(QString::number(port));
        QTest::mouseClick(w.bt_listen, Qt::LeftButton);
        o.connectAscii = "127.0.0.1:" + QString::number(port);
        device = startSim(o);
        break;
    }
    case modeUdpPeer:
        w.ed_udplocalport->setText(QString::number(freeUdpPort()));
        w.ed_udpremoteport->setText(QString::number(device->port("ascii-udp")));
        QTest::mouseClick(w.bt_bind, Qt::LeftButton);
        break;
    case modeBinaryClient:
        typeInto(w.co_tcpbinport, QString::number(device->port("binary-tcp")));
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        break;
    case modeBinaryServer: {
        const quint16 port = freeTcpPort();
        typeInto(w.co_localserverportbin, QString::number(port));
        QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
        o.connectBinary = "127.0.0.1:" + QString::number(port);
        device = startSim(o);
        break;
    }
    case modeBinaryUdp:
        typeInto(w.co_udplocalportbin, QString::number(freeUdpPort()));
        typeInto(w.co_udpremoteportbin, QString::number(device->port("binary-udp")));
        QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
        break;
    case modeModbus:
        w.ed_tcpmodbusport->setText(QString::number(device->port("modbus")));
        QTest::mouseClick(w.bt_connectmodbus, Qt::LeftButton);
        break;
    case modeSnmp:
        typeInto(w.co_udplocalportsnmp, QString::number(freeUdpPort()));
        w.ed_udpremoteportsnmp->setText(QString::number(device->port("snmp")));
        QTest::mouseClick(w.bt_bindsnmp, Qt::LeftButton);
        break;
    default: break;
    }
    return device;
}

// Clicks "Get All" until the window shows what shown() waits for: the first
// clicks may come before a connection (or its login) is up.
bool getAllUntil(TForm1 &w, const std::function<bool()> &shown) {
    for (int i = 0; i < 50; ++i) {
        QTest::mouseClick(w.bt_getall, Qt::LeftButton);
        if (QTest::qWaitFor(shown, 100))
            return true;
    }
    return false;
}

} // namespace

class TestOperationsEnd2End : public QObject {
    Q_OBJECT
private slots:
    void everyControl_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("HTTP") << int(modeHttp);
        QTest::newRow("REST") << int(modeRest);
        QTest::newRow("TCP Client") << int(modeTcpClient);
        QTest::newRow("TCP Server") << int(modeTcpServer);
        QTest::newRow("UDP") << int(modeUdpPeer);
        QTest::newRow("TCP Binary Client") << int(modeBinaryClient);
        QTest::newRow("TCP Binary Server") << int(modeBinaryServer);
        QTest::newRow("UDP Binary") << int(modeBinaryUdp);
        QTest::newRow("Modbus TCP") << int(modeModbus);
        QTest::newRow("SNMP") << int(modeSnmp);
    }
    void everyControl() {
        QFETCH(int, mode);
        FormFixture f;
        TForm1 &w = f.form();
        for (QCheckBox *box : {w.cb_autoall, w.cb_autoinputs, w.cb_autooutputs, w.cb_autocounter,
                               w.cb_autocounterclear, w.cb_autoset, w.cb_autogoround})
            box->setChecked(false);
        auto device = connectMode(w, mode);
        SimThread::Model &model = device->model();
        const auto &in = w.display->inputLamps;
        const auto &out = w.display->outputLamps;
        const auto &counters = w.display->counterFields;
        const bool rest = mode == modeRest;
        // The binary register answer carries inputs and outputs, no counters.
        const bool binary = mode == modeBinaryClient || mode == modeBinaryServer || mode == modeBinaryUdp;

        // Get All: the device's state in the window.
        model.setOutputs(0xFFFF, 0x8000);
        model.setInputs(0x0001);
        model.setCounter(6, 66);
        QVERIFY(getAllUntil(
            w, [&] { return lampOn(out[15]) && lampOn(in[0]) && (binary || counters[6]->text() == "66"); }));

        // Set Output with the empty mask (every output), read back by "Get Outputs".
        // SNMP takes the mask field as typed: there it names every output.
        const bool snmp = mode == modeSnmp;
        w.ed_setstate->setText("0005");
        if (snmp)
            w.ed_setmask->setText("FFFF");
        else
            w.ed_setmask->clear();
        QTest::mouseClick(w.bt_setoutput, Qt::LeftButton);
        if (rest) {
            QTRY_VERIFY(w.reportLines().contains("**** Function not supported ****"));
            model.setAllOutputs(0x0005);
        } else {
            QTRY_COMPARE(model.outputs(), 0x0005u);
        }
        QTest::mouseClick(w.bt_getoutputs, Qt::LeftButton);
        QTRY_VERIFY(lampOn(out[2]) && !lampOn(out[15]));

        // A click on lamp 1 switches output 1 on, and again off.
        QTest::mouseClick(out[1], Qt::LeftButton);
        QTRY_COMPARE(model.outputs(), 0x0007u);
        QTest::mouseClick(w.bt_getoutputs, Qt::LeftButton);
        QTRY_VERIFY(lampOn(out[1]));
        QTest::mouseClick(out[1], Qt::LeftButton);
        QTRY_COMPARE(model.outputs(), 0x0005u);

        // Reset Output.
        w.ed_resetstate->setText("0000");
        if (snmp)
            w.ed_resetmask->setText("FFFF");
        else
            w.ed_resetmask->clear();
        QTest::mouseClick(w.bt_resetoutput, Qt::LeftButton);
        if (rest)
            model.setAllOutputs(0);
        else
            QTRY_COMPARE(model.outputs(), 0u);

        // Get Inputs.
        model.setInputs(0x0009);
        QTest::mouseClick(w.bt_getinputs, Qt::LeftButton);
        QTRY_VERIFY(lampOn(in[3]) && lampOn(in[0]) && !lampOn(in[1]));

        // One counter: "Get" reads it, a click on its field clears it.
        model.setCounter(3, 77);
        QTest::mouseClick(w.display->counterGetButtons[3], Qt::LeftButton);
        QTRY_COMPARE(counters[3]->text(), QString("77"));
        QTest::mouseClick(counters[3], Qt::LeftButton);
        QTRY_COMPARE(model.counter(3), 0u);
        QTest::mouseClick(w.display->counterGetButtons[3], Qt::LeftButton);
        QTRY_COMPARE(counters[3]->text(), QString("0"));

        // Every counter: read, then cleared (REST clears single counters only).
        model.setCounter(2, 42);
        QTest::mouseClick(w.bt_allcounter, Qt::LeftButton);
        QTRY_COMPARE(counters[2]->text(), QString("42"));
        QTest::mouseClick(w.bt_allcounterclear, Qt::LeftButton);
        if (rest) { // Set Output, Reset Output and this button each said so
            QCOMPARE(w.reportLines().count("**** Function not supported ****"), 3);
        } else {
            QTRY_COMPARE(model.counter(2), 0u);
            QTRY_COMPARE(model.counter(6), 0u);
            QTest::mouseClick(w.bt_allcounter, Qt::LeftButton);
            QTRY_COMPARE(counters[2]->text(), QString("0"));
        }

        // The go-round walks one output after the other (REST: the next one on).
        for (quint32 bit : {1u, 2u, 4u}) {
            QTest::mouseClick(w.bt_goround, Qt::LeftButton);
            QTRY_COMPARE(model.outputs(), rest ? bit << 1 : bit);
        }

        // Set Option, in the binary modes: the device answers with its diagnoses.
        if (binary) {
            w.ed_option->setText("1");
            QTest::mouseClick(w.bt_option, Qt::LeftButton);
            QTRY_VERIFY(w.reportLines().contains("BINARY <- receive struct Diagnoses"));
        }

        // The "auto" boxes; in TCP Binary Server only the buttons send.
        if (mode == modeBinaryServer)
            return;
        const auto automatic = [&](QCheckBox *box, QLineEdit *interval, const std::function<bool()> &done) {
            interval->setText("20");
            box->setChecked(true);
            const bool ok = QTest::qWaitFor(done, 5000);
            box->setChecked(false);
            return ok;
        };
        model.setInputs(0x0100);
        QVERIFY(automatic(w.cb_autoinputs, w.ed_intervalinputs, [&] { return lampOn(in[8]); }));
        model.setAllOutputs(0x0200);
        QVERIFY(automatic(w.cb_autooutputs, w.ed_intervaloutputs, [&] { return lampOn(out[9]); }));
        model.setCounter(7, 70);
        QVERIFY(
            automatic(w.cb_autocounter, w.ed_intervalcounter, [&] { return counters[7]->text() == "70"; }));
        model.setInputs(0x0400);
        model.setCounter(8, 80);
        QVERIFY(automatic(w.cb_autoall, w.ed_intervalall,
                          [&] { return lampOn(in[10]) && (binary || counters[8]->text() == "80"); }));
        model.setAllOutputs(0);
        QVERIFY(automatic(w.cb_autogoround, w.ed_autogoround, [&] { return model.outputs() == 0x8000u; }));
        if (rest)
            return;
        QVERIFY(automatic(w.cb_autocounterclear, w.ed_intervalcounterclear,
                          [&] { return model.counter(7) == 0 && model.counter(8) == 0; }));

        // Auto set/reset alternates the two patterns on the device.
        w.ed_setstate->setText("0005");
        w.ed_resetstate->setText("0000");
        w.ed_intervalreset->setText("20");
        bool setSeen = false;
        QVERIFY(automatic(w.cb_autoset, w.ed_intervalset, [&] {
            setSeen = setSeen || model.outputs() == 0x0005u;
            return setSeen && model.outputs() == 0u;
        }));
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestOperationsEnd2End)
#include "tst_operationsend2end.moc"
