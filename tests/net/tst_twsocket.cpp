#include "core/errors.h"
#include "formfixture.h"
#include "loopprobe.h"
#include "net/twsocket.h"
#include "peers.h"

#include <QEventLoop>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What a socket's events did, in order.
struct Recorder {
    QStringList events;
    QByteArray data;
    void attach(TWSocket &s, bool withError = true) {
        s.OnSessionConnected = [this](TWSocket *w, quint16 e) {
            events << QString("connected %1 %2").arg(e ? "fail" : "ok", socketStateName(w->State()));
        };
        s.OnDataAvailable = [this](TWSocket *w, quint16) { data += w->ReceiveStr().toLatin1(); };
        s.OnSessionClosed = [this](TWSocket *, quint16 e) {
            events << QString("closed %1").arg(e ? "code" : "0");
        };
        if (withError)
            s.OnError = [this](TWSocket *) { events << "error"; };
    }
};

void aim(TWSocket &s, quint16 port, const char *proto = "tcp") {
    s.setProto(proto);
    s.setAddr("127.0.0.1");
    s.setPort(QString::number(port));
}

// Counts the socket notifier activations the event loop delivers.
class NotifierActivations : public QObject {
public:
    NotifierActivations() { QCoreApplication::instance()->installEventFilter(this); }
    ~NotifierActivations() override { QCoreApplication::instance()->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::SockAct)
            ++count;
        return false;
    }
};

} // namespace

class TestTWSocket : public QObject {
    Q_OBJECT
private slots:
    void stateNames() {
        QCOMPARE(socketStateName(wsInvalidState), QString("wsInvalidState"));
        QCOMPARE(socketStateName(wsListening), QString("wsListening"));
        QCOMPARE(socketStateName(wsClosed), QString("wsClosed"));
        QCOMPARE(socketStateName(wsSocksConnected), QString());
        QCOMPARE(int(wsClosed), 8);
    }

    void refusedConnect() {
        TWSocket s;
        Recorder r;
        r.attach(s);
        aim(s, freeTcpPort());
        s.Connect();
        QCOMPARE(s.State(), wsConnecting);
        QVERIFY(r.events.isEmpty()); // the outcome is an event of its own
        QTRY_COMPARE(r.events, (QStringList{"connected fail wsConnected", "closed code"}));
        QCOMPARE(s.State(), wsClosed);
    }

    void sendInsideFailedConnectClosesInsideTheSend() {
        TWSocket s;
        QStringList events;
        s.OnSessionConnected = [&](TWSocket *w, quint16 e) {
            events << QString("connected %1").arg(e != 0);
            events << QString("send %1").arg(w->SendStr("GET /allout?PW=&"));
            events << "after send";
        };
        s.OnSessionClosed = [&](TWSocket *, quint16 e) { events << QString("closed %1").arg(e != 0); };
        s.OnError = [&](TWSocket *) { events << "error"; };
        aim(s, freeTcpPort());
        s.Connect();
        QTRY_VERIFY(events.contains("after send"));
        QCoreApplication::processEvents();
        QCOMPARE(events, (QStringList{"connected 1", "closed 1", "send -1", "after send"}));
    }

    void closeFiresOncePerSession() {
        ScriptedTcpServer peer;
        TWSocket s;
        Recorder r;
        r.attach(s);
        s.Close(); // never opened: nothing
        QVERIFY(r.events.isEmpty());
        aim(s, peer.port());
        s.Connect();
        QTRY_COMPARE(r.events, QStringList{"connected ok wsConnected"});
        s.Close();
        s.Close();
        QCOMPARE(r.events, (QStringList{"connected ok wsConnected", "closed 0"}));
        QCOMPARE(s.State(), wsClosed);
        QCOMPARE(s.Port(), QString::number(peer.port())); // reads back its last text

        // The port counts as unassigned after the close.
        s.setAddr("127.0.0.1");
        s.Connect();
        QCOMPARE(r.events.last(), QString("error"));
        QCOMPARE(s.State(), wsClosed);
    }

    void propertiesWhileOpen() {
        ScriptedTcpServer peer;
        TWSocket s;
        Recorder r;
        r.attach(s);
        aim(s, peer.port());
        s.Connect();
        s.setPort(QString::number(peer.port())); // the same value: accepted in any state
        QVERIFY(r.events.isEmpty());
        s.setPort(" 1 ");
        QCOMPARE(r.events, QStringList{"error"});
        QCOMPARE(s.Port(), QString::number(peer.port()));
        s.Connect(); // not closed
        QCOMPARE(r.events, (QStringList{"error", "error"}));
        s.Close();
        s.setPort(" 81 ");
        QCOMPARE(s.Port(), QString("81"));
        QCOMPARE(s.Proto(), QString("tcp"));
        QCOMPARE(s.LocalPort(), QString("0"));
    }

    void failureWithoutErrorHandlerThrows() {
        TWSocket s;
        QVERIFY_THROWS_EXCEPTION(ESocketError, s.Connect());
        QVERIFY_THROWS_EXCEPTION(ESocketError, s.Send("x", 1));
    }

    void udpPeer() {
        ScriptedUdpPeer device;
        ScriptedUdpPeer stranger;
        TWSocket s;
        Recorder r;
        bool inside = false;
        r.attach(s);
        s.OnSessionConnected = [&](TWSocket *w, quint16 e) {
            inside = true;
            QCOMPARE(e, quint16(0));
            QCOMPARE(w->State(), wsConnected);
        };
        aim(s, device.port(), "udp");
        const quint16 local = freeUdpPort();
        s.setLocalPort(QString::number(local));
        s.Connect();
        QVERIFY(inside); // fired before Connect returned
        QCOMPARE(s.SendStr("GET /allout?PW=&"), 16);
        QTRY_COMPARE(device.datagrams.size(), 1);
        QCOMPARE(device.datagrams[0].data, QByteArray("GET /allout?PW=&"));
        QCOMPARE(device.datagrams[0].fromPort, local);
        device.sendTo(local, QByteArray("output;1\0", 9));
        stranger.sendTo(local, "x"); // any sender is heard
        QTRY_COMPARE(r.data, QByteArray("output;1\0x", 10));
        s.Close();
        QCOMPARE(r.events, QStringList{"closed 0"});

        // A port in use cannot be bound: the error fires inside Connect.
        QUdpSocket blocker;
        QVERIFY(blocker.bind(QHostAddress::AnyIPv4, 0));
        aim(s, device.port(), "udp");
        s.setLocalPort(QString::number(blocker.localPort()));
        s.Connect();
        QCOMPARE(r.events.last(), QString("error"));
        QCOMPARE(s.State(), wsClosed);
    }

    void listenAcceptDup() {
        TWSocket server, client;
        Recorder serverEvents, clientEvents;
        serverEvents.attach(server);
        clientEvents.attach(client);
        server.OnSessionAvailable = [&](TWSocket *w, quint16) {
            client.Dup(w->Accept());
            server.Close(); // one connection at a time
        };
        server.setAddr("0.0.0.0");
        server.setPort("0");
        server.Listen();
        QCOMPARE(server.State(), wsListening);
        const quint16 port = server.boundPort();

        ScriptedTcpClient device;
        device.connectTo(port);
        QTRY_COMPARE(client.State(), wsConnected);
        QCOMPARE(serverEvents.events, QStringList{"closed 0"}); // the listener closed
        QVERIFY(clientEvents.events.isEmpty());                 // Dup fires no connected event
        QCOMPARE(client.Port(), QString());
        device.send("input;0003");
        QTRY_COMPARE(clientEvents.data, QByteArray("input;0003"));
        QCOMPARE(client.SendStr("GET /input?PW=&"), 15);
        QTRY_COMPARE(device.received(), QByteArray("GET /input?PW=&"));

        // Accept on a socket that does not listen fails through OnError.
        QCOMPARE(server.Accept(), -1);
        QCOMPARE(serverEvents.events.last(), QString("error"));
    }

    void dataInPiecesThenPeerCloses() {
        ScriptedTcpServer peer;
        TWSocket s;
        Recorder r;
        int deliveries = 0;
        r.attach(s);
        s.OnDataAvailable = [&](TWSocket *w, quint16) {
            ++deliveries;
            r.data += w->ReceiveStr().toLatin1();
            r.events << "data";
        };
        aim(s, peer.port());
        s.Connect();
        QTRY_COMPARE(peer.connectionCount(), 1);
        QTRY_COMPARE(s.State(), wsConnected);
        peer.send("outp");
        QTRY_COMPARE(r.data, QByteArray("outp"));
        peer.send("ut;3");
        peer.closeConnection();
        QTRY_VERIFY(r.events.contains("closed 0") || r.events.contains("closed code"));
        QCOMPARE(r.data, QByteArray("outp"
                                    "ut;3"));
        QVERIFY(deliveries >= 2);
        QCOMPARE(r.events.last().left(6), QString("closed")); // data first, then the close
        QCOMPARE(r.events.count("closed 0") + r.events.count("closed code"), 1);
        QCOMPARE(s.State(), wsClosed);
    }

    void unreadDataDoesNotFireWithoutEnd() {
        ScriptedTcpServer peer;
        TWSocket s;
        int deliveries = 0;
        s.OnDataAvailable = [&](TWSocket *, quint16) { ++deliveries; }; // reads nothing
        aim(s, peer.port());
        s.Connect();
        QTRY_COMPARE(s.State(), wsConnected);
        QTRY_COMPARE(peer.connectionCount(), 1);
        peer.send("ignored");
        QTRY_COMPARE(deliveries, 1);
        bool later = false;
        QTimer::singleShot(30, [&] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(deliveries, 1);
        QCOMPARE(s.State(), wsConnected);
    }

    // A peer that sends without pause: its data arrives over many passes of
    // the event loop, whether the handler reads it or leaves it unread
    // (another mode's socket), and the loop keeps running meanwhile.
    void floodIsDeliveredOverManyPasses_data() {
        QTest::addColumn<bool>("reads");
        QTest::newRow("read") << true;
        QTest::newRow("left unread") << false;
    }
    void floodIsDeliveredOverManyPasses() {
        QFETCH(bool, reads);
        ScriptedTcpServer peer;
        TWSocket s;
        aim(s, peer.port());
        s.Connect();
        QTRY_COMPARE(peer.connectionCount(), 1);
        QTRY_COMPARE(s.State(), wsConnected);
        const QByteArray flood(2 << 20, '\0');
        peer.send(flood);
        QTRY_VERIFY(peer.connection()->bytesToWrite() == 0); // all of it is on its way
        LoopProbe probe;
        qint64 received = 0;
        int ticksAtFirst = -1, ticksAtLast = -1;
        s.OnDataAvailable = [&](TWSocket *w, quint16) {
            if (ticksAtFirst < 0)
                ticksAtFirst = probe.ticks;
            ticksAtLast = probe.ticks;
            if (reads)
                received += w->ReceiveStr().size();
        };
        if (reads)
            QTRY_COMPARE(received, flood.size());
        else
            QTRY_VERIFY(ticksAtFirst >= 0 && probe.ticks > ticksAtLast + 1000); // all dropped: no more events
        QVERIFY2(ticksAtLast - ticksAtFirst >= 5, qPrintable(QString::number(ticksAtLast - ticksAtFirst)));
        QVERIFY2(probe.longestMs < blockedPassLimitMs, qPrintable(QString::number(probe.longestMs)));
        QCOMPARE(s.State(), wsConnected);
    }

    // A device that stops reading: what waits to be sent is capped, and the
    // session ends with an error instead of the queue growing without end.
    void sendQueueIsBounded() {
        // A listener nobody accepts from: the system completes the connection
        // but nothing ever reads it.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
        QCOMPARE(::listen(listener, 1), 0);
        TWSocket s;
        Recorder r;
        r.attach(s);
        aim(s, ntohs(a.sin_port));
        s.Connect();
        QTRY_COMPARE(s.State(), wsConnected);
        const QByteArray block(64 * 1024, 'x');
        int sends = 0;
        while (sends < 1000 && s.Send(block) >= 0)
            ++sends;
        ::close(listener);
        QVERIFY(sends < 1000);
        QCOMPARE(r.events.mid(1), (QStringList{"closed code", "error"}));
        QCOMPARE(s.State(), wsClosed);
    }

    // A handler that runs a modal loop (an error box) and opens its socket
    // again inside it: the new listener must stay quiet until the outer
    // delivery ends, not fire on every pass of the modal loop.
    void notifierOpenedInsideAModalLoopWaits() {
        TWSocket listener;
        const quint16 port = freeTcpPort();
        listener.setAddr("127.0.0.1");
        listener.setPort(QString::number(port));
        int sessions = 0;
        int activationsInLoop = -1;
        ScriptedTcpClient second;
        listener.OnSessionAvailable = [&](TWSocket *w, quint16) {
            if (++sessions > 1) {
                ::close(w->Accept());
                return;
            }
            ::close(w->Accept());
            w->Close();
            w->setAddr("127.0.0.1");
            w->setPort(QString::number(port));
            w->Listen(); // listening again, inside the delivery
            second.connectTo(port);
            NotifierActivations activations;
            QEventLoop modal; // what a message box runs
            QTimer::singleShot(200, &modal, &QEventLoop::quit);
            modal.exec();
            activationsInLoop = activations.count;
        };
        listener.Listen();
        QCOMPARE(listener.State(), wsListening);
        ScriptedTcpClient first;
        first.connectTo(port);
        QTRY_VERIFY(activationsInLoop >= 0);
        QVERIFY2(activationsInLoop < 50, qPrintable(QString::number(activationsInLoop)));
        // Once the outer delivery has ended the waiting connection is taken.
        QTRY_COMPARE(sessions, 2);
    }

    void errorRouting() {
        FormFixture f; // installs the recording dialog seam
        ScriptedTcpServer peer;

        // Out of a data handler: the delivery ends silently, the socket stays open.
        TWSocket s;
        int deliveries = 0;
        s.OnDataAvailable = [&](TWSocket *w, quint16) {
            ++deliveries;
            w->ReceiveStr();
            throw EConvertError("'00G1' ist kein gültiger Integerwert");
        };
        aim(s, peer.port());
        s.Connect();
        QTRY_COMPARE(peer.connectionCount(), 1);
        QTRY_COMPARE(s.State(), wsConnected);
        peer.send("a");
        QTRY_COMPARE(deliveries, 1);
        peer.send("b");
        QTRY_COMPARE(deliveries, 2);
        QCOMPARE(s.State(), wsConnected);
        QVERIFY(f.dialogs.messages.isEmpty());

        // Out of another handler delivered from the event loop: the socket
        // closes (its closed event fires), then the message is shown.
        TWSocket t;
        QStringList events;
        t.OnSessionConnected = [&](TWSocket *, quint16) { throw EConvertError("boom"); };
        t.OnSessionClosed = [&](TWSocket *, quint16) { events << "closed"; };
        aim(t, peer.port());
        t.Connect();
        QTRY_COMPARE(f.dialogs.messages, QStringList{"boom"});
        QCOMPARE(events, QStringList{"closed"});
        QCOMPARE(t.State(), wsClosed);

        // Out of a handler fired nested inside an operation: to the caller.
        s.OnSessionClosed = [&](TWSocket *, quint16) { throw EConvertError("nested"); };
        QVERIFY_THROWS_EXCEPTION(EConvertError, s.Close());
        QCOMPARE(s.State(), wsClosed);
        QCOMPARE(f.dialogs.messages.size(), 1);
    }

    void listenOnAPortInUse() {
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress::AnyIPv4, 0));
        TWSocket s;
        QStringList events;
        s.OnError = [&](TWSocket *w) {
            events << "error " + socketStateName(w->State());
            w->Close();
        };
        s.OnSessionClosed = [&](TWSocket *, quint16) { events << "closed"; };
        s.setAddr("0.0.0.0");
        s.setPort(QString::number(blocker.serverPort()));
        s.Listen();
        // The socket had been opened: the handler's close ends that session.
        QCOMPARE(events, (QStringList{"error wsOpened", "closed"}));
        QCOMPARE(s.State(), wsClosed);
    }
};

QTEST_MAIN(TestTWSocket)
#include "tst_twsocket.moc"
