// Mode "HTTP" of the real window against a korvosim whose web server
// misbehaves: each fault ends in decoded values or in requests that come to
// nothing, the loop keeps turning, the pane stays under its ceiling, and Stop
// always ends the run.
#include "faultdevice.h"
#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "protocols/http/httpchannel.h"
#include "protocols/http/httpcodec.h"

#include <QtTest>

namespace {
// The next request on the next of the eleven sockets, as polling sends it.
void request(TForm1 &w) {
    w.httpRequestPaths[size_t(w.httpSlot)] = http::readAll(w.ed_password->text());
    w.httpChannel->sendHTTP();
}
} // namespace

class TestFaultsHttp : public QObject {
    Q_OBJECT
private slots:
    void survives_data() {
        faultColumns();
        QTest::newRow("refuse") << "refuse"
                                << "nothing";
        QTest::newRow("close after 1 reply") << "close-after:1"
                                             << "values";
        QTest::newRow("stall") << "stall"
                               << "nothing";
        QTest::newRow("split into bytes") << "split"
                                          << "values";
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values";
        QTest::newRow("garbage") << "garbage"
                                 << "no values";
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "values";
    }
    void survives() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        auto device = startFaulty("web", fault);
        device->model().setInputs(0x5);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeHttp);
        pickDevice(w, 7); // 16In/Out
        w.ed_ip->setText("127.0.0.1");
        w.ed_httpport->setText(QString::number(device->port("web")));
        LoopProbe probe;
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);

        if (ending == "values") {
            QTRY_VERIFY(inputsShown(w));
            // Later requests, more than there are sockets, are decoded too.
            device->model().setInputs(0x2);
            for (int i = 0; i < 12; ++i)
                request(w);
            QTRY_COMPARE(w.display->inputLamps[1]->color(), lampOnColor);
            QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        } else {
            for (int i = 0; i < 12; ++i)
                request(w);
            if (ending == "no values")
                QTRY_VERIFY(linesStarting(w, "HTTP <- Bytes received ") > 0);
            QVERIFY(probe.morePasses(200));
            QVERIFY(!inputsShown(w));
            if (ending == "nothing")
                QCOMPARE(linesStarting(w, "HTTP <- Bytes received "), 0);
        }
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QVERIFY(w.mm_report->lineCount() <= ReportPane::maxLines);
        QVERIFY(f.dialogs.messages.isEmpty());
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QCOMPARE(w.bt_httpstart->text(), QString("Start"));
        QVERIFY(!w.httpRunning);
    }
};

QTEST_MAIN(TestFaultsHttp)
#include "tst_faultshttp.moc"
