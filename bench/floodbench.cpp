// How the window holds up against a device that floods it.
//
// Each case replays one flood against the real window (offscreen) on
// 127.0.0.1: a device thread sends its payload as fast as the tool reads it,
// right after the tool's first command. Each case runs twice, each time in a
// child process of its own so that its peak memory is its own:
//  - "flood": the whole payload; prints the longest blocked pass of the event
//    loop (the largest gap between ticks of a 1 ms probe timer) and the peak
//    resident memory;
//  - "disconnect": a click on the mode's Connect/Bind button is posted when
//    half the payload is sent; prints how long it took to take effect.
// Aims: no pass over 50 ms, Disconnect effective within 100 ms, peak memory
// under 300 MiB in every case.
//
// Usage: floodbench            (all cases, a table)
//        floodbench CASE RUN   (one case, RUN = flood | disconnect)
#include "app/tform1.h"
#include "core/guard.h"
#include "net/twsocket.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciiudppeer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Case {
    const char *name;
    bool udp;
    QByteArray payload;
    bool autoclear;
    bool report;
};

QByteArray repeat(const QByteArray &unit, qsizetype total) {
    QByteArray out;
    out.reserve(total);
    while (out.size() + unit.size() <= total)
        out += unit;
    return out;
}

QList<Case> cases() {
    const qsizetype MiB = 1 << 20;
    return {
        {"TCP, 2 MiB of NUL bytes", false, QByteArray(2 * MiB, '\0'), false, true},
        {"TCP, 8 MiB of NUL bytes, Autoclear", false, QByteArray(8 * MiB, '\0'), true, true},
        {"TCP, 8 MiB of \"output;1\" NUL replies", false, repeat(QByteArray("output;1", 9), 8 * MiB), false,
         true},
        {"TCP, 2 MiB of NULs, Write Report off", false, QByteArray(2 * MiB, '\0'), false, false},
        {"UDP, 2 MiB of NULs in 64 KiB datagrams", true, QByteArray(2 * MiB, '\0'), false, true},
    };
}

qint64 peakKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

int bound(int type, quint16 &port) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// The flooding device: waits for the tool's first command, then sends.
struct Device {
    std::atomic<qint64> sent{0};
    std::atomic<bool> done{false};
    std::thread thread;
    int fd = -1;

    // Wakes a device still waiting for the tool, then waits for it.
    void stop() {
        ::shutdown(fd, SHUT_RDWR);
        thread.join();
    }

    void runTcp(int listener, const QByteArray &payload) {
        fd = listener;
        ::listen(listener, 1);
        thread = std::thread([this, listener, &payload] {
            const int c = ::accept(listener, nullptr, nullptr);
            char buf[256];
            if (c >= 0 && ::recv(c, buf, sizeof buf, 0) > 0) {
                for (qsizetype at = 0; at < payload.size();) {
                    const ssize_t n =
                        ::send(c, payload.constData() + at,
                               size_t(qMin<qsizetype>(65536, payload.size() - at)), MSG_NOSIGNAL);
                    if (n <= 0)
                        break; // the tool closed the connection
                    at += n;
                    sent = at;
                }
            }
            done = true;
            if (c >= 0)
                ::close(c);
        });
    }

    void runUdp(int udp, const QByteArray &payload) {
        fd = udp;
        thread = std::thread([this, udp, &payload] {
            char buf[256];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            if (::recvfrom(udp, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len) > 0) {
                for (qsizetype at = 0; at < payload.size();) {
                    const qsizetype n = qMin<qsizetype>(65507, payload.size() - at);
                    ::sendto(udp, payload.constData() + at, size_t(n), 0, reinterpret_cast<sockaddr *>(&from),
                             len);
                    at += n;
                    sent = at;
                    // Datagrams a little apart, so that most of them are read
                    // rather than dropped by the receive buffer.
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            }
            done = true;
        });
    }
};

int runCase(const Case &c, bool disconnect) {
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    form.cb_report->setChecked(c.report);
    form.cb_autoclear->setChecked(c.autoclear);
    form.cb_reconnect->setChecked(false);
    form.ed_ip->setText(QStringLiteral("127.0.0.1"));
    QApplication::processEvents();

    Device device;
    quint16 devicePort = 0;
    TWSocket *socket;
    QAbstractButton *button;
    if (c.udp) {
        const int fd = bound(SOCK_DGRAM, devicePort);
        quint16 local = 0;
        ::close(bound(SOCK_DGRAM, local));
        form.co_mode->setCurrentIndex(modeUdpPeer);
        form.co_modeChange(); // a selection by the program runs no handler
        form.ed_udpremoteport->setText(QString::number(devicePort));
        form.ed_udplocalport->setText(QString::number(local));
        socket = form.asciiUdp->ws_udp;
        button = form.bt_bind;
        device.runUdp(fd, c.payload);
    } else {
        const int fd = bound(SOCK_STREAM, devicePort);
        form.co_mode->setCurrentIndex(modeTcpClient);
        form.co_modeChange();
        form.ed_tcpasciiport->setText(QString::number(devicePort));
        socket = form.asciiClient->ws_io;
        button = form.bt_connect;
        device.runTcp(fd, c.payload);
    }

    QElapsedTimer clock, sinceTick, sincePost, quiet;
    qint64 longest = 0, effective = -1, lastSent = -1;
    bool posted = false;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
        if (disconnect && !posted && device.sent >= c.payload.size() / 2) {
            posted = true;
            sincePost.start();
            QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        }
        if (posted && effective < 0 && socket->State() == wsClosed) {
            effective = sincePost.nsecsElapsed();
            QApplication::quit();
        }
        if (!disconnect && device.done) {
            // The flood is over once the connection is closed (TCP) or
            // nothing more has come for a while (UDP), and the pane has
            // caught up with it.
            if (device.sent != lastSent) {
                lastSent = device.sent;
                quiet.start();
            }
            const bool drained = c.udp ? quiet.elapsed() > 500 : socket->State() == wsClosed;
            if (drained && form.mm_report->lineCount() ==
                               (form.mm_report->lineCount() ? form.mm_report->document()->blockCount() : 0))
                QApplication::quit();
        }
        if (clock.elapsed() > 120000)
            QApplication::quit();
    });
    clock.start();
    sinceTick.start();
    probe.start();
    button->click();
    QApplication::exec();
    if (!disconnect) {
        std::printf("%.1f %lld %lld %lld\n", longest / 1e6, static_cast<long long>(peakKiB() / 1024),
                    static_cast<long long>(device.sent.load()),
                    static_cast<long long>(form.mm_report->lineCount()));
    } else {
        std::printf("%.1f\n", effective < 0 ? -1.0 : effective / 1e6);
    }
    if (socket->State() != wsClosed)
        socket->Close();
    device.stop();
    ::close(device.fd);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (argc == 3) {
        QApplication app(argc, argv);
        const QList<Case> all = cases();
        const int i = atoi(argv[1]);
        if (i < 0 || i >= all.size())
            return 2;
        return runCase(all[i], QByteArray(argv[2]) == "disconnect");
    }
    QCoreApplication app(argc, argv);
    const QList<Case> all = cases();
    std::printf("| a device sends | longest blocked pass | Disconnect takes effect | peak memory | pane "
                "lines kept |\n");
    std::printf("|---|---|---|---|---|\n");
    for (int i = 0; i < all.size(); ++i) {
        auto run = [&](const char *what) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(), {QString::number(i), QLatin1String(what)});
            p.waitForFinished(180000);
            return QString::fromLatin1(p.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        };
        const QStringList flood = run("flood");
        const QStringList disc = run("disconnect");
        if (flood.size() < 4 || disc.isEmpty()) {
            std::printf("| %s | failed | | | |\n", all[i].name);
            continue;
        }
        std::printf("| %s | %s ms | %s ms | %s MiB | %s |\n", all[i].name, qPrintable(flood[0]),
                    qPrintable(disc[0]), qPrintable(flood[1]), qPrintable(flood[3]));
        std::fflush(stdout);
    }
    return 0;
}
