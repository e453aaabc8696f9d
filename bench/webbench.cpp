// Throughput of the HTTP and REST reply readers, and the window against a
// device whose HTTP response is 10 MB of text.
//
//  - scanner: http::StateLineScanner over 10 MB in 16 KiB chunks (what one
//    ReceiveStr returns at most), lines of 64 characters, the state line last;
//  - rest: rest::readReply over a 4 MiB body of 65,536 entries;
//  - window: mode HTTP, Start, a device thread answers with the 10 MB response
//    and closes; prints the time until the state shows and the longest blocked
//    pass of the event loop (the largest gap between ticks of a 1 ms timer).
// Aims: readers above 100 MB/s; the window done in seconds, no pass over 50 ms.
#include "app/tform1.h"
#include "core/guard.h"
#include "protocols/http/httpchannel.h"
#include "protocols/http/httpcodec.h"
#include "protocols/rest/restcodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray response(qsizetype total) {
    QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
    const QByteArray line = QByteArray(62, 'x') + "\r\n";
    while (out.size() + line.size() < total)
        out += line;
    return out + "input;0005;output;0003;counter;1234;99\r\n";
}

double mbPerSecond(qsizetype bytes, qint64 ns) { return double(bytes) / 1e6 / (double(ns) / 1e9); }

void scannerCase(const QByteArray &bytes) {
    const QString text = QString::fromLatin1(bytes);
    http::StateLineScanner scanner;
    QElapsedTimer t;
    t.start();
    QString last;
    for (qsizetype at = 0; at < text.size(); at += 16 * 1024)
        if (const auto line = scanner.feed(text.mid(at, 16 * 1024)))
            last = *line;
    const qint64 ns = t.nsecsElapsed();
    std::printf("scanner: %.1f MB in %.1f ms, %.0f MB/s, state line %s\n", double(text.size()) / 1e6,
                double(ns) / 1e6, mbPerSecond(text.size(), ns),
                last.startsWith("input;0005") ? "found" : "LOST");
}

void restCase() {
    QString body = QStringLiteral("{\r\n\"counter\": [\r\n");
    for (int i = 0; i < 65536; ++i)
        body += QStringLiteral("{\r\n\"number\": %1,\r\n\"state\": %2\r\n},\r\n").arg(i % 24).arg(i);
    body += "]\r\n}\r\n";
    IoState io;
    QElapsedTimer t;
    t.start();
    const QStringList errors = rest::readReply(body, io);
    const qint64 ns = t.nsecsElapsed();
    std::printf("rest: %.1f MB in %.1f ms, %.0f MB/s, %lld conversion lines\n", double(body.size()) / 1e6,
                double(ns) / 1e6, mbPerSecond(body.size(), ns), qlonglong(errors.size()));
}

void windowCase(const QByteArray &bytes) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    std::thread device([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        char request[512];
        (void)::recv(fd, request, sizeof request, 0);
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            at += n;
        }
        ::close(fd);
    });

    QTemporaryDir dir;
    TForm1 w(dir.path() + QLatin1Char('/'));
    w.co_device->setCurrentIndex(1);
    w.co_deviceChange();
    w.ed_ip->setText("127.0.0.1");
    w.ed_httpport->setText(QString::number(ntohs(a.sin_port)));
    QElapsedTimer clock, sinceTick;
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTick.elapsed());
        sinceTick.restart();
    });
    clock.start();
    sinceTick.start();
    probe.start();
    if (qEnvironmentVariableIsSet("NOREPORT"))
        w.cb_report->setChecked(false);
    w.httpChannel->bt_httpstartClick();
    while (w.io.counters[1] != 99 && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 ms = clock.elapsed();
    device.join();
    ::close(listener);
    std::printf("window: %.1f MB response, state shown after %lld ms, longest pass %lld ms, %s\n",
                double(bytes.size()) / 1e6, qlonglong(ms), qlonglong(longest),
                w.io.counters[1] == 99 && w.io.counters[0] == 1234 ? "state right" : "STATE WRONG");
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray bytes = response(10'000'000);
    scannerCase(bytes);
    restCase();
    windowCase(bytes);
    return 0;
}
