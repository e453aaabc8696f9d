#include "discovery/maintenance.h"
#include "formfixture.h"
#include "net/twsocket.h"
#include "peers.h"
#include "protocols/ascii/asciitcpclient.h"

#include <QtTest>

namespace {

// The device's reset service listens on the fixed port 8888.
class ResetPort : public QObject {
public:
    ResetPort() {
        listening = server.listen(QHostAddress::LocalHost, 8888);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            connection = server.nextPendingConnection();
            connect(connection, &QTcpSocket::readyRead, this, [this] { received += connection->readAll(); });
        });
    }
    QTcpServer server;
    QTcpSocket *connection = nullptr;
    QByteArray received;
    bool listening = false;
};

} // namespace

class TestMaintenance : public QObject {
    Q_OBJECT
private slots:
    void resetSendsPasswordAndNul() {
        ResetPort device;
        if (!device.listening)
            QSKIP("port 8888 on 127.0.0.1 is taken on this machine");
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, modeSnmp); // works in every mode
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("abc");
        QTest::mouseClick(w.bt_reset, Qt::LeftButton);
        QCOMPARE(w.status(0), QString("Open Port 8888 for Reset"));
        QTRY_COMPARE(device.received, QByteArray("abc\0", 4));
        QCOMPARE(w.status(0), QString("send Password for Reset"));
        device.connection->disconnectFromHost();
        QTRY_COMPARE(w.status(0), QString("Port 8888 closed (0)"));
        QCOMPARE(w.reportLines(),
                 (QStringList{"# Open Port 8888 for Reset", "# Port 8888 connected for Reset",
                              "# send Password for Reset", "# Port 8888 closed (0)"}));
        // The mode switch leaves the reset connection alone.
        QTest::mouseClick(w.bt_reset, Qt::LeftButton);
        QTRY_COMPARE(w.maintenance->ws_reset->State(), wsConnected);
        pickMode(w, modeHttp);
        QCOMPARE(w.maintenance->ws_reset->State(), wsConnected);
    }

    void resetErrors() {
        FormFixture f;
        TForm1 &w = f.form();
        w.ed_password->setText("abc");
        // No address: Connect fails at once.
        QTest::mouseClick(w.bt_reset, Qt::LeftButton);
        QVERIFY(w.errorHighlighted());
        QCOMPARE(w.status(0), QString("Port 8888 closed (Error)"));
        QCOMPARE(w.reportLines().last(), QString("# Port 8888 closed (Error)"));
        QCOMPARE(w.maintenance->ws_reset->State(), wsClosed);
    }

    void refusedResetPortEndsWithItsCode() {
        ResetPort probe; // make sure nothing answers on 8888 for this test
        if (!probe.listening)
            QSKIP("port 8888 on 127.0.0.1 is taken on this machine");
        probe.server.close();
        FormFixture f;
        TForm1 &w = f.form();
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("abc");
        QTest::mouseClick(w.bt_reset, Qt::LeftButton);
        QTRY_COMPARE(w.reportLines().size(), 4);
        // The send inside the connected handler finds no connection: the
        // session closes inside it, with the failure's code.
        const QStringList lines = w.reportLines();
        QCOMPARE(lines.mid(0, 2),
                 (QStringList{"# Open Port 8888 for Reset", "# Port 8888 connected for Reset"}));
        QVERIFY2(QRegularExpression("^# Port 8888 closed \\([1-9][0-9]*\\)$").match(lines[2]).hasMatch(),
                 qPrintable(lines[2]));
        QCOMPARE(lines[3], QString("# send Password for Reset"));
        // Nothing was sent: the status panel stays on the closed text.
        QCOMPARE(w.status(0), lines[2].mid(2));
        QCOMPARE(w.maintenance->ws_reset->State(), wsClosed);
    }

    void setTimeOverHttp() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer web;
        w.ed_ip->setText("127.0.0.1");
        w.ed_httpport->setText(QString::number(web.port()));
        w.ed_password->setText("pw");
        w.ed_settime->setText("old");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QTest::mouseClick(w.bt_settime, Qt::LeftButton);
        QTRY_VERIFY(web.received().endsWith("\r\n\r\n"));
        const QString t = w.ed_settime->text();
        const QDateTime sent = QDateTime::fromString(t, "dd.MM.yyyy,HH:mm:ss");
        QVERIFY2(sent.isValid() && sent >= before && sent <= QDateTime::currentDateTime(), qPrintable(t));
        const QByteArray line = "GET /settime?PW=pw&time=" + t.toLatin1() + "& HTTP/1.1";
        QCOMPARE(web.received(), line + "\r\nHost: 127.0.0.1\r\n\r\n");
        QCOMPARE(w.reportLines(),
                 (QStringList{"HTTP -> " + QString::fromLatin1(line), "HTTP -> Host: 127.0.0.1", "", ""}));
        web.send("HTTP/1.1 200 OK");
        QTRY_COMPARE(w.reportLines().last(), QString("HTTP -> HTTP/1.1 200 OK"));
        web.closeConnection();
        QTRY_COMPARE(w.maintenance->ws_settime->State(), wsClosed);
    }

    void setTimeOverAsciiSendsTheEditedText() {
        FormFixture f;
        TForm1 &w = f.form();
        ScriptedTcpServer device;
        pickMode(w, modeTcpClient);
        w.ed_ip->setText("127.0.0.1");
        w.ed_tcpasciiport->setText(QString::number(device.port()));
        w.ed_password->setText("pw");
        w.cb_setedittime->setChecked(true);
        w.ed_settime->setText("no time at all");
        QTest::mouseClick(w.bt_settime, Qt::LeftButton);
        QTRY_COMPARE(device.received(), QByteArray("GET /settime?PW=pw&time=no time at all&\r\n"));
        QCOMPARE(w.reportLines(), QStringList{"TCP ASCII -> GET /settime?PW=pw&time=no time at all&"});
        QCOMPARE(w.asciiClient->ws_io->State(), wsClosed); // a connection of its own
        device.send("OK");
        QTRY_COMPARE(w.reportLines().last(), QString("TCP ASCII -> OK"));
    }

    void setTimeFailsSilently() {
        FormFixture f;
        TForm1 &w = f.form();
        w.ed_ip->setText("127.0.0.1");
        w.ed_httpport->setText(QString::number(freeTcpPort()));
        QTest::mouseClick(w.bt_settime, Qt::LeftButton);
        QTRY_COMPARE(w.maintenance->ws_settime->State(), wsClosed);
        QVERIFY(!w.errorHighlighted());
        // A second click works again.
        QTest::mouseClick(w.bt_settime, Qt::LeftButton);
        QTRY_COMPARE(w.maintenance->ws_settime->State(), wsClosed);
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
