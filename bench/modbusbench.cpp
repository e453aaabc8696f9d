// How fast the window polls a Modbus TCP device.
//
// The real window (offscreen) in mode "Modbus TCP", device type "16In/Out",
// connected on 127.0.0.1 to a fast device thread that answers every request
// at once. A 1 ms timer runs the Get All sequence (inputs, outputs, counters,
// back to back) as the operation's "auto" box does, for a few seconds; then
// the last replies are waited for. Printed: request/reply pairs per second
// (replies decoded by the window over the run), and the event loop's delay,
// the lateness of a 1 ms probe timer, as p50, p99 and maximum.
//
// The ceiling is three pairs per tick, 3,000 pairs/s; aims: 2,700 or more,
// p99 delay under 20 ms.
//
// Usage: modbusbench [SECONDS [on|off]]   (default 5 s, Write Report on and off)
#include "app/tform1.h"
#include "core/guard.h"
#include "net/twsocket.h"
#include "protocols/modbus/modbuschannel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
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

// The device: frames requests by the MBAP length and answers each at once,
// as a Korvo box would. Every counters reply carries the running number of
// counters replies in counter 0, so the window's counter 0 tells how far it
// has decoded.
struct Device {
    int listener = -1;
    quint16 port = 0;
    std::atomic<qint64> replies{0};
    std::atomic<quint32> countersReplies{0};
    std::thread thread;

    Device() {
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
    ~Device() {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
        thread.join();
    }

    static QByteArray reply(const QByteArray &req, quint32 counterValue) {
        const quint8 fn = quint8(req[7]);
        const int qty = quint8(req[10]) << 8 | quint8(req[11]);
        QByteArray pdu;
        pdu.append(char(fn));
        if (fn == 3 || fn == 4) {
            pdu.append(char(2 * qty));
            for (int i = 0; i < qty; ++i) {
                quint16 w = quint16(0x5A5A >> (i & 1));
                if (fn == 4 && qty > 1 && i < 2)
                    w = quint16(i == 0 ? counterValue >> 16 : counterValue);
                pdu.append(char(w >> 8));
                pdu.append(char(w));
            }
        } else {
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
                const QByteArray req = in.mid(at, 6 + len);
                at += 6 + len;
                quint32 value = 0;
                if (quint8(req[7]) == 4 && (quint8(req[10]) << 8 | quint8(req[11])) > 1)
                    value = ++countersReplies;
                out += reply(req, value);
                ++replies;
            }
            in.remove(0, at);
            if (!out.isEmpty() && ::send(c, out.constData(), size_t(out.size()), MSG_NOSIGNAL) < 0)
                break;
            out.clear();
        }
        ::close(c);
    }
};

double percentile(std::vector<qint64> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[size_t(p * double(v.size() - 1))]) / 1e6;
}

void run(bool report, int seconds) {
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    form.cb_report->setChecked(report);
    form.co_device->setCurrentIndex(7); // "16In/Out"
    form.co_deviceChange();
    form.co_mode->setCurrentIndex(modeModbus);
    form.co_modeChange();
    Device device;
    form.ed_ip->setText(QStringLiteral("127.0.0.1"));
    form.ed_tcpmodbusport->setText(QString::number(device.port));
    form.bt_connectmodbus->click();
    ModbusChannel &m = *form.modbusChannel;
    QElapsedTimer wait;
    wait.start();
    while (m.ws_modbus->State() != wsConnected || device.replies < 3) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (wait.elapsed() > 5000) {
            std::printf("could not connect\n");
            return;
        }
    }

    // Get All on "auto" at 1 ms, as the polling operation runs it.
    QTimer getAll;
    getAll.setInterval(1);
    qint64 ticks = 0;
    QObject::connect(&getAll, &QTimer::timeout, [&] {
        ++ticks;
        guard([&] {
            m.sendModbus(QStringLiteral("inputs"), QStringLiteral("get"), 0);
            m.sendModbus(QStringLiteral("outputs"), QStringLiteral("get"), 0);
            m.sendModbus(QStringLiteral("counters"), QStringLiteral("get"), 0);
        });
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

    const qint64 repliesAtStart = device.replies;
    const quint32 countersAtStart = device.countersReplies;
    QElapsedTimer clock;
    qint64 ran = 0;
    // Stop polling after the run, then wait for the replies still on their
    // way (the window's counter 0 catches up with the device's count).
    QTimer finish;
    finish.setInterval(1);
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (getAll.isActive() && clock.elapsed() >= seconds * 1000LL) {
            getAll.stop();
            probe.stop();
            ran = clock.nsecsElapsed();
        }
        if (!getAll.isActive() &&
            (form.io.counters[0] == device.countersReplies || clock.elapsed() > seconds * 1000LL + 3000))
            QApplication::quit();
    });
    clock.start();
    sinceTick.start();
    probe.start();
    getAll.start();
    finish.start();
    QApplication::exec();
    const bool drained = form.io.counters[0] == device.countersReplies;
    if (!drained)
        std::fprintf(stderr, "decoded up to %u of %u counters replies\n", unsigned(form.io.counters[0]),
                     unsigned(device.countersReplies.load()));
    const double pairs = double(device.replies - repliesAtStart) / (double(ran) / 1e9);
    const double sequences = double(device.countersReplies - countersAtStart) / (double(ran) / 1e9);
    std::printf("| %s | %.0f | %.0f | %.0f | %.2f ms | %.2f ms | %.2f ms | %s |\n", report ? "on" : "off",
                pairs, double(ticks) / (double(ran) / 1e9), sequences, percentile(delays, 0.50),
                percentile(delays, 0.99), percentile(delays, 1.0), drained ? "yes" : "NO");
    std::fflush(stdout);
    m.ws_modbus->Close();
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    std::printf("Get All every 1 ms for %d s against a loopback device (ceiling 3,000 pairs/s)\n\n", seconds);
    std::printf(
        "| Write Report | pairs/s | timer ticks/s | Get All answered/s | delay p50 | delay p99 | delay max | "
        "all decoded |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const QByteArray which = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (which != "off")
        run(true, seconds);
    if (which != "on")
        run(false, seconds);
    return 0;
}
