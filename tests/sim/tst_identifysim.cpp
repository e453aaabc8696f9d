// Identification against korvosim: the tool's "Identify" sets the window up
// for the simulated device's type. korvosim runs on a thread of its own,
// since the look-up of an unknown device's pages blocks the window's thread.
#include "discovery/identification.h"
#include "formfixture.h"
#include "peers.h"

#include "devicemodel.h"
#include "simthread.h"
#include "valuepages.h"

#include <QtTest>

namespace {

sim::SimOptions device(quint16 article, bool bootFail = false) {
    sim::SimOptions o = sim::SimOptions::forTest();
    o.article = article;
    o.bootFail = bootFail;
    return o;
}

QStringList visibleCounterTexts(TForm1 &w) {
    QStringList texts;
    for (int i = 0; i < ioShown; ++i) {
        if (w.display->counterFields[i]->isVisibleTo(w.display->pa_co))
            texts << w.display->counterFields[i]->text();
    }
    return texts;
}

} // namespace

class TestIdentifySim : public QObject {
    Q_OBJECT
private slots:
    void valuePages() {
        sim::DeviceModel model(31850); // 6 in / 6 out
        model.setCounter(0, 5);
        model.setCounter(5, 12);
        model.setOutput(1, true);
        QCOMPARE(sim::singlePage(model), QByteArray("KORVO;6In/6Out;5;0;0;0;0;12"));
        const QByteArray config = sim::configPage(model);
        QVERIFY(config.startsWith("{\"Name\":\"KORVO 6In/6Out\",\"Input 1\":\"5\",\"Alarm Input 1\":\"0\","));
        QVERIFY(config.contains(",\"Input 6\":\"12\","));
        QVERIFY(config.endsWith(",\"Output 1\":\"0\",\"Output 2\":\"1\",\"Output 3\":\"0\","
                                "\"Output 4\":\"0\",\"Output 5\":\"0\",\"Output 6\":\"0\"}"));
    }

    void identifiesTheSimulatedDevice_data() {
        QTest::addColumn<int>("article");
        QTest::addColumn<bool>("bootFail");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("device40");
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QStringList>("counters"); // the counter fields shown afterwards
        const QStringList none;
        QTest::newRow("16In/Out, 4.0") << 31936 << false << 7 << true << false << QStringList(16, "0");
        QTest::newRow("12In/12Out") << 31831 << false << 5 << false << false << QStringList(12, "0");
        QTest::newRow("legacy 2In/2Out") << 31833 << false << 1 << false << true << QStringList(2, "0");
        QTest::newRow("boot failure") << 31938 << true << 6 << true << false << QStringList(12, "0");
        QTest::newRow("unknown 319: configuration page")
            << 31999 << false << deviceUnknown << false << false << QStringList(16, "0");
        QTest::newRow("unknown 318: single page")
            << 31899 << false << deviceUnknown << false << false << QStringList(16, "0");
        QTest::newRow("unknown, neither") << 12345 << false << deviceUnknown << false << false << none;
    }
    void identifiesTheSimulatedDevice() {
        QFETCH(int, article);
        QFETCH(bool, bootFail);
        QFETCH(int, type);
        QFETCH(bool, device40);
        QFETCH(bool, legacy);
        QFETCH(QStringList, counters);
        SimThread korvosim(device(quint16(article), bootFail));
        QVERIFY2(korvosim.started(), qPrintable(korvosim.error()));
        FormFixture f;
        TForm1 &w = f.form();
        f->identification->ports = {korvosim.port("ident"), freeTcpPort()}; // the device names its web port
        w.ed_ip->setText("127.0.0.1");
        pickMode(w, modeTcpClient);
        pickDevice(w, 0);

        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_VERIFY(w.reportLines().contains("--------------  End of receive  ----------------------------"));
        QCOMPARE(w.articleNumber, article);
        QCOMPARE(w.ed_httpport->text(), QString::number(korvosim.port("web")));
        QCOMPARE(w.co_device->currentIndex(), type);
        QCOMPARE(w.device40, device40);
        QCOMPARE(w.legacyDevice, legacy);
        QCOMPARE(w.lastInput, deviceTypes[type].lastInput);
        QCOMPARE(w.ed_tcpasciiport->text(), device40 ? QString("42280") : QString("80"));
        QCOMPARE(visibleCounterTexts(w), counters);
        QCOMPARE(f.dialogs.messages,
                 bootFail ? QStringList{"***** BOOT=FAIL found in Version-String *****"} : QStringList{});
        const QStringList info = w.mm_deviceinfo->toPlainText().split('\n');
        QCOMPARE(info.size(), 18);
        QCOMPARE(info[15], QString("IP-Address   : 127.0.0.1"));
        QCOMPARE(info[8].startsWith("System Name  : KORVO "), true);
        const bool lookedUp = type == deviceUnknown && !counters.isEmpty();
        QCOMPARE(w.display->pa_co->text(),
                 lookedUp ? QString("                               Device %1 not supported").arg(article)
                          : QString());
    }
};

QTEST_MAIN(TestIdentifySim)
#include "tst_identifysim.moc"
