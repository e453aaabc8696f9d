#pragma once
// A timer that runs on every pass of the event loop, counting the passes and
// noting the longest wait between two of them: a blocked loop shows as a long
// wait, work done in one go as few passes.
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

// The longest wait a test accepts. Work that is not split up blocks for
// seconds here (a flood of a MiB took over 3 s in one pass); the bound is loose
// so that a loaded or sanitized build never fails it. The figures themselves
// are measured by bench/floodbench.
constexpr qint64 blockedPassLimitMs = 500;

struct LoopProbe {
    QTimer timer;
    QElapsedTimer sinceTick;
    int ticks = 0;
    qint64 longestMs = 0;
    LoopProbe() {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            ++ticks;
            longestMs = qMax(longestMs, sinceTick.elapsed());
            sinceTick.restart();
        });
        sinceTick.start();
        timer.start();
    }
    // Waits until the loop has run n more passes: a quiet device is waited
    // for by passes, so whatever it sent meanwhile has been read.
    bool morePasses(int n) {
        const int from = ticks;
        return QTest::qWaitFor([&] { return ticks > from + n; });
    }
};
