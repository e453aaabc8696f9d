// Mode "REST" of the real window against a korvosim whose web server
// misbehaves. A REST request holds the window until it returns, by design, so
// what must hold here is that every request returns within its limits, ends
// in decoded values or in a reported error ("kind : message"), opens no
// dialog, and that Stop always ends the run. The limits are shortened where
// the device answers little or nothing, so a silent device costs a second,
// not ten.
#include "faultdevice.h"
#include "formfixture.h"
#include "protocols/rest/restchannel.h"
#include "simthread.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
QStringList errorLines(TForm1 &w) {
    QStringList errors;
    for (const QString &line : w.reportLines())
        if (line.startsWith("EHttp"))
            errors << line;
    return errors;
}
constexpr int connectLimitMs = 500;
} // namespace

class TestFaultsRest : public QObject {
    Q_OBJECT
private slots:
    void survives_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("totalLimitMs");
        QTest::newRow("refuse") << "refuse"
                                << "EHttpConnectError" << 1000;
        QTest::newRow("close after 1 reply") << "close-after:1"
                                             << "values" << 1000;
        QTest::newRow("stall") << "stall"
                               << "EHttpTimeout" << 1000;
        // A byte a millisecond: the 3 KB tree needs the full limit.
        QTest::newRow("split into bytes") << "split"
                                          << "values" << TIdHTTP::defaultTotalTimeoutMs;
        QTest::newRow("coalesced replies") << "coalesce:3"
                                           << "values" << 1000;
        QTest::newRow("garbage") << "garbage"
                                 << "EHttp" << 1000;
        // One byte more announced than sent before the device hangs up.
        QTest::newRow("wrong lengths") << "wrong-length"
                                       << "EHttpSocketError" << 1000;
    }
    void survives() {
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        QFETCH(int, totalLimitMs);
        sim::SimOptions options = sim::SimOptions::forTest();
        options.password = "pw";
        QString error;
        QVERIFY(options.faults["web"].parse(fault, &error));
        SimThread device(options);
        QVERIFY2(device.started(), qPrintable(device.error()));
        device.model().setInputs(0x5);

        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false);
        pickMode(w, modeRest);
        pickDevice(w, 7); // 16In/Out
        w.ed_ip->setText("127.0.0.1");
        w.ed_httpport->setText(QString::number(device.port("web")));
        w.ed_password->setText("pw");
        w.restChannel->connectTimeoutMs = connectLimitMs;
        w.restChannel->totalTimeoutMs = totalLimitMs;

        // Start reads everything: one request, answered in two attempts.
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        const qint64 startMs = clock.elapsed();
        QVERIFY2(startMs < 2 * totalLimitMs + 1000, qPrintable(QString::number(startMs)));

        if (ending == "values") {
            QVERIFY2(inputsShown(w), qPrintable(w.reportLines().join('\n')));
            QVERIFY(errorLines(w).isEmpty());
            // Later requests go the same faulty way and are decoded too.
            device.model().setInputs(0x2);
            w.restChannel->sendRest("GET", "/rest/json/iostate", "");
            QCOMPARE(w.display->inputLamps[1]->color(), lampOnColor);
            QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        } else {
            QVERIFY(!inputsShown(w));
            const QStringList errors = errorLines(w);
            QVERIFY2(!errors.isEmpty() && errors.first().startsWith(ending),
                     qPrintable(w.reportLines().join('\n')));
            // The next request fails the same way, within its limits.
            clock.restart();
            w.restChannel->sendRest("GET", "/rest/json/iostate", "");
            QVERIFY(clock.elapsed() < 2 * totalLimitMs + 1000);
            QVERIFY(errorLines(w).size() > errors.size());
        }
        QVERIFY(f.dialogs.messages.isEmpty());
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        QCOMPARE(w.bt_reststart->text(), QString("Start"));
        QVERIFY(!w.restRunning);
    }
};

QTEST_MAIN(TestFaultsRest)
#include "tst_faultsrest.moc"
