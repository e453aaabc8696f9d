// The binary structure protocol between the tool and the simulated device:
// the device's side on its own (structures in, structures out), then the
// tool's three binary modes against korvosim, with the MD5 login.
#include "binaryservice.h"
#include "devicemodel.h"
#include "simulator.h"

#include "formfixture.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/binary/binarychannel.h"
#include "protocols/binary/binarytcpclient.h"
#include "protocols/binary/binarytcpserver.h"
#include "protocols/binary/binaryudppeer.h"

#include <QtTest>

using namespace sim::bin;

namespace {

QByteArray loginFor(const QString &password, const QByteArray &keyStructure) {
    const QByteArray key = keyStructure.mid(12, int(word32(keyStructure, 8)));
    return structure(0x8001, expectedLogin(password, key));
}

// A simulator with the password "secret" and inputs 0 and 2 on.
std::unique_ptr<sim::Simulator> startSim(sim::SimOptions o = sim::SimOptions::forTest()) {
    o.password = "secret";
    auto s = std::make_unique<sim::Simulator>(o);
    QString error;
    if (!s->start(&error))
        qFatal("%s", qPrintable(error));
    s->model().setInputs(0x5);
    return s;
}

bool lampsShow(TForm1 &w, quint32 inputs, quint32 outputs) {
    for (int i = 0; i < 16; ++i) {
        if (w.display->inputLamps[i]->color() != ((inputs >> i) & 1 ? lampOnColor : lampOffColor))
            return false;
        if (w.display->outputLamps[i]->color() != ((outputs >> i) & 1 ? lampOnColor : lampOffColor))
            return false;
    }
    return true;
}

} // namespace

class TestBinarySim : public QObject {
    Q_OBJECT
private slots:
    // ---- the device's side ----

    void loginFirstThenState() {
        sim::DeviceModel model; // 16 in / 16 out
        model.setPassword("secret");
        model.setInputs(0x3);
        sim::BinarySession s(model);
        QCOMPARE(s.reply(structure(0x0021)), structure(0x8004)); // registers, but must log in
        QCOMPARE(s.reply(structure(0x0009, le16(1) + le16(1))), structure(0x8004));
        QCOMPARE(model.outputs(), 0u);
        const QByteArray key = s.reply(structure(0x8002));
        QCOMPARE(word16(key, 4), quint16(0x8003));
        QCOMPARE(word32(key, 8), 16u);
        QCOMPARE(s.reply(loginFor("secret", key)),
                 structure(0x8005) + structure(0x0031, le16(0) + le16(3) + le16(0)));
        QVERIFY(s.loggedIn());
        QCOMPARE(s.reply(structure(0x0009, le16(0x6) + le16(0x2))),
                 structure(0x0031, le16(0) + le16(3) + le16(2)));
        model.setCounter(1, 7);
        QCOMPARE(s.reply(structure(0x00C0, le16(1))), structure(0x00B4, le16(1) + le32(7)));
        QCOMPARE(model.counter(1), 0u);
        const QByteArray diagnoses = s.reply(structure(0x01F0, le32(1) + le32(0x10)));
        QCOMPARE(word16(diagnoses, 4), quint16(0x00D0));
        QCOMPARE(diagnoses.mid(8, 8), le32(0x10) + le32(model.articleNumber()));
    }

    void wrongLoginFails() {
        sim::DeviceModel model;
        model.setPassword("secret");
        sim::BinarySession s(model);
        const QByteArray key = s.reply(structure(0x8002));
        QCOMPARE(s.reply(loginFor("Secret", key)), structure(0x8006));
        QCOMPARE(s.reply(loginFor("secret", key)), structure(0x8006)); // one try per key
        QVERIFY(!s.loggedIn());
    }

    void wideDeviceUses32BitWords() {
        sim::DeviceModel model(0); // outside the catalogue: 16 in / 16 out
        sim::BinarySession narrow(model);
        QCOMPARE(word16(narrow.reply(structure(0x0001)), 4), quint16(0x0031));
        for (const sim::DeviceKind &k : sim::deviceCatalogue()) {
            if (k.inputs <= 16 && k.outputs <= 16)
                continue;
            sim::DeviceModel wide(k.article);
            sim::BinarySession s(wide);
            QCOMPARE(word16(s.reply(structure(0x0001)), 4), quint16(0x0131));
            QCOMPARE(word16(s.reply(structure(0x0001)), 6), quint16(20));
            return;
        }
    }

    void streamCutByLength() {
        sim::DeviceModel model;
        sim::BinarySession s(model);
        QByteArray in = structure(0x0001) + structure(0x00B0, le16(0)).left(9);
        QCOMPARE(s.feed(in).size(), 1);
        QCOMPARE(in.size(), 9); // the start of the next one waits
        in += structure(0x00B0, le16(0)).mid(9);
        QCOMPARE(s.feed(in), QList<QByteArray>{structure(0x00B4, le16(0) + le32(0))});
        QByteArray garbage = QByteArray::fromHex("0000 0000 7777 0000 0000");
        QCOMPARE(s.feed(garbage), QList<QByteArray>{QByteArray()}); // refused, buffer emptied
        QVERIFY(garbage.isEmpty());
    }

    // ---- the tool against korvosim ----

    void clientLogsInAndSwitches() {
        auto device = startSim();
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryClient);
        pickDevice(w, 7); // 16In/Out
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("secret");
        typeInto(w.co_tcpbinport, QString::number(device->port("binary-tcp")));
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QTRY_VERIFY(w.reportLines().contains("BINARY <- receive struct AuthOK"));
        QTRY_VERIFY(lampsShow(w, 0x5, 0x0)); // the state registered for
        w.binaryChannel->sendbinary("setbit", 0x0003, 0x0001);
        QTRY_VERIFY(lampsShow(w, 0x5, 0x1));
        QCOMPARE(device->model().outputs(), 1u);
        QVERIFY(!w.errorHighlighted());
    }

    void wrongPasswordReconnects() {
        auto device = startSim();
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryClient);
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("wrong");
        typeInto(w.co_tcpbinport, QString::number(device->port("binary-tcp")));
        QTest::mouseClick(w.bt_connect_bin, Qt::LeftButton);
        QTRY_VERIFY(w.reportLines().contains("BINARY <- receive struct AuthFail"));
        QTRY_VERIFY(w.ti_wsioreconnectbin->isActive());
        QCOMPARE(w.reportLines().mid(w.reportLines().size() - 2),
                 (QStringList{"BINARY -- Connection Closed ", "BINARY -- Try to reconnect "}));
        w.ed_password->setText("secret");
        w.ti_wsioreconnectbin->start(20); // the same tick, sooner
        QTRY_VERIFY(w.reportLines().contains("BINARY <- receive struct AuthOK"));
        QCOMPARE(w.status(1), QString("reronnect: 1"));
    }

    void serverLogsInTheConnectingDevice() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryServer);
        pickDevice(w, 7);
        w.ed_password->setText("secret");
        const quint16 port = freeTcpPort();
        typeInto(w.co_localserverportbin, QString::number(port));
        QTest::mouseClick(w.bt_listenbin, Qt::LeftButton);
        sim::SimOptions o = sim::SimOptions::forTest();
        o.connectBinary = "127.0.0.1:" + QString::number(port);
        auto device = startSim(o);
        QTRY_VERIFY(device->binaryClientConnected());
        // The device asks for the login; the answers go on the accepted connection.
        QTRY_VERIFY(w.reportLines().contains("BINARY <- receive struct AuthOK"));
        w.binaryChannel->sendbinary("readregister", 0, 0);
        QTRY_VERIFY(lampsShow(w, 0x5, 0x0));
        w.binaryChannel->sendbinary("writeregister", 0x8001, 0);
        QTRY_VERIFY(lampsShow(w, 0x5, 0x8001));
        QVERIFY(!w.errorHighlighted());
    }

    void udpPeerLogsIn() {
        auto device = startSim();
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeBinaryUdp);
        pickDevice(w, 7);
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("secret");
        const quint16 local = freeUdpPort();
        typeInto(w.co_udplocalportbin, QString::number(local));
        typeInto(w.co_udpremoteportbin, QString::number(device->port("binary-udp")));
        QTest::mouseClick(w.bt_bindbin, Qt::LeftButton);
        // AuthOK and the state arrive in one datagram.
        QTRY_VERIFY(w.reportLines().contains("BINARY <- receive struct AuthOK"));
        QTRY_VERIFY(lampsShow(w, 0x5, 0x0));
        device->model().setCounter(2, 42);
        w.binaryChannel->sendbinary("readallcounter", 0, 0);
        QTRY_COMPARE(w.io.counters[2], 42u);
        QVERIFY(!w.errorHighlighted());
    }
};

QTEST_MAIN(TestBinarySim)
#include "tst_binarysim.moc"
