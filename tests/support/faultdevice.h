#pragma once
// korvosim in-process with one service misbehaving, for the tests that run the
// window against a faulty device: the fault list as given to "--fault".
#include "simulator.h"

#include <QtTest>
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
