#include "formfixture.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/http/httpchannel.h"

#include <QtTest>

namespace {

// The window in mode HTTP aimed at device, type "2In/2Out".
void aim(TForm1 &w, quint16 port, const QString &password = "pw") {
    pickMode(w, modeHttp);
    pickDevice(w, 1);
    w.ed_ip->setText("127.0.0.1");
    w.ed_httpport->setText(QString::number(port));
    w.ed_password->setText(password);
}

QByteArray request(const QByteArray &path) { return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"; }

// Starts the channel and waits until the device has the first request.
bool start(TForm1 &w, ScriptedTcpServer &device) {
    aim(w, device.port());
    QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
    return QTest::qWaitFor([&] { return device.received() == request("/allout?PW=pw&"); });
}

const QStringList requestReport = {"HTTP -> GET /allout?PW=pw& HTTP/1.1", "HTTP -> Host: 127.0.0.1", "", ""};

QStringList receiveBlock(const QString &chunk) {
    QStringList lines{"HTTP <- Bytes received " + QString::number(chunk.size()),
                      "------------------------------------------------------------"};
    lines << chunk.split(QRegularExpression("\r\n|\r|\n"));
    lines << "--------------  End of receive  ----------------------------"
          << "";
    return lines;
}

} // namespace

class TestHttpChannel : public QObject {
    Q_OBJECT
private slots:
    void startSendsTheExactRequest_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("read all") << "pw" << false << QByteArray("/allout?PW=pw&");
        QTest::newRow("empty password") << "" << false << QByteArray("/allout?PW=&");
        QTest::newRow("password as typed") << "a b&%" << false << QByteArray("/allout?PW=a b&%&");
        QTest::newRow("legacy device: inputs") << "pw" << true << QByteArray("/input?PW=pw&");
    }
    void startSendsTheExactRequest() {
        QFETCH(QString, password);
        QFETCH(bool, legacy);
        QFETCH(QByteArray, path);
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        aim(w, device.port(), password);
        w.legacyDevice = legacy;
        w.writereport("old");
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QCOMPARE(w.bt_httpstart->text(), QString("Stop"));
        QVERIFY(w.httpRunning);
        QCOMPARE(w.httpSlot, 1);
        QTRY_COMPARE(device.received(), request(path));
        QCOMPARE(device.connectionCount(), 1);
        QCOMPARE(w.reportLines(),
                 (QStringList{"HTTP -> GET " + path + " HTTP/1.1", "HTTP -> Host: 127.0.0.1", "", ""}));
    }

    void startInAnotherModeOnlyClearsAndTurns() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, freeTcpPort());
        pickMode(w, modeRest);
        w.writereport("old");
        w.httpChannel->bt_httpstartClick();
        QCOMPARE(w.bt_httpstart->text(), QString("Stop"));
        QCOMPARE(w.reportLines(), QStringList{});
        QVERIFY(!w.httpRunning);
        QCOMPARE(w.httpSlot, 0);
        QCOMPARE(w.httpSockets[0]->State(), wsClosed);
    }

    // The device's answer is reported in full; its state line sets the lamps
    // and counters (two inputs, two outputs).
    void responseSetsTheState() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(start(w, device));
        const QString response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n"
                                 "input;0001;output;0002;counter;5;6\r\n";
        device.send(response.toLatin1());
        device.closeConnection();
        QTRY_COMPARE(w.display->counterFields[1]->text(), QString("6"));
        QCOMPARE(w.display->counterFields[0]->text(), QString("5"));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->inputLamps[1]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOnColor);
        QTRY_COMPARE(w.httpSockets[0]->State(), wsClosed);
        QCOMPARE(w.reportLines(), requestReport + receiveBlock(response));
    }

    // A state line cut by the chunking is read whole, and each chunk is still
    // reported on its own; a line the device ends by closing is read then.
    void stateLineAcrossChunks_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("closeAfter");
        QTest::newRow("cut in a counter") << "HTTP/1.1 200 OK\r\n\r\ninput;0001;output;0001;counter;12"
                                          << "34;6\r\n"
                                          << false;
        QTest::newRow("cut after the first zero") << "HTTP/1.1 200 OK\r\n\r\ninput;0"
                                                  << "001;output;0001;counter;1234;6\r\n"
                                                  << false;
        QTest::newRow("device closes mid-line") << "HTTP/1.1 200 OK\r\n\r\ninput;0001;outp"
                                                << "ut;0001;counter;1234;6" << true;
    }
    void stateLineAcrossChunks() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, closeAfter);
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(start(w, device));
        device.send(first.toLatin1());
        QTRY_COMPARE(w.reportLines(), requestReport + receiveBlock(first));
        QCOMPARE(w.io.counters[0], 0u);
        QCOMPARE(w.io.inputs[0], quint16(0));
        device.send(second.toLatin1());
        if (closeAfter)
            device.closeConnection();
        QTRY_COMPARE(w.display->counterFields[0]->text(), QString("1234"));
        QCOMPARE(w.io.counters[1], 6u);
        QCOMPARE(w.io.inputs[0], quint16(1));
        QCOMPARE(w.io.outputs[0], quint16(1));
        QCOMPARE(w.reportLines(), requestReport + receiveBlock(first) + receiveBlock(second));
    }

    // Twelve requests use the sockets 0 to 10, then socket 0 again, which
    // abandons its first request; each socket sends the path of its own slot.
    void twelveRequestsRotate() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(start(w, device));
        for (int i = 1; i <= 11; ++i) {
            QCOMPARE(w.httpSlot, i % 11);
            w.httpRequestPaths[w.httpSlot] = QStringLiteral("/counter%1?PW=pw&").arg(i);
            w.httpChannel->sendHTTP();
            QTRY_COMPARE(device.connectionCount(), i + 1);
            QTRY_COMPARE(device.received(i),
                         request(QByteArrayLiteral("/counter") + QByteArray::number(i) + "?PW=pw&"));
        }
        QCOMPARE(w.httpSlot, 1);
        QTRY_COMPARE(device.connection(0)->state(), QAbstractSocket::UnconnectedState);
        for (int i = 1; i <= 11; ++i)
            QCOMPARE(device.connection(i)->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(w.httpSockets[0]->State(), wsConnected);
    }

    // Stop leaves the request under way alone; a send afterwards does nothing.
    void stopThenSendDoesNothing() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(start(w, device));
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QCOMPARE(w.bt_httpstart->text(), QString("Start"));
        QVERIFY(!w.httpRunning);
        w.httpRequestPaths[w.httpSlot] = "/input?PW=pw&";
        w.httpChannel->sendHTTP();
        QCOMPARE(w.httpSlot, 1);
        QCOMPARE(w.httpSockets[1]->State(), wsClosed);
        QCOMPARE(w.reportLines(), requestReport);
        QCOMPARE(w.httpSockets[0]->State(), wsConnected);
        device.send("\r\noutput;0001\r\n");
        QTRY_COMPARE(w.io.outputs[0], quint16(1)); // the answer to the running request still counts
    }

    // Nothing listens: the request is reported, the socket closes, no more.
    void refusedConnection() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, freeTcpPort());
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QTRY_COMPARE(w.reportLines(), requestReport);
        QTRY_COMPARE(w.httpSockets[0]->State(), wsClosed);
        QVERIFY(!w.errorHighlighted());
        QCOMPARE(f.dialogs.messages, QStringList{});
    }

    // An address that is no address: the error highlight, no report line.
    void badAddress() {
        FormFixture f;
        TForm1 &w = f.form();
        aim(w, freeTcpPort());
        w.ed_ip->setText("999.0.0.1");
        QTest::mouseClick(w.bt_httpstart, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.httpSockets[0]->State(), wsClosed);
        QCOMPARE(w.reportLines(), QStringList{});
        QCOMPARE(w.httpSlot, 1);
    }

    // The mode switch closes the sockets and forgets their unread text.
    void modeChangeClosesTheSockets() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        QVERIFY(start(w, device));
        device.send("HTTP/1.1 200 OK\r\n\r\noutput;0001");
        QTRY_COMPARE(w.httpChannel->scanner(0).pending(), QString("output;0001"));
        pickMode(w, modeRest);
        QCOMPARE(w.httpSockets[0]->State(), wsClosed);
        QVERIFY(w.httpChannel->scanner(0).pending().isEmpty());
        QCOMPARE(w.bt_httpstart->text(), QString("Start"));
        QVERIFY(!w.httpRunning);
        QTRY_COMPARE(device.connection(0)->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(w.io.outputs[0], quint16(0));
    }
};

QTEST_MAIN(TestHttpChannel)
#include "tst_httpchannel.moc"
