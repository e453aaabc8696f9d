// The window's timer model: 0 means no ticks, the same interval does not
// restart the count, switching on a running timer does not restart it, and a
// negative interval text is a conversion error.
#include "core/errors.h"
#include "core/timers.h"

#include <QSignalSpy>
#include <QtTest>

class TestTimers : public QObject {
    Q_OBJECT
private slots:
    void zeroMeansNoTicksUntilAnIntervalIsSet() {
        QTimer t;
        t.setInterval(200);
        enableTimer(&t, true);
        setTimerInterval(&t, 0);
        QVERIFY(!t.isActive()); // a running 0 ms QTimer would fire on every pass
        QVERIFY(timerEnabled(&t));
        enableTimer(&t, true);
        QVERIFY(!t.isActive());
        QSignalSpy ticks(&t, &QTimer::timeout);
        setTimerInterval(&t, 5);
        QVERIFY(t.isActive());
        QVERIFY(ticks.wait(1000));
        QCOMPARE(t.interval(), 5);
    }

    void switchedOffStaysOffAtAnyInterval() {
        QTimer t;
        t.setInterval(200);
        enableTimer(&t, false);
        setTimerInterval(&t, 0);
        setTimerInterval(&t, 50);
        QVERIFY(!t.isActive());
        QVERIFY(!timerEnabled(&t));
    }

    void sameIntervalOrEnablingAgainDoesNotRestart() {
        QTimer t;
        t.setInterval(1000);
        enableTimer(&t, true);
        QTRY_VERIFY(t.remainingTime() < 900);
        setTimerInterval(&t, 1000);
        enableTimer(&t, true);
        QVERIFY(t.remainingTime() < 900);
        setTimerInterval(&t, 999); // a new interval starts a new count
        QVERIFY(t.remainingTime() > 900);
        QVERIFY(t.isActive());
    }

    void intervalTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval"); // -1: conversion error
        QTest::newRow("decimal") << "1000" << 1000;
        QTest::newRow("leading zero") << "05" << 5;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-5" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("letters") << "2x" << -1;
        QTest::newRow("beyond 32 bits") << "4294967296" << -1;
    }
    void intervalTexts() {
        QFETCH(QString, text);
        QFETCH(int, interval);
        QTimer t;
        t.setInterval(200);
        enableTimer(&t, true);
        if (interval < 0) {
            try {
                setTimerIntervalText(&t, text);
                QFAIL("no conversion error");
            } catch (const EConvertError &e) {
                QCOMPARE(e.message(), "'" + text + "' ist kein gültiger Integerwert");
            }
            QCOMPARE(t.interval(), 200);
            QVERIFY(t.isActive());
        } else {
            setTimerIntervalText(&t, text);
            QCOMPARE(t.interval(), interval);
            QCOMPARE(t.isActive(), interval > 0);
        }
    }
};

QTEST_MAIN(TestTimers)
#include "tst_timers.moc"
