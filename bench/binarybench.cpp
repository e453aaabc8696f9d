// Figures for the binary structure protocol.
//  - codec: structures decoded per second (RegState, AllCounter, Key with its
//    MD5), and bytes per second cut by the TCP stream framing;
//  - window: a device on 127.0.0.1 sends N Counter structures in one piece to
//    the real window (offscreen) in mode "TCP Binary Client"; prints how long
//    until the last one shows and the longest blocked pass of the event loop
//    (the largest gap between ticks of a 1 ms probe timer).
// Aims: the window keeps every pass under 50 ms however much arrives at once.
//
// Usage: binarybench [N]   (default 100000)
#include "app/tform1.h"
#include "core/guard.h"
#include "protocols/binary/binarycodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

QByteArray counterStructure(quint32 n) {
    QByteArray s = hex("0000 0000 B400 0E00 0100");
    for (int i = 0; i < 4; ++i)
        s += char((n >> (8 * i)) & 0xFF);
    return s;
}

void codecFigures() {
    const struct {
        const char *name;
        QByteArray bytes;
    } rows[] = {
        {"RegState", hex("0000 0000 3100 0E00 0000 0500 0200")},
        {"AllCounter (16)", hex("0000 0000 B500 4A00") + QByteArray(66, '\1')},
        {"Key (16 bytes) + MD5", hex("0000 0000 0380 1C00 1000 0000") + QByteArray(16, 'k')},
    };
    for (const auto &row : rows) {
        IoState io;
        const int n = 200000;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < n; ++i)
            binary::decode(row.bytes, io, 15, 15, "secret");
        std::printf("decode %-22s %8.0f structures/s\n", row.name, n / (t.nsecsElapsed() / 1e9));
    }
    QByteArray stream;
    for (int i = 0; i < 100000; ++i)
        stream += counterStructure(quint32(i));
    binary::StructureStream cutter;
    QElapsedTimer t;
    t.start();
    int count = 0;
    for (qsizetype at = 0; at < stream.size(); at += 4096) {
        cutter.append(stream.mid(at, 4096));
        while (cutter.next())
            ++count;
    }
    std::printf("stream framing              %8.1f MiB/s (%d structures)\n",
                stream.size() / (t.nsecsElapsed() / 1e9) / (1 << 20), count);
}

void windowFigures(int n) {
    QTemporaryDir dir;
    TForm1 w(dir.path() + '/');
    w.cb_autoclear->setChecked(false);
    QTcpServer device;
    device.listen(QHostAddress::LocalHost, 0);
    QByteArray flood;
    for (int i = 0; i < n; ++i)
        flood += counterStructure(quint32(i + 1));
    QTcpSocket *link = nullptr;
    QObject::connect(&device, &QTcpServer::newConnection, [&] {
        link = device.nextPendingConnection();
        QObject::connect(link, &QTcpSocket::readyRead, [&] {
            link->readAll();
            static bool sent = false;
            if (!sent) {
                sent = true;
                link->write(flood);
            }
        });
    });
    w.co_mode->setCurrentIndex(modeBinaryClient);
    w.co_modeChange();
    w.ed_ip->setText("127.0.0.1");
    w.co_tcpbinport->setEditText(QString::number(device.serverPort()));
    QTimer probe;
    QElapsedTimer sinceTick, total;
    qint64 longest = 0;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTick.elapsed());
        sinceTick.restart();
        if (w.io.counters[1] == quint32(n))
            qApp->quit();
    });
    total.start();
    sinceTick.start();
    probe.start();
    w.bt_connect_bin->click();
    QTimer::singleShot(60000, qApp, &QApplication::quit);
    qApp->exec();
    std::printf("window: %d Counter structures (%lld KiB) in one piece: all shown after %lld ms, "
                "longest pass %lld ms, %lld report lines\n",
                n, qint64(flood.size()) / 1024, qint64(total.elapsed()), longest,
                qint64(w.mm_report->lineCount()));
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? QString(argv[1]).toInt() : 100000;
    codecFigures();
    windowFigures(n);
    return 0;
}
