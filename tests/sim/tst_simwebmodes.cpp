// The HTTP and REST modes against korvosim, as a user works them.
#include "formfixture.h"
#include "protocols/http/httpchannel.h"
#include "protocols/rest/restchannel.h"
#include "simthread.h"

#include <QtTest>

namespace {

// korvosim on its own thread (a REST request blocks the test's thread), with
// password "secret", inputs 0 and 2 on and two counters counted.
class Device : public SimThread {
public:
    Device() : SimThread(options()) {
        model().setInputs(0x0005);
        model().setCounter(0, 2000000000u);
        model().setCounter(1, 1234);
    }
    void setCounter(int n, quint32 value) { model().setCounter(n, value); }
    quint32 outputs() { return model().outputs(); }
    quint16 webPort() { return port("web"); }

private:
    static sim::SimOptions options() {
        sim::SimOptions o = sim::SimOptions::forTest();
        o.password = "secret";
        return o;
    }
};

// The window aimed at the simulator in mode, type "16In/Out".
void aim(TForm1 &w, int mode, quint16 port, const QString &password) {
    pickMode(w, mode);
    pickDevice(w, 7);
    w.ed_ip->setText("127.0.0.1");
    w.ed_httpport->setText(QString::number(port));
    w.ed_password->setText(password);
}

bool showsTheDevice(TForm1 &w) {
    for (int i = 0; i < 16; ++i) {
        const bool on = i == 0 || i == 2;
        if (w.display->inputLamps[i]->color() != (on ? lampOnColor : lampOffColor))
            return false;
    }
    return w.display->counterFields[0]->text() == "2000000000" &&
           w.display->counterFields[1]->text() == "1234";
}

} // namespace

class TestSimWebModes : public QObject {
    Q_OBJECT
private slots:
    void httpMode() {
        Device device;
        QVERIFY(device.started());
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, modeHttp, device.webPort(), "secret");
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QTRY_VERIFY2(showsTheDevice(w), qPrintable(w.reportLines().join('\n')));
        QVERIFY(w.reportLines().contains(
            "input;0005;output;0000;counter;2000000000;1234;1;0;0;0;0;0;0;0;0;0;0;0;0;0"));

        // Toggling output 3, as the output commands do it in this mode.
        w.httpRequestPaths[w.httpSlot] = "/outputaccess3?PW=secret&State=TOGGLE&";
        w.httpChannel->sendHTTP();
        QTRY_COMPARE(w.display->outputLamps[3]->color(), lampOnColor);
        QCOMPARE(device.outputs(), 0x8u);

        // Stop: the next command goes nowhere.
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        w.httpRequestPaths[w.httpSlot] = "/outputaccess3?PW=secret&State=TOGGLE&";
        w.httpChannel->sendHTTP();
        QCOMPARE(device.outputs(), 0x8u);
    }

    void httpModeWrongPassword() {
        Device device;
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, modeHttp, device.webPort(), "wrong");
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QTRY_VERIFY(w.reportLines().contains("error;password"));
        QCOMPARE(w.display->counterFields[1]->text(), QString("0"));
    }

    void restMode() {
        Device device;
        QVERIFY(device.started());
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, modeRest, device.webPort(), "secret");
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        QVERIFY(showsTheDevice(w));
        const QString url = "http://127.0.0.1:" + QString::number(device.webPort());
        QCOMPARE(w.reportLines().value(0), "Rest -> " + url + "/rest/json");
        QVERIFY(w.reportLines().contains("        \"state\": 2000000000"));

        // Counters above 2147483647 show as the device counts them.
        device.setCounter(0, 3000000000u);
        w.restChannel->sendRest("GET", "/rest/json/iostate/counter", "");
        QCOMPARE(w.display->counterFields[0]->text(), QString("3000000000"));

        w.restChannel->sendRest("POST", "/rest/json/iostate/output/3", "Set=TOGGLE");
        QCOMPARE(w.display->outputLamps[3]->color(), lampOnColor);
        QCOMPARE(device.outputs(), 0x8u);
        w.restChannel->sendRest("GET", "/rest/json/iostate/counter/1", "");
        QCOMPARE(w.display->counterFields[1]->text(), QString("1234"));

        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        w.restChannel->sendRest("POST", "/rest/json/iostate/output/3", "Set=TOGGLE");
        QCOMPARE(device.outputs(), 0x8u);
    }

    void restModeWrongPassword() {
        Device device;
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, modeRest, device.webPort(), "wrong");
        QTest::mouseClick(w.bt_reststart, Qt::LeftButton);
        QCOMPARE(w.reportLines(),
                 (QStringList{"Rest -> http://127.0.0.1:" + QString::number(device.webPort()) + "/rest/json",
                              "EHttpProtocolError : HTTP/1.1 401 Unauthorized"}));
        QCOMPARE(w.display->counterFields[1]->text(), QString("0"));
    }
};

QTEST_MAIN(TestSimWebModes)
#include "tst_simwebmodes.moc"
