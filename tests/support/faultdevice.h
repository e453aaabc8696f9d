#pragma once
// korvosim in-process with one service misbehaving, for the tests that run the
// window against a faulty device: the fault list as given to "--fault".
#include "app/iodisplay.h"
#include "app/tform1.h"
#include "simulator.h"

#include <QtTest>
#include <algorithm>
#include <memory>

inline std::unique_ptr<sim::Simulator> startFaulty(const QString &service, const QString &faults,
                                                   sim::SimOptions options = sim::SimOptions::forTest()) {
    QString error;
    if (!faults.isEmpty() && !options.faults[service].parse(faults, &error))
        qFatal("%s", qPrintable(error));
    auto device = std::make_unique<sim::Simulator>(options);
    if (!device->start(&error))
        qFatal("%s", qPrintable(error));
    return device;
}

// The columns every fault table has: the fault list and what the window is
// left with.
inline void faultColumns() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("ending");
}

// Runs a reconnect timer's next tick in 20 ms instead of seconds, once: the
// interval is put back as the tick runs, so a device that keeps refusing is
// retried at the tool's own pace afterwards.
inline void tickSoonerOnce(QTimer *timer) {
    const int interval = timer->interval();
    QObject::connect(
        timer, &QTimer::timeout, timer, [timer, interval] { timer->setInterval(interval); },
        Qt::SingleShotConnection);
    timer->start(20);
}

// The faulty device is set up with inputs 0 and 2 on: true when the window
// shows exactly that for the first three inputs.
inline bool inputsShown(TForm1 &w) {
    return w.display->inputLamps[0]->color() == lampOnColor &&
           w.display->inputLamps[2]->color() == lampOnColor &&
           w.display->inputLamps[1]->color() == lampOffColor;
}

// How many report lines start with prefix.
inline int linesStarting(TForm1 &w, const QString &prefix) {
    const QStringList lines = w.reportLines();
    return int(
        std::count_if(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(prefix); }));
}
