// How fast the window polls a Modbus TCP device.
//
// The real window (offscreen) in mode "Modbus TCP", device type "16In/Out",
// connected on 127.0.0.1 to a device on a thread of its own: korvosim's
// Modbus service, or a bare peer that answers every request at once. A 1 ms
// timer runs the Get All sequence (inputs, outputs, counters, back to back)
// as the operation's "auto" box does, for a few seconds. Then a write of the
// outputs is sent, and once its read-back shows, every reply before it has
// been decoded (TCP keeps the order). Printed: request/reply pairs per
// second, the timer's ticks per second, and the event loop's delay (the
// lateness of a 1 ms probe timer) as p50, p99 and maximum.
//
// The ceiling is three pairs per tick, 3,000 pairs/s; aims: 2,700 or more,
// p99 delay under 20 ms.
//
// Usage: modbusbench [SECONDS [on|off]]   (default 5 s, Write Report on and off;
//        both devices)
#include "app/tform1.h"
#include "core/guard.h"
#include "net/twsocket.h"
#include "protocols/modbus/modbuschannel.h"
#include "simulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The bare device: frames requests by the MBAP length and answers each at
// once; it keeps the outputs word that function 15 writes.
struct BareDevice {
    int listener = -1;
    quint16 port = 0;
    quint16 outputs = 0;
    std::thread thread;

    BareDevice() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        ::listen(listener, 1);
        thread = std::thread([this] { serve(); });
    }
    ~BareDevice() {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
        thread.join();
    }

    QByteArray reply(const QByteArray &req) {
        const quint8 fn = quint8(req[7]);
        const int qty = quint8(req[10]) << 8 | quint8(req[11]);
        QByteArray pdu;
        pdu.append(char(fn));
        if (fn == 3 || fn == 4) {
            pdu.append(char(2 * qty));
            for (int i = 0; i < qty; ++i) {
                const quint16 w = fn == 3 && qty == 1 ? outputs : quint16(0x5A5A >> (i & 1));
                pdu.append(char(w >> 8));
                pdu.append(char(w));
            }
        } else {
            if (fn == 15 && req.size() >= 15)
                outputs = quint16(quint8(req[13]) | quint8(req[14]) << 8);
            pdu.append(req.mid(8, 4)); // the writes' echo
        }
        QByteArray adu = req.left(4);
        adu.append(char((pdu.size() + 1) >> 8));
        adu.append(char(pdu.size() + 1));
        adu.append(req[6]);
        adu.append(pdu);
        return adu;
    }

    void serve() {
        const int c = ::accept(listener, nullptr, nullptr);
        if (c < 0)
            return;
        const int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        QByteArray in, out;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            in.append(buf, n);
            qsizetype at = 0;
            while (in.size() - at >= 12) {
                const int len = quint8(in[at + 4]) << 8 | quint8(in[at + 5]);
                if (in.size() - at < 6 + len)
                    break;
                out += reply(in.mid(at, 6 + len));
                at += 6 + len;
            }
            in.remove(0, at);
            if (!out.isEmpty() && ::send(c, out.constData(), size_t(out.size()), MSG_NOSIGNAL) < 0)
                break;
            out.clear();
        }
        ::close(c);
    }
};

// korvosim on a thread of its own, every port chosen by the system.
class SimThread : public QThread {
public:
    std::atomic<quint16> port{0};
    std::atomic<bool> failed{false};

protected:
    void run() override {
        sim::Simulator device(sim::SimOptions::forTest());
        QString error;
        if (!device.start(&error)) {
            failed = true;
            return;
        }
        port = device.port(QStringLiteral("modbus"));
        exec();
    }
};

double percentile(std::vector<qint64> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[size_t(p * double(v.size() - 1))]) / 1e6;
}

void run(bool korvosim, bool report, int seconds) {
    std::unique_ptr<BareDevice> bare;
    SimThread simThread;
    quint16 port = 0;
    if (korvosim) {
        simThread.start();
        while (!simThread.port && !simThread.failed)
            QThread::msleep(1);
        port = simThread.port;
    } else {
        bare = std::make_unique<BareDevice>();
        port = bare->port;
    }
    const auto stopDevice = [&] {
        if (korvosim) {
            simThread.quit();
            simThread.wait();
        }
    };

    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    form.cb_report->setChecked(report);
    form.co_device->setCurrentIndex(7); // "16In/Out"
    form.co_deviceChange();
    form.co_mode->setCurrentIndex(modeModbus);
    form.co_modeChange();
    form.ed_ip->setText(QStringLiteral("127.0.0.1"));
    form.ed_tcpmodbusport->setText(QString::number(port));
    form.bt_connectmodbus->click();
    ModbusChannel &m = *form.modbusChannel;
    QElapsedTimer wait;
    wait.start();
    while (m.ws_modbus->State() != wsConnected) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (wait.elapsed() > 5000) {
            std::printf("could not connect\n");
            stopDevice();
            return;
        }
    }

    // Get All on "auto" at 1 ms, as the polling operation runs it. Requests
    // are counted by their transaction identifiers.
    QTimer getAll;
    getAll.setInterval(1);
    qint64 ticks = 0, requests = 0;
    quint16 lastTid = m.modbusTransactionId;
    QObject::connect(&getAll, &QTimer::timeout, [&] {
        ++ticks;
        guard([&] {
            m.sendModbus(QStringLiteral("inputs"), QStringLiteral("get"), 0);
            m.sendModbus(QStringLiteral("outputs"), QStringLiteral("get"), 0);
            m.sendModbus(QStringLiteral("counters"), QStringLiteral("get"), 0);
        });
        requests += quint16(m.modbusTransactionId - lastTid);
        lastTid = m.modbusTransactionId;
    });

    // The event loop's delay: how late a 1 ms probe fires.
    std::vector<qint64> delays;
    delays.reserve(size_t(seconds) * 1100);
    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        delays.push_back(qMax<qint64>(0, sinceTick.nsecsElapsed() - 1'000'000));
        sinceTick.restart();
    });

    // After the run: a write of outputs 0 to 9, whose read-back comes after
    // every reply still on its way.
    const quint16 marker = 0x03FF;
    const auto markerShown = [&] {
        for (int i = 0; i < 16; ++i)
            if ((form.io.outputs[size_t(i)] != 0) != bool(marker & (1 << i)))
                return false;
        return true;
    };
    QElapsedTimer clock;
    qint64 ran = 0;
    QTimer finish;
    finish.setInterval(1);
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (getAll.isActive() && clock.elapsed() >= seconds * 1000LL) {
            getAll.stop();
            probe.stop();
            ran = clock.nsecsElapsed();
            form.io.outputs.fill(0);
            m.sendModbus(QStringLiteral("outputs"), QStringLiteral("set"), marker);
        }
        if (!getAll.isActive() && (markerShown() || clock.elapsed() > seconds * 1000LL + 5000))
            QApplication::quit();
    });
    clock.start();
    sinceTick.start();
    probe.start();
    getAll.start();
    finish.start();
    QApplication::exec();
    const bool drained = markerShown();
    const double s = double(ran) / 1e9;
    std::printf("| %s | %s | %.0f | %.0f | %.2f ms | %.2f ms | %.2f ms | %s |\n",
                korvosim ? "korvosim" : "bare peer", report ? "on" : "off", double(requests) / s,
                double(ticks) / s, percentile(delays, 0.50), percentile(delays, 0.99),
                percentile(delays, 1.0), drained ? "yes" : "NO");
    std::fflush(stdout);
    m.ws_modbus->Close();
    stopDevice();
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    std::printf("Get All every 1 ms for %d s against a loopback device (ceiling 3,000 pairs/s)\n\n", seconds);
    std::printf("| device | Write Report | pairs/s | timer ticks/s | delay p50 | delay p99 | delay max | "
                "all decoded |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const QByteArray which = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    for (const bool korvosim : {true, false}) {
        if (which != "off")
            run(korvosim, true, seconds);
        if (which != "on")
            run(korvosim, false, seconds);
    }
    return 0;
}
