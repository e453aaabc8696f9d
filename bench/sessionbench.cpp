// The window in long sessions against korvosim (on a thread of its own, on
// 127.0.0.1, every port chosen by the system):
//
//   sessionbench http SECONDS          mode HTTP, a request every 1 ms: requests and
//                                      complete responses per second, event-loop delay
//   sessionbench idle SECONDS          default settings, Modbus connected and left alone:
//                                      the UI thread's CPU time as % of a core
//   sessionbench poll SECONDS [FAULT]  Modbus Get All every 1 ms (FAULT as korvosim's
//                                      "--fault modbus=..."): every 10 s the pairs/s,
//                                      the worst delay and the resident memory
//   sessionbench soak SECONDS MODE [FAULT]
//                                      the window's own Get All "auto" at 1 ms in MODE
//                                      (http, tcp, udp, binary, binary-udp, modbus, snmp)
//                                      against the mode's service with FAULT: every 10 s
//                                      the worst delay, the resident memory, the pane's lines
//   sessionbench start NS              NS: the wall clock (ns since the epoch) just before
//                                      the program was started; prints the time until the
//                                      window is exposed (run under Xvfb with -platform xcb)
//
// The delay is how late a 1 ms probe timer fires.
#include "app/tform1.h"
#include "core/guard.h"
#include "net/twsocket.h"
#include "protocols/http/httpchannel.h"
#include "protocols/http/httpcodec.h"
#include "protocols/modbus/modbuschannel.h"
#include "simulator.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

class SimThread : public QThread {
public:
    QString service = QStringLiteral("modbus"); // the service the fault is on
    QString fault;
    std::atomic<bool> ready{false};
    std::atomic<bool> failed{false};
    QMap<QString, quint16> ports; // every service's; written before ready is set, read after

protected:
    void run() override {
        sim::SimOptions o = sim::SimOptions::forTest();
        o.tickMs = 500; // the inputs move, as a device's do
        QString error;
        if (!fault.isEmpty() && !o.faults[service].parse(fault, &error)) {
            failed = true;
            return;
        }
        sim::Simulator device(o);
        if (!device.start(&error)) {
            failed = true;
            return;
        }
        for (const sim::ServiceInfo &info : sim::Simulator::services())
            ports[info.name] = device.port(info.name);
        ready = true;
        exec();
    }
};

struct Device {
    SimThread thread;
    explicit Device(const QString &fault = {}, const QString &service = QStringLiteral("modbus")) {
        thread.service = service;
        thread.fault = fault;
        thread.start();
        while (!thread.ready && !thread.failed)
            QThread::msleep(1);
        if (thread.failed)
            qFatal("korvosim did not start");
    }
    ~Device() {
        thread.quit();
        thread.wait();
    }
};

struct DelayProbe {
    std::vector<qint64> delays;
    QElapsedTimer since;
    QTimer timer;
    DelayProbe() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            delays.push_back(qMax<qint64>(0, since.nsecsElapsed() - 1'000'000));
            since.restart();
        });
        since.start();
        timer.start();
    }
    double percentile(double p) const {
        if (delays.empty())
            return 0;
        std::vector<qint64> v = delays;
        std::sort(v.begin(), v.end());
        return double(v[size_t(p * double(v.size() - 1))]) / 1e6;
    }
};

qint64 residentKiB() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void runFor(int ms) {
    QTimer::singleShot(ms, qApp, &QApplication::quit);
    QApplication::exec();
}

void pick(TForm1 &form, int mode) {
    form.co_device->setCurrentIndex(7); // "16In/Out"
    form.co_deviceChange();
    form.co_mode->setCurrentIndex(mode);
    form.co_modeChange();
    form.ed_ip->setText(QStringLiteral("127.0.0.1"));
}

bool connectModbus(TForm1 &form, quint16 port) {
    form.ed_tcpmodbusport->setText(QString::number(port));
    form.bt_connectmodbus->click();
    QElapsedTimer wait;
    wait.start();
    while (form.modbusChannel->ws_modbus->State() != wsConnected) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (wait.elapsed() > 5000)
            return false;
    }
    return true;
}

int httpCase(int seconds) {
    Device device;
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    pick(form, modeHttp);
    form.ed_httpport->setText(QString::number(device.thread.ports.value("web")));
    // A response is complete when its connection closes after data came.
    std::array<bool, 11> gotData{};
    qint64 complete = 0;
    for (size_t i = 0; i < form.httpSockets.size(); ++i) {
        TWSocket *s = form.httpSockets[i];
        auto data = s->OnDataAvailable;
        s->OnDataAvailable = [&, data, i](TWSocket *sock, quint16 e) {
            gotData[i] = true;
            data(sock, e);
        };
        auto closed = s->OnSessionClosed;
        s->OnSessionClosed = [&, closed, i](TWSocket *sock, quint16 e) {
            if (gotData[i])
                ++complete;
            gotData[i] = false;
            closed(sock, e);
        };
    }
    form.bt_httpstart->click(); // the first request
    qint64 sent = 1;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        guard([&] {
            form.httpRequestPaths[size_t(form.httpSlot)] = http::readAll(form.ed_password->text());
            form.httpChannel->sendHTTP();
        });
        ++sent;
    });
    DelayProbe probe;
    QElapsedTimer clock;
    clock.start();
    tick.start();
    runFor(seconds * 1000);
    const double s = double(clock.nsecsElapsed()) / 1e9;
    std::printf("http %.0f %.0f %.2f %.2f %.2f\n", double(sent) / s, double(complete) / s,
                probe.percentile(0.5), probe.percentile(0.99), probe.percentile(1.0));
    return 0;
}

int idleCase(int seconds) {
    Device device;
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    pick(form, modeModbus);
    if (!connectModbus(form, device.thread.ports.value("modbus")))
        return 1;
    runFor(500); // the session start settles
    const double cpu0 = threadCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runFor(seconds * 1000);
    const double cpu = threadCpuSeconds() - cpu0;
    std::printf("idle %.3f\n", 100.0 * cpu / (double(clock.nsecsElapsed()) / 1e9));
    return 0;
}

int pollCase(int seconds, const QString &fault) {
    Device device(fault);
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    form.cb_report->setChecked(true);
    pick(form, modeModbus);
    if (!connectModbus(form, device.thread.ports.value("modbus")))
        return 1;
    ModbusChannel &m = *form.modbusChannel;
    quint16 lastTid = m.modbusTransactionId;
    qint64 requests = 0;
    QTimer getAll;
    getAll.setInterval(1);
    QObject::connect(&getAll, &QTimer::timeout, [&] {
        guard([&] {
            m.sendModbus(QStringLiteral("inputs"), QStringLiteral("get"), 0);
            m.sendModbus(QStringLiteral("outputs"), QStringLiteral("get"), 0);
            m.sendModbus(QStringLiteral("counters"), QStringLiteral("get"), 0);
        });
        requests += quint16(m.modbusTransactionId - lastTid);
        lastTid = m.modbusTransactionId;
    });
    std::printf("poll start %lld KiB\n", static_cast<long long>(residentKiB()));
    std::fflush(stdout);
    getAll.start();
    const int step = qMin(10, seconds);
    for (int t = 0; t < seconds; t += step) {
        DelayProbe probe;
        const qint64 before = requests;
        runFor(step * 1000);
        std::printf("poll %d s: %.0f pairs/s, delay p99 %.2f ms, max %.2f ms, %lld KiB, %lld pane lines\n",
                    t + step, double(requests - before) / step, probe.percentile(0.99), probe.percentile(1.0),
                    static_cast<long long>(residentKiB()),
                    static_cast<long long>(form.mm_report->lineCount()));
        std::fflush(stdout);
    }
    getAll.stop();
    m.ws_modbus->Close();
    return 0;
}

// A local UDP port nobody holds.
quint16 freeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

struct SoakMode {
    const char *name;
    int mode;
    const char *service; // korvosim's service the mode talks to
};
constexpr SoakMode soakModes[] = {
    {"http", modeHttp, "web"},
    {"tcp", modeTcpClient, "ascii-tcp"},
    {"udp", modeUdpPeer, "ascii-udp"},
    {"binary", modeBinaryClient, "binary-tcp"},
    {"binary-udp", modeBinaryUdp, "binary-udp"},
    {"modbus", modeModbus, "modbus"},
    {"snmp", modeSnmp, "snmp"},
};

// Opens the mode's channel as a user does: its ports, then its button.
void openChannel(TForm1 &form, int mode, const QMap<QString, quint16> &ports) {
    const auto port = [&](const char *service) { return QString::number(ports.value(service)); };
    switch (mode) {
    case modeHttp:
        form.ed_httpport->setText(port("web"));
        form.bt_httpstart->click();
        break;
    case modeTcpClient:
        form.ed_tcpasciiport->setText(port("ascii-tcp"));
        form.bt_connect->click();
        break;
    case modeUdpPeer:
        form.ed_udplocalport->setText(QString::number(freeUdpPort()));
        form.ed_udpremoteport->setText(port("ascii-udp"));
        form.bt_bind->click();
        break;
    case modeBinaryClient:
        form.co_tcpbinport->setEditText(port("binary-tcp"));
        form.bt_connect_bin->click();
        break;
    case modeBinaryUdp:
        form.co_udplocalportbin->setEditText(QString::number(freeUdpPort()));
        form.co_udpremoteportbin->setEditText(port("binary-udp"));
        form.bt_bindbin->click();
        break;
    case modeModbus:
        form.ed_tcpmodbusport->setText(port("modbus"));
        form.bt_connectmodbus->click();
        break;
    case modeSnmp:
        form.co_udplocalportsnmp->setEditText(QString::number(freeUdpPort()));
        form.ed_udpremoteportsnmp->setText(port("snmp"));
        form.bt_bindsnmp->click();
        break;
    default: break;
    }
}

// Counts the message boxes a run would have shown, and says them on stderr.
struct CountingDialogs : Dialogs {
    long long count = 0;
    void showMessage(const QString &text) override {
        ++count;
        std::fprintf(stderr, "dialog: %s\n", qPrintable(text));
    }
};

int soakCase(int seconds, const QByteArray &modeName, const QString &fault) {
    const SoakMode *chosen = nullptr;
    for (const SoakMode &m : soakModes)
        if (modeName == m.name)
            chosen = &m;
    if (!chosen) {
        std::fprintf(stderr, "sessionbench soak: unknown mode %s\n", modeName.constData());
        return 2;
    }
    Device device(fault, QString::fromLatin1(chosen->service));
    CountingDialogs dialogs;
    setDialogs(&dialogs);
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    form.cb_report->setChecked(true);
    pick(form, chosen->mode);
    guard([&] { openChannel(form, chosen->mode, device.thread.ports); });
    runFor(500); // the session starts (or fails to, as the fault makes it)
    std::printf("soak %s start %lld KiB\n", chosen->name, static_cast<long long>(residentKiB()));
    std::fflush(stdout);
    // The window's own polling: Get All's "auto" at 1 ms.
    form.ed_intervalall->setText(QStringLiteral("1"));
    form.cb_autoall->setChecked(true);
    const int step = qMin(10, seconds);
    for (int t = 0; t < seconds; t += step) {
        DelayProbe probe;
        runFor(step * 1000);
        std::printf("soak %s %d s: delay p99 %.2f ms, max %.2f ms, %lld KiB, %lld pane lines, %lld dialogs\n",
                    chosen->name, t + step, probe.percentile(0.99), probe.percentile(1.0),
                    static_cast<long long>(residentKiB()),
                    static_cast<long long>(form.mm_report->lineCount()), dialogs.count);
        std::fflush(stdout);
    }
    form.cb_autoall->setChecked(false);
    form.closeAll();
    setDialogs(nullptr);
    return 0;
}

int startCase(qint64 startedNs) {
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 5000))
        return 1;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    std::printf("start %.1f\n", double(now) - double(startedNs) / 1e6);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty() && !(argc > 1 && QByteArray(argv[1]) == "start"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray what = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const int seconds = argc > 2 ? qMax(1, atoi(argv[2])) : 5;
    if (what == "http")
        return httpCase(seconds);
    if (what == "idle")
        return idleCase(seconds);
    if (what == "poll")
        return pollCase(seconds, argc > 3 ? QString::fromLatin1(argv[3]) : QString());
    if (what == "soak" && argc > 3)
        return soakCase(seconds, QByteArray(argv[3]), argc > 4 ? QString::fromLatin1(argv[4]) : QString());
    if (what == "start" && argc > 2)
        return startCase(QByteArray(argv[2]).toLongLong());
    std::fprintf(stderr, "usage: sessionbench http|idle|poll SECONDS [FAULT] | soak SECONDS MODE [FAULT] | "
                         "start NS\n");
    return 2;
}
