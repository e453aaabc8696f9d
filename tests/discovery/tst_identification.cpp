#include "discovery/identification.h"
#include "formfixture.h"
#include "httppeer.h"
#include "identrecord.h"
#include "net/twsocket.h"
#include "peers.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

namespace {

// The device's identification service: answers every "Version 1.03" with
// the record it holds (or stays silent while the record is empty).
class IdentService : public QObject {
public:
    explicit IdentService(QByteArray reply = {}) : record(std::move(reply)) {
        socket.bind(QHostAddress::LocalHost, 0);
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                requests << d.data();
                if (!silent)
                    socket.writeDatagram(record, d.senderAddress(), quint16(d.senderPort()));
            }
        });
    }
    quint16 port() const { return socket.localPort(); }
    QByteArray record;
    bool silent = false;
    QList<QByteArray> requests;
    QUdpSocket socket;
};

QByteArray page(const QByteArray &body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// The device's web server: the version page, and the pages an unknown
// device is asked for.
QByteArray webAnswer(const HttpRequest &r, const QByteArray &version, const QByteArray &config,
                     const QByteArray &single) {
    const QByteArray line = r.requestLine();
    if (line.startsWith("GET /version "))
        return version;
    if (line.startsWith("GET /config.php?&Sess=&Site=%5B0%5D&Auto=1 "))
        return config.isEmpty() ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                                : page(config);
    if (line.startsWith("GET /single "))
        return single.isEmpty() ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                                : page(single);
    return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

// A window whose identification talks to the test's own ports.
struct Window {
    explicit Window(quint16 service, quint16 web = 0) {
        ident().ports = {service, web ? web : freeTcpPort()};
        form().ed_ip->setText("127.0.0.1");
    }
    TForm1 &form() { return f.form(); }
    Identification &ident() { return *f->identification; }
    FormFixture f;
};

QStringList visibleCounterTexts(TForm1 &w) {
    QStringList texts;
    for (int i = 0; i < ioShown; ++i) {
        if (w.display->counterFields[i]->isVisibleTo(w.display->pa_co))
            texts << w.display->counterFields[i]->text();
    }
    return texts;
}

bool reportHas(TForm1 &w, const QString &line) { return w.reportLines().contains(line); }

const QByteArray versionOk = page("KORVO 4.0 V1.20\r\nBOOT=OK");

} // namespace

class TestIdentification : public QObject {
    Q_OBJECT
private slots:
    void identifiesKnownDevice_data() {
        QTest::addColumn<qint32>("article");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("device40");
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<bool>("viernull"); // the "4.0" box afterwards, ticked beforehand
        QTest::newRow("4.0 device") << 31931 << 5 << true << false << true;
        QTest::newRow("older device") << 31831 << 5 << false << false << false;
        QTest::newRow("legacy 31833 leaves the 4.0 box") << 31833 << 1 << false << true << true;
        QTest::newRow("16In/Out") << 31936 << 7 << true << false << true;
        QTest::newRow("five digits above 65535") << 97366 << deviceUnknown << false << false << false;
    }
    void identifiesKnownDevice() {
        QFETCH(qint32, article);
        QFETCH(int, type);
        QFETCH(bool, device40);
        QFETCH(bool, legacy);
        QFETCH(bool, viernull);
        ThreadedHttpServer web([](const HttpRequest &r, int) { return webAnswer(r, versionOk, {}, {}); });
        IdentService service(deviceRecord(web.port(), article));
        Window win(service.port());
        TForm1 &w = win.form();
        w.cb_viernull->setChecked(true);
        w.legacyDevice = true; // of an earlier device: cleared unless this one is legacy too
        pickMode(w, modeTcpClient);
        w.writereport("before");

        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QCOMPARE(service.requests.size(), 0);
        QCOMPARE(w.reportLines(),
                 QStringList{QString("UDP  -> Send Version 1.03 to port %1").arg(service.port())});
        QTRY_VERIFY(reportHas(w, "BOOT=OK"));
        QCOMPARE(w.co_device->currentIndex(), type);
        QCOMPARE(service.requests, QList<QByteArray>{"Version 1.03"});
        QCOMPARE(w.articleNumber, article);
        QCOMPARE(w.device40, device40);
        QCOMPARE(w.legacyDevice, legacy);
        QCOMPARE(w.cb_viernull->isChecked(), viernull);
        QCOMPARE(w.ed_httpport->text(), QString::number(web.port()));
        QCOMPARE(w.mm_deviceinfo->toPlainText().split('\n').size(), 18);
        QCOMPARE(w.mm_deviceinfo->toPlainText().split('\n')[7],
                 QString("WBM-Port     : ") +
                     QString::number(web.port(), 16).toUpper().rightJustified(4, '0'));
        // The device-type change and the mode switch ran for the new type.
        const DeviceType &t = deviceTypes[type];
        QCOMPARE(w.lastInput, t.lastInput);
        QCOMPARE(w.allOutputsMask, QString(t.allOutputsMask));
        QCOMPARE(w.ed_tcpasciiport->text(), device40 ? QString("42280") : QString("80"));
        QCOMPARE(web.requests().size(), 1);
        QCOMPARE(web.requests()[0].head, QByteArray("GET /version HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
        const QStringList lines = w.reportLines();
        QCOMPARE(
            lines.mid(0, 7),
            (QStringList{QString("UDP  -> Send Version 1.03 to port %1").arg(service.port()),
                         "UDP  <- 278 Bytes received", "", QString("HTTP -> Send on Port %1").arg(web.port()),
                         "HTTP -> GET /version HTTP/1.1", "HTTP -> Host: 127.0.0.1",
                         QString("HTTP <- %1 Bytes received").arg(versionOk.size())}));
        QVERIFY(lines.contains("BOOT=OK"));
        QVERIFY(lines.contains("--------------  End of receive  ----------------------------"));
        QVERIFY(win.f.dialogs.messages.isEmpty());
    }

    void portZeroKeepsPort80() {
        // The record names no web port: the standard port, as after no reply.
        ThreadedHttpServer web([](const HttpRequest &r, int) { return webAnswer(r, versionOk, {}, {}); });
        IdentService service(IdentRecord().wbmPort(0).ean(4260123319315LL).bytes);
        Window win(service.port(), web.port()); // the test's stand-in for port 80
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_COMPARE(w.co_device->currentIndex(), 5);
        QCOMPARE(w.ed_httpport->text(), QString::number(web.port()));
    }

    void replySizes_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("empty datagram") << 0;
        QTest::newRow("shorter than the record") << 90;
        QTest::newRow("largest datagram") << 65507;
    }
    void replySizes() {
        QFETCH(int, size);
        ThreadedHttpServer web([](const HttpRequest &r, int) { return webAnswer(r, versionOk, {}, {}); });
        QByteArray record = deviceRecord(web.port(), 31931);
        record =
            size <= record.size() ? record.left(size) : record + QByteArray(size - record.size(), '\xFF');
        IdentService service(record);
        Window win(service.port(), web.port());
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, QString("UDP  <- %1 Bytes received").arg(size)));
        QTRY_COMPARE(web.requests().size(), 1);
        QTRY_VERIFY(reportHas(w, "BOOT=OK"));
        QCOMPARE(w.articleNumber, size >= 104 ? 31931 : 0);
        QCOMPARE(w.co_device->currentIndex(), size >= 104 ? 5 : deviceUnknown);
        QCOMPARE(w.mm_deviceinfo->toPlainText().split('\n').size(), 18);
    }

    void noAnswerFromTheService() {
        ThreadedHttpServer web([](const HttpRequest &r, int) { return webAnswer(r, versionOk, {}, {}); });
        IdentService service(deviceRecord(web.port(), 31931));
        Window win(service.port(), web.port());
        TForm1 &w = win.form();
        // A first identification finds a 4.0 device ...
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_COMPARE(w.co_device->currentIndex(), 5);
        QTRY_COMPARE(win.ident().ws_version->State(), wsClosed);
        // ... then the user picks another type, and the next device is silent.
        pickDevice(w, 7);
        w.ed_httpport->setText("1");
        service.silent = true;
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, "BOOT=OK"));
        QCOMPARE(w.reportLines().mid(0, 4),
                 (QStringList{QString("UDP  -> Send Version 1.03 to port %1").arg(service.port()),
                              QString("UDP  <- No Answer from %1").arg(service.port()), "",
                              QString("HTTP -> Try to connect to Port %1").arg(web.port())}));
        QCOMPARE(w.ed_httpport->text(), QString::number(web.port()));
        QCOMPARE(web.requests().size(), 2);
        // The earlier device's article number selects nothing; the type the
        // selector shows is applied.
        QCOMPARE(w.co_device->currentIndex(), 7);
        QCOMPARE(w.lastInput, deviceTypes[7].lastInput);
        QCOMPARE(w.ti_gis->isActive(), false);
    }

    void noAnswerBeforeAnyIdentification() {
        ThreadedHttpServer web([](const HttpRequest &r, int) { return webAnswer(r, versionOk, {}, {}); });
        IdentService service;
        service.silent = true;
        Window win(service.port(), web.port());
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, "BOOT=OK"));
        QCOMPARE(w.co_device->currentIndex(), 1); // "2In/2Out" as shown, not "UNKOWN"
        QCOMPARE(w.lastInput, deviceTypes[1].lastInput);
        QVERIFY(w.display->inputLamps[0]->isVisibleTo(w.display->pa_io));
    }

    void versionTimeouts_data() {
        QTest::addColumn<bool>("listening");
        QTest::newRow("device connects, never answers") << true;
        QTest::newRow("connection refused") << false;
    }
    void versionTimeouts() {
        QFETCH(bool, listening);
        ScriptedTcpServer silentWeb;
        const quint16 webPort = listening ? silentWeb.port() : freeTcpPort();
        IdentService service(deviceRecord(webPort, 31931));
        Window win(service.port());
        TForm1 &w = win.form();
        w.ti_version->setInterval(300);
        pickDevice(w, 7);
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_VERIFY(reportHas(w, "HTTP <- TIMEOUT # GET /version HTTP/1.1"));
        if (listening)
            QCOMPARE(silentWeb.received(), QByteArray("GET /version HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        QCOMPARE(w.reportLines().mid(3, 3),
                 (QStringList{QString("HTTP -> Send on Port %1").arg(webPort),
                              "HTTP -> GET /version HTTP/1.1", "HTTP -> Host: 127.0.0.1"}));
        QCOMPARE(win.ident().ws_version->State(), wsClosed);
        QVERIFY(!w.ti_version->isActive());
        QCOMPARE(w.co_device->currentIndex(), 7); // the type changes only with a version reply
        QCOMPARE(w.ed_httpport->text(), QString::number(webPort));
        QVERIFY(!w.errorHighlighted());
    }

    void bootFailure() {
        const QByteArray failing = page("KORVO 4.0 V1.20\r\nBOOT=FAIL");
        ThreadedHttpServer web([&](const HttpRequest &r, int) { return webAnswer(r, failing, {}, {}); });
        IdentService service(deviceRecord(web.port(), 31938));
        Window win(service.port(), web.port());
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_COMPARE(w.co_device->currentIndex(), 6); // the selection goes on
        QCOMPARE(win.f.dialogs.messages, QStringList{"***** BOOT=FAIL found in Version-String *****"});
    }

    void versionInTwoPieces() {
        ScriptedTcpServer device;
        IdentService service(deviceRecord(device.port(), 31931));
        Window win(service.port());
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_VERIFY(!device.received().isEmpty());
        device.send("HTTP/1.1 200 OK\r\n\r\nKORVO");
        QTRY_COMPARE(w.co_device->currentIndex(), 5);
        pickDevice(w, 7);
        device.send(" V1.20");
        QTRY_COMPARE(w.co_device->currentIndex(), 5); // selected again by the second piece
        QCOMPARE(w.reportLines().filter("Bytes received").size(), 3);
        QVERIFY(reportHas(w, " V1.20"));
    }

    void identifyTwiceWhileTheDeviceKeepsTheConnection() {
        ScriptedTcpServer device; // answers, and never closes
        IdentService service(deviceRecord(device.port(), 31931));
        Window win(service.port());
        TForm1 &w = win.form();
        for (int round = 0; round < 2; ++round) {
            pickDevice(w, 0);
            QTest::mouseClick(w.bt_scan, Qt::LeftButton);
            QTRY_COMPARE(device.connectionCount(), round + 1);
            QTRY_VERIFY(!device.received(round).isEmpty());
            device.send("HTTP/1.1 200 OK\r\n\r\nKORVO", round);
            QTRY_COMPARE(w.co_device->currentIndex(), 5);
            QCOMPARE(win.ident().ws_version->State(), wsConnected);
        }
        QVERIFY(!reportHas(w, "HTTP <- ERROR # GET /version"));
        QVERIFY(!w.errorHighlighted());
        QTRY_COMPARE(device.connection(0)->state(), QAbstractSocket::UnconnectedState);
    }

    void unknownDevicePages_data() {
        QTest::addColumn<qint32>("article");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QByteArray>("single");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("reportLine");
        const QByteArray config = "{\"Name\":\"KORVO\",\"Input 1\":\"12\",\"Alarm Input 2\":\"1\",\"Input "
                                  "3\":\"34\",\"Output 1\":\"0\"}";
        QTest::newRow("319: configuration page")
            << 31999 << config << QByteArray("KORVO;X;1;2") << QStringList{"12", "34"} << "Input 1\":\"12";
        QTest::newRow("318: single page") << 31899 << config << QByteArray("KORVO;ES;5;6;7")
                                          << QStringList{"5", "6", "7"} << "KORVO;ES;5;6;7";
        QTest::newRow("319 before 318")
            << 31918 << config << QByteArray("KORVO;ES;5;6;7") << QStringList{"12", "34"} << "Input 3\":\"34";
        QStringList many;
        for (int i = 0; i < 1000; ++i)
            many << QString::number(i);
        QTest::newRow("a thousand fields")
            << 31899 << QByteArray() << many.join(';').toLatin1() << many.mid(0, 16) << many.join(';');
    }
    void unknownDevicePages() {
        QFETCH(qint32, article);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, single);
        QFETCH(QStringList, shown);
        QFETCH(QString, reportLine);
        ThreadedHttpServer web(
            [&](const HttpRequest &r, int) { return webAnswer(r, versionOk, config, single); });
        IdentService service(deviceRecord(web.port(), article));
        Window win(service.port(), web.port());
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_COMPARE(w.co_device->currentIndex(), deviceUnknown);
        QCOMPARE(web.requests().size(), 2);
        QCOMPARE(visibleCounterTexts(w), shown);
        QVERIFY(reportHas(w, reportLine));
        QCOMPARE(w.display->pa_co->text(),
                 QString("                               Device %1 not supported").arg(article));
        QCOMPARE(w.display->pa_co->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(w.display->pa_co->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        QVERIFY(!w.display->inputLamps[0]->isVisibleTo(w.display->pa_io));
        // The next identification of a known device empties the caption.
        service.record = deviceRecord(web.port(), 31931);
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_COMPARE(w.co_device->currentIndex(), 5);
        QCOMPARE(w.display->pa_co->text(), QString());
        QCOMPARE(w.display->pa_co->palette().color(QPalette::Window), QColor(Qt::white));
    }

    void unknownDevicePageFails() {
        ThreadedHttpServer web([](const HttpRequest &r, int) { return webAnswer(r, versionOk, {}, {}); });
        IdentService service(deviceRecord(web.port(), 31899));
        Window win(service.port(), web.port());
        TForm1 &w = win.form();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QTRY_COMPARE(w.co_device->currentIndex(), deviceUnknown);
        QVERIFY(reportHas(w, "EHttpProtocolError : HTTP/1.1 404 Not Found"));
        QCOMPARE(w.display->pa_co->text(),
                 QString("                               Device 31899 not supported"));
    }

    void unresolvableAddress() {
        // ws_gis has no error handler: the failure is shown as an uncaught
        // error, and the time limit already running leads to stage 2.
        IdentService service;
        Window win(service.port());
        TForm1 &w = win.form();
        w.ed_ip->setText("1.2.3");
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QCOMPARE(win.f.dialogs.messages, QStringList{"Cannot resolve address '1.2.3'"});
        QTRY_VERIFY(reportHas(w, "HTTP <- ERROR # GET /version"));
        QVERIFY(reportHas(w, QString("UDP  <- No Answer from %1").arg(service.port())));
        QVERIFY(w.errorHighlighted());
        QCOMPARE(win.ident().ws_gis->State(), wsClosed);
    }

    void noAddressNoIdentification() {
        IdentService service;
        Window win(service.port());
        TForm1 &w = win.form();
        w.ed_ip->clear();
        QTest::mouseClick(w.bt_scan, Qt::LeftButton);
        QVERIFY(!w.ti_gis->isActive());
        QVERIFY(w.reportLines().isEmpty());
    }
};

QTEST_MAIN(TestIdentification)
#include "tst_identification.moc"
