// korvosim on real sockets, all on 127.0.0.1 with ports the system picks: a
// minimal client per protocol, one set seen over another protocol, the faults
// of the adapters, the device as client of a listening tool, and the program
// itself (ports printed, clean exit on SIGTERM).
#include "simulator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

using namespace sim;

namespace {

QByteArray nul(const QByteArray &text) { return text + '\0'; }

// A TCP client that gathers what arrives and counts the pieces.
struct Client {
    QTcpSocket socket;
    QByteArray received;
    int pieces = 0;
    explicit Client(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            received += socket.readAll();
            ++pieces;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
};

struct UdpClient {
    QUdpSocket socket;
    QList<QByteArray> datagrams;
    UdpClient() {
        socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                QByteArray d(int(socket.pendingDatagramSize()), '\0');
                socket.readDatagram(d.data(), d.size());
                datagrams.append(d);
            }
        });
    }
    void send(quint16 port, const QByteArray &bytes) {
        socket.writeDatagram(bytes, QHostAddress::LocalHost, port);
    }
};

std::unique_ptr<Simulator> started(SimOptions o = SimOptions::forTest()) {
    auto sim = std::make_unique<Simulator>(o);
    QString error;
    if (!sim->start(&error))
        qWarning() << error;
    return sim;
}

SimOptions withFault(const QString &service, const QString &list) {
    SimOptions o = SimOptions::forTest();
    o.faults[service].parse(list, nullptr);
    return o;
}

} // namespace

class TestSimAdapters : public QObject {
    Q_OBJECT
private slots:
    void setOverTcpShowsOverUdpAndWeb() {
        auto sim = started();
        Client tcp(sim->port("ascii-tcp"));
        tcp.socket.write("GET /outputaccess?PW=&Mask=00FF&State=0081&");
        QTRY_COMPARE(tcp.received, nul("output;0081"));
        UdpClient udp;
        udp.send(sim->port("ascii-udp"), "GET /output?PW=&");
        QTRY_COMPARE(udp.datagrams, QList<QByteArray>{nul("output;0081")});
        QCOMPARE(sim->model().outputs(), 0x81u);
    }

    void webServerAnswersAndCloses() {
        auto sim = started();
        Client web(sim->port("web"));
        web.socket.write("GET /version HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_VERIFY(web.closed());
        QVERIFY(web.received.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(web.received.contains("BOOT=OK"));
    }

    void identificationNamesTheWebPort() {
        auto sim = started();
        UdpClient udp;
        udp.send(sim->port("ident"), "Version 1.03");
        QTRY_COMPARE(udp.datagrams.size(), 1);
        const QByteArray r = udp.datagrams[0];
        QCOMPARE(r.size(), 278);
        QCOMPARE(quint16(quint8(r[40]) | quint8(r[41]) << 8), sim->port("web"));
        QCOMPARE(quint8(r[269]), quint8(127)); // the bound address, 127.0.0.1
    }

    void resetRestartsAndCloses() {
        SimOptions o = SimOptions::forTest();
        o.password = "abc";
        auto sim = started(o);
        sim->model().setOutputs(0xFFFF, 0x0F);
        Client reset(sim->port("reset"));
        reset.socket.write(QByteArray("abc\0", 4));
        QTRY_VERIFY(reset.closed());
        QCOMPARE(reset.received, QByteArray());
        QCOMPARE(sim->model().restartCount(), 1);
        QCOMPARE(sim->model().outputs(), 0u);
    }

    void inputsFollowThePattern() {
        SimOptions o = SimOptions::forTest();
        o.tickMs = 5;
        auto sim = started(o);
        QTRY_VERIFY(sim->model().counter(0) >= 2);
    }

    // ---- faults ----

    void refuseKeepsThePortButRefuses() {
        auto sim = started(withFault("ascii-tcp", "refuse"));
        QVERIFY(sim->port("ascii-tcp") != 0);
        Client c(sim->port("ascii-tcp"));
        QSignalSpy error(&c.socket, &QTcpSocket::errorOccurred);
        QTRY_COMPARE(error.size(), 1);
        QCOMPARE(c.socket.error(), QAbstractSocket::ConnectionRefusedError);
    }

    void stallAcceptsAndNeverAnswers() {
        auto sim = started(withFault("ascii-tcp", "stall"));
        Client c(sim->port("ascii-tcp"));
        QTRY_VERIFY(c.socket.state() == QAbstractSocket::ConnectedState);
        c.socket.write("GET /input?PW=&");
        // A second, healthy service answers in the meantime: the stalled one had its turn.
        UdpClient udp;
        udp.send(sim->port("ascii-udp"), "GET /input?PW=&");
        QTRY_COMPARE(udp.datagrams.size(), 1);
        QTest::qWait(50);
        QCOMPARE(c.received, QByteArray());
        QVERIFY(!c.closed());
    }

    void splitSendsOneByteAtATime() {
        auto sim = started(withFault("ascii-tcp", "split"));
        Client c(sim->port("ascii-tcp"));
        c.socket.write("GET /input?PW=&");
        QTRY_COMPARE(c.received, nul("input;0000"));
        QVERIFY2(c.pieces > 1, "the reply came in one piece");
        UdpClient udp;
        auto sim2 = started(withFault("ascii-udp", "split"));
        udp.send(sim2->port("ascii-udp"), "GET /input?PW=&");
        QTRY_COMPARE(udp.datagrams.size(), 11);
        QCOMPARE(udp.datagrams.join(), nul("input;0000"));
    }

    void coalesceJoinsReplies() {
        auto sim = started(withFault("ascii-tcp", "coalesce:2"));
        Client c(sim->port("ascii-tcp"));
        c.socket.write("GET /input?PW=&");
        QTRY_VERIFY(c.socket.state() == QAbstractSocket::ConnectedState);
        QTest::qWait(20);
        QCOMPARE(c.received, QByteArray()); // held for the second
        c.socket.write("GET /output?PW=&");
        QTRY_COMPARE(c.received, nul("input;0000") + nul("output;0000"));
        QCOMPARE(c.pieces, 1);
        // A lone reply goes out after a while all the same.
        c.socket.write("GET /output?PW=&");
        QTRY_COMPARE(c.received.count('\0'), 3);
    }

    void closeAfterReplies() {
        auto sim = started(withFault("ascii-tcp", "close-after:2"));
        Client c(sim->port("ascii-tcp"));
        c.socket.write("GET /input?PW=&GET /output?PW=&GET /counter?PW=&");
        QTRY_VERIFY(c.closed());
        QCOMPARE(c.received, nul("input;0000") + nul("output;0000"));
    }

    void garbageAndWrongLength() {
        auto sim = started(withFault("ascii-udp", "garbage"));
        UdpClient udp;
        udp.send(sim->port("ascii-udp"), "GET /input?PW=&");
        QTRY_COMPARE(udp.datagrams.size(), 1);
        QCOMPARE(udp.datagrams[0].size(), nul("input;0000").size());
        QVERIFY(udp.datagrams[0] != nul("input;0000"));

        auto sim2 = started(withFault("web", "wrong-length"));
        Client web(sim2->port("web"));
        web.socket.write("GET /version HTTP/1.1\r\n\r\n");
        QTRY_VERIFY(web.closed());
        const qsizetype body = web.received.size() - web.received.indexOf("\r\n\r\n") - 4;
        QVERIFY(web.received.contains("Content-Length: " + QByteArray::number(body + 1) + "\r\n"));
    }

    // ---- the device as client of a listening tool ----

    void connectsToAListeningToolAndComesBack() {
        QTcpServer tool;
        QVERIFY(tool.listen(QHostAddress::LocalHost, 0));
        SimOptions o = SimOptions::forTest();
        o.connectAscii = "127.0.0.1:" + QString::number(tool.serverPort());
        auto sim = started(o);
        QTRY_VERIFY(tool.hasPendingConnections());
        QTcpSocket *first = tool.nextPendingConnection();
        QByteArray got;
        connect(first, &QTcpSocket::readyRead, this, [&] { got += first->readAll(); });
        first->write("GET /allout?PW=&");
        QTRY_VERIFY(got.startsWith("input;0000;output;0000;counter;0;"));
        first->close(); // the tool drops it (auto disconnect); the device calls again
        QTRY_VERIFY_WITH_TIMEOUT(tool.hasPendingConnections(), 5000);
    }

    // ---- the program ----

    void programPrintsPortsAndStopsOnSigterm() {
        QProcess p;
        p.start(KORVOSIM_PATH, {"--ascii-tcp-port", "0", "--ascii-udp-port", "0", "--web-port", "0",
                                "--reset-port", "0", "--ident-port", "0", "--tick-ms", "0"});
        QVERIFY(p.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("korvosim: ready"), 5000);
        const QRegularExpression line("korvosim: ascii-tcp +tcp 127\\.0\\.0\\.1:(\\d+)");
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(out));
        QVERIFY2(m.hasMatch(), out.constData());
        Client c(quint16(m.captured(1).toUInt()));
        c.socket.write("GET /input?PW=&");
        QTRY_COMPARE(c.received, nul("input;0000"));
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QTRY_VERIFY(c.closed());
    }

    void programRefusesBadOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("fault of no service") << QStringList{"--fault", "nothing=split"};
        QTest::newRow("unknown fault") << QStringList{"--fault", "ascii-tcp=explode"};
        QTest::newRow("bad port") << QStringList{"--web-port", "70000"};
        QTest::newRow("bad connect") << QStringList{"--connect-ascii", "127.0.0.1"};
        QTest::newRow("bad bind") << QStringList{"--bind", "localhost"};
    }
    void programRefusesBadOptions() {
        QFETCH(QStringList, args);
        SimOptions o;
        QString message;
        QVERIFY(!Simulator::parseArguments(args, o, &message));
        QVERIFY(!message.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimAdapters)
#include "tst_simadapters.moc"
