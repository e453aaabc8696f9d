// The operations of "Get and Set" and of the I/O display: for every mode the
// sender they choose and its arguments (recorded), the automatic repetition,
// the alternation of Set and Reset, the go-round, single counters, and the
// ASCII modes end to end against scripted devices on 127.0.0.1.
#include "core/timers.h"
#include "formfixture.h"
#include "net/twsocket.h"
#include "ops/operations.h"
#include "peers.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"
#include "recordingsenders.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>

namespace {

using rec::ascii;
using rec::binary;
using rec::http;
using rec::modbus;
using rec::rest;
using rec::server;
using rec::snmp;
using rec::udp;

const QString unsupported = "**** Function not supported ****";

enum Device {
    noDeviceApplied = -1,
    oneInOneOut = 0,
    fourInOut = 2,
    twelveInTwelveOut = 5,
    sixteenInOut = 7,
    twentyFour = 8
};

QString modeName(int mode) {
    return mode == noMode ? QStringLiteral("no mode")
                          : QString::number(mode) + ' ' + operatingModeCaptions()[mode];
}

// A window whose operations record their calls instead of sending. The
// polling boxes are unticked, so only what a test does is recorded.
struct Recorded {
    FormFixture f;
    TForm1 &w;
    RecordingSenders senders;
    Recorded(int device, int mode) : w(f.form()), senders(w) {
        w.ops->setSenders(&senders);
        for (QCheckBox *box : {w.cb_autoall, w.cb_autoinputs, w.cb_autooutputs, w.cb_autocounter,
                               w.cb_autocounterclear, w.cb_autoset, w.cb_autogoround})
            box->setChecked(false);
        if (device != noDeviceApplied)
            pickDevice(w, device);
        if (mode == noMode)
            typeInto(w.co_mode, "none"); // typed text that is no mode
        else
            pickMode(w, mode);
        w.ed_password->setText("pw");
        w.clearReport();
    }
    QStringList take() {
        const QStringList calls = senders.calls;
        senders.calls.clear();
        return calls;
    }
};

void press(QWidget *target, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(3, 3), target->mapToGlobal(QPointF(3, 3)), button,
                      button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// The counter field at a column and row of the grid as it is laid out on
// screen, and the "Get" button to its right.
std::pair<CounterField *, QPushButton *> counterAt(TForm1 &w, int column, int row) {
    QList<CounterField *> fields = w.display->pa_co->findChildren<CounterField *>();
    std::sort(fields.begin(), fields.end(),
              [](QWidget *a, QWidget *b) { return std::pair(a->x(), a->y()) < std::pair(b->x(), b->y()); });
    CounterField *field = fields.at(4 * column + row);
    QPushButton *get = nullptr;
    for (QPushButton *b : w.display->pa_co->findChildren<QPushButton *>())
        if (b->y() >= field->y() - 2 && b->y() <= field->y() + 2 && b->x() > field->x() &&
            (!get || b->x() < get->x()))
            get = b;
    return {field, get};
}

QStringList repeat(const QString &call, int times) {
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << call;
    return list;
}

QStringList snmpCounters(const QString &method, int count) {
    QStringList list;
    for (int n = 1; n <= count; ++n)
        list << snmp("counter", method, n, 0);
    return list;
}

// The columns of a read operation's table.
void readColumns() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("byButton");
    QTest::addColumn<QStringList>("byTimer");
    QTest::addColumn<QStringList>("reportByButton");
}
void readRow(int mode, const QStringList &button, const QStringList &timer, const QStringList &report = {}) {
    QTest::newRow(qPrintable(modeName(mode))) << mode << button << timer << report;
}
// The four text modes take the same command: as a path in HTTP, as an ASCII
// command through the mode's own sender.
void textRows(const QString &command) {
    readRow(modeHttp, {http(command.mid(4))}, {http(command.mid(4))});
    readRow(modeTcpClient, {ascii(command)}, {ascii(command)});
    readRow(modeTcpServer, {server(command)}, {server(command)});
    readRow(modeUdpPeer, {udp(command)}, {udp(command)});
}
// The binary modes; the server mode sends by button only.
void binaryRows(const QString &call) {
    readRow(modeBinaryClient, {call}, {call});
    readRow(modeBinaryServer, {call}, {});
    readRow(modeBinaryUdp, {call}, {call});
}

// Runs one read operation by its button and by its timer (box ticked), and
// checks that the timer sends nothing with the box unticked.
void runRead(QPushButton *TForm1::*button, QCheckBox *TForm1::*box, void (Operations::*tick)()) {
    QFETCH(int, mode);
    QFETCH(QStringList, byButton);
    QFETCH(QStringList, byTimer);
    QFETCH(QStringList, reportByButton);
    Recorded r(twentyFour, mode);
    Operations *ops = r.w.ops;
    (r.w.*button)->click();
    QCOMPARE(r.take(), byButton);
    QCOMPARE(r.w.reportLines(), reportByButton);
    r.w.clearReport();
    (ops->*tick)();
    QCOMPARE(r.take(), QStringList{}); // box unticked
    (r.w.*box)->setChecked(true);
    (ops->*tick)();
    QCOMPARE(r.take(), byTimer);
    QCOMPARE(r.w.reportLines(), QStringList{});
    QCOMPARE(r.f.dialogs.messages, QStringList{});
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT
private slots:
    // ---- reads and counter clears: one table per operation, device "24I/24Out" ----

    void getAll_data() {
        readColumns();
        textRows("GET /allout?PW=pw&");
        readRow(modeRest, {rest("GET", "/rest/json")}, {rest("GET", "/rest/json/iostate")});
        binaryRows(binary("registerrequest", 0, 0));
        const QStringList modbusAll = {modbus("inputs", "get", 0), modbus("outputs", "get", 0),
                                       modbus("counters", "get", 0)};
        readRow(modeModbus, modbusAll, modbusAll);
        const QStringList snmpAll =
            QStringList{snmp("inputs", "get", 0, 0), snmp("outputs", "get", 0, 0)} + snmpCounters("get", 16);
        readRow(modeSnmp, snmpAll, snmpAll);
        readRow(noMode, {}, {});
    }
    void getAll() { runRead(&TForm1::bt_getall, &TForm1::cb_autoall, &Operations::ti_intervalallTimer); }

    void getInputs_data() {
        readColumns();
        textRows("GET /input?PW=pw&");
        readRow(modeRest, {rest("GET", "/rest/json/iostate/input")},
                {rest("GET", "/rest/json/iostate/input")});
        binaryRows(binary("readregister", 0, 0));
        readRow(modeModbus, {modbus("inputs", "get", 0)}, {modbus("inputs", "get", 0)});
        readRow(modeSnmp, {snmp("inputs", "get", 0, 0)}, {snmp("inputs", "get", 0, 0)});
        readRow(noMode, {}, {});
    }
    void getInputs() {
        runRead(&TForm1::bt_getinputs, &TForm1::cb_autoinputs, &Operations::ti_intervalinputsTimer);
    }

    void getOutputs_data() {
        readColumns();
        textRows("GET /output?PW=pw&");
        readRow(modeRest, {rest("GET", "/rest/json/iostate/output")},
                {rest("GET", "/rest/json/iostate/output")});
        binaryRows(binary("registerrequest", 0, 0));
        readRow(modeModbus, {modbus("outputs", "get", 0)}, {modbus("outputs", "get", 0)});
        readRow(modeSnmp, {snmp("outputs", "get", 0, 0)}, {snmp("outputs", "get", 0, 0)});
        readRow(noMode, {}, {});
    }
    void getOutputs() {
        runRead(&TForm1::bt_getoutputs, &TForm1::cb_autooutputs, &Operations::ti_intervalOutputsTimer);
    }

    void getAllCounters_data() {
        readColumns();
        textRows("GET /counter?PW=pw&");
        readRow(modeRest, {rest("GET", "/rest/json/iostate/counter")},
                {rest("GET", "/rest/json/iostate/counter")});
        binaryRows(binary("readallcounter", 0, 0));
        readRow(modeModbus, {modbus("counters", "get", 0)}, {modbus("counters", "get", 0)});
        readRow(modeSnmp, snmpCounters("get", 16), snmpCounters("get", 16));
        readRow(noMode, {}, {});
    }
    void getAllCounters() {
        runRead(&TForm1::bt_allcounter, &TForm1::cb_autocounter, &Operations::ti_intervalcounterTimer);
    }

    void clearAllCounters_data() {
        readColumns();
        textRows("GET /counterclear?PW=pw&");
        readRow(modeRest, {}, {}, {unsupported}); // by timer: not even the line
        binaryRows(binary("clearallcounter", 0, 0));
        readRow(modeModbus, {modbus("counters", "set", 0)}, {modbus("counters", "set", 0)});
        readRow(modeSnmp, snmpCounters("set", 16), snmpCounters("set", 16));
        readRow(noMode, {}, {});
    }
    void clearAllCounters() {
        runRead(&TForm1::bt_allcounterclear, &TForm1::cb_autocounterclear,
                &Operations::ti_intervalcounterclearTimer);
    }

    void httpStoresThePathAtTheSlotEvenWhenStopped() {
        FormFixture f;
        TForm1 &w = f.form();
        QVERIFY(!w.httpRunning);
        // Get All polls from start: its path lands in the current slot.
        QTRY_COMPARE(w.httpRequestPaths[w.httpSlot], QString("/allout?PW=&"));
        QCOMPARE(w.reportLines(), QStringList{}); // dropped by the stopped channel
    }

    // ---- the interval fields of the polling timers and the go-round ----

    void intervalFields_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("timer");
        QTest::newRow("all") << "ed_intervalall"
                             << "ti_intervalall";
        QTest::newRow("inputs") << "ed_intervalinputs"
                                << "ti_intervalinputs";
        QTest::newRow("outputs") << "ed_intervaloutputs"
                                 << "ti_intervalOutputs";
        QTest::newRow("counter") << "ed_intervalcounter"
                                 << "ti_intervalcounter";
        QTest::newRow("counter clear") << "ed_intervalcounterclear"
                                       << "ti_intervalcounterclear";
        QTest::newRow("go round") << "ed_autogoround"
                                  << "ti_goround";
    }
    void intervalFields() {
        QFETCH(QString, field);
        QFETCH(QString, timer);
        FormFixture f;
        auto *edit = f->findChild<QLineEdit *>(field);
        auto *t = f->findChild<QTimer *>(timer);
        QVERIFY(edit && t);
        edit->setText(""); // being edited: unchanged
        QCOMPARE(t->interval(), 200);
        QVERIFY(t->isActive());
        edit->setText("0"); // no ticks
        QVERIFY(!t->isActive());
        edit->setText("05");
        QCOMPARE(t->interval(), 5);
        QVERIFY(t->isActive());
        edit->setText("1000");
        QTRY_VERIFY(t->remainingTime() < 900);
        edit->setText("01000"); // the same interval: the count goes on
        QVERIFY(t->remainingTime() < 900);
        edit->setText("x7"); // pasted or from a configuration file
        edit->setText("-7");
        QCOMPARE(t->interval(), 1000);
        QVERIFY(t->isActive());
        QCOMPARE(f.dialogs.messages,
                 (QStringList{"'x7' ist kein gültiger Integerwert", "'-7' ist kein gültiger Integerwert"}));
        edit->clear();
        QTest::keyClicks(edit, "40"); // typed: "4", then "40"
        QCOMPARE(t->interval(), 40);
    }

    // ---- Set Output and Reset Output, device "12In/12Out" (all outputs "0FFF") ----

    void setAndReset_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QStringList>("set");
        QTest::addColumn<QStringList>("reset");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("report");
        const auto row = [](const char *name, int mode, const QString &mask, const QStringList &set,
                            const QStringList &reset, const QString &error = {},
                            const QStringList &report = {}) {
            QTest::newRow(name) << mode << mask << set << reset << error << report;
        };
        const QString setAll = "GET /outputaccess?PW=pw&Mask=0FFF&State=0FFF&";
        const QString resetAll = "GET /outputaccess?PW=pw&Mask=0FFF&State=0000&";
        row("0 HTTP", modeHttp, "", {http(setAll.mid(4))}, {http(resetAll.mid(4))});
        row("0 HTTP, mask typed", modeHttp, "0003", {http("/outputaccess?PW=pw&Mask=0003&State=0FFF&")},
            {http("/outputaccess?PW=pw&Mask=0003&State=0000&")});
        row("1 REST", modeRest, "", {}, {}, {}, {unsupported, unsupported});
        row("2 TCP Client", modeTcpClient, "", {ascii(setAll)}, {ascii(resetAll)});
        row("3 TCP Server", modeTcpServer, "", {server(setAll)}, {server(resetAll)});
        row("4 UDP Peer", modeUdpPeer, "", {udp(setAll)}, {udp(resetAll)});
        row("5 binary client", modeBinaryClient, "", {binary("setbit", 0xFFF, 0xFFF)},
            {binary("setbit", 0xFFF, 0)});
        row("5 binary client, mask typed", modeBinaryClient, "00f0", {binary("setbit", 0xF0, 0xFFF)},
            {binary("setbit", 0xF0, 0)});
        row("6 binary server", modeBinaryServer, "", {binary("setbit", 0xFFF, 0xFFF)},
            {binary("setbit", 0xFFF, 0)});
        row("7 binary UDP", modeBinaryUdp, "", {binary("setbit", 0xFFF, 0xFFF)},
            {binary("setbit", 0xFFF, 0)});
        row("8 Modbus, no mask", modeModbus, "0001", {modbus("outputs", "set", 0xFFF)},
            {modbus("outputs", "set", 0)});
        row("9 SNMP", modeSnmp, "00FF", {snmp("outputs", "set", 0xFF, 0xFFF)},
            {snmp("outputs", "set", 0xFF, 0)});
        row("9 SNMP, no default mask", modeSnmp, "", {}, {}, "'$' ist kein gültiger Integerwert");
        row("no mode", noMode, "", {}, {});
    }
    void setAndReset() {
        QFETCH(int, mode);
        QFETCH(QString, mask);
        QFETCH(QStringList, set);
        QFETCH(QStringList, reset);
        QFETCH(QString, error);
        QFETCH(QStringList, report);
        Recorded r(twelveInTwelveOut, mode);
        r.w.ed_setmask->setText(mask);
        r.w.ed_resetmask->setText(mask);
        r.w.bt_setoutput->click();
        QCOMPARE(r.take(), set);
        r.w.bt_resetoutput->click();
        QCOMPARE(r.take(), reset);
        QCOMPARE(r.w.reportLines(), report);
        QCOMPARE(r.f.dialogs.messages, (error.isEmpty() ? QStringList{} : QStringList{error, error}));
        QVERIFY(!r.w.nextIsSet); // the buttons leave the alternation alone
    }

    void stateTextsByProtocol_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("error");
        QTest::newRow("HTTP sends as typed")
            << int(modeHttp) << "" << QStringList{http("/outputaccess?PW=pw&Mask=0FFF&State=0FXG&")} << "";
        QTest::newRow("ASCII sends as typed")
            << int(modeUdpPeer) << "" << QStringList{udp("GET /outputaccess?PW=pw&Mask=0FFF&State=0FXG&")}
            << "";
        QTest::newRow("binary") << int(modeBinaryClient) << "" << QStringList{}
                                << "'$0FXG' ist kein gültiger Integerwert";
        QTest::newRow("binary, the mask first")
            << int(modeBinaryUdp) << "Z" << QStringList{} << "'$Z' ist kein gültiger Integerwert";
        QTest::newRow("Modbus") << int(modeModbus) << "" << QStringList{}
                                << "'$0FXG' ist kein gültiger Integerwert";
        QTest::newRow("SNMP") << int(modeSnmp) << "FF" << QStringList{}
                              << "'$0FXG' ist kein gültiger Integerwert";
    }
    void stateTextsByProtocol() {
        QFETCH(int, mode);
        QFETCH(QString, mask);
        QFETCH(QStringList, calls);
        QFETCH(QString, error);
        Recorded r(twelveInTwelveOut, mode);
        r.w.ed_setstate->setText("0FXG");
        r.w.ed_setmask->setText(mask);
        r.w.bt_setoutput->click();
        QCOMPARE(r.take(), calls);
        QCOMPARE(r.f.dialogs.messages, (error.isEmpty() ? QStringList{} : QStringList{error}));
    }

    // ---- the alternation of Set and Reset by ti_setoutput ----

    void alternation_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("calls"); // of three ticks, from program start (Reset due)
        QTest::addColumn<QStringList>("report");
        const QString s = "GET /outputaccess?PW=pw&Mask=00FF&State=0FFF&";
        const QString r = "GET /outputaccess?PW=pw&Mask=00FF&State=0000&";
        const auto row = [](int mode, const QStringList &calls, const QStringList &report = {}) {
            QTest::newRow(qPrintable(modeName(mode))) << mode << calls << report;
        };
        row(modeHttp, {http(r.mid(4)), http(s.mid(4)), http(r.mid(4))});
        row(modeRest, {}, repeat(unsupported, 3));
        row(modeTcpClient, {ascii(r), ascii(s), ascii(r)});
        row(modeTcpServer, {server(r), server(s), server(r)});
        row(modeUdpPeer, {udp(r), udp(s), udp(r)});
        const QString binSet = binary("setbit", 0xFF, 0xFFF), binReset = binary("setbit", 0xFF, 0);
        row(modeBinaryClient, {binReset, binSet, binReset});
        row(modeBinaryServer, {});
        row(modeBinaryUdp, {binReset, binSet, binReset});
        row(modeModbus,
            {modbus("outputs", "set", 0), modbus("outputs", "set", 0xFFF), modbus("outputs", "set", 0)});
        row(modeSnmp, {snmp("outputs", "set", 0xFF, 0), snmp("outputs", "set", 0xFF, 0xFFF),
                       snmp("outputs", "set", 0xFF, 0)});
        row(noMode, {});
    }
    void alternation() {
        QFETCH(int, mode);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, report);
        Recorded r(twelveInTwelveOut, mode);
        r.w.ed_setmask->setText("00FF");
        r.w.ed_resetmask->setText("00FF");
        r.w.ed_intervalset->setText("1000");
        r.w.ed_intervalreset->setText("300");
        r.w.cb_autoset->setChecked(true);
        const bool alternates = !calls.isEmpty();
        QList<int> intervals;
        for (int i = 0; i < 3; ++i) {
            r.w.ops->ti_setoutputTimer();
            intervals << r.w.ti_setoutput->interval();
        }
        QCOMPARE(r.take(), calls);
        QCOMPARE(r.w.reportLines(), report);
        QCOMPARE(r.w.nextIsSet, alternates); // three flips from false, or none
        // Each pattern is held for its own time; without flips the Reset
        // interval stays, as at program start.
        QCOMPARE(intervals, alternates ? (QList<int>{300, 1000, 300}) : (QList<int>{300, 300, 300}));
        QVERIFY(r.w.ti_setoutput->isActive());
    }

    void alternationUntickedOnlyFollowsTheSetInterval() {
        Recorded r(twelveInTwelveOut, modeTcpClient);
        r.w.ed_intervalset->setText("700");
        r.w.ops->ti_setoutputTimer();
        QCOMPARE(r.w.ti_setoutput->interval(), 700);
        QVERIFY(r.w.ti_setoutput->isActive());
        QCOMPARE(r.take(), QStringList{});
        QVERIFY(!r.w.nextIsSet);
    }

    void alternationSurvivesInvalidIntervals() {
        Recorded r(twelveInTwelveOut, modeTcpClient);
        r.w.cb_autoset->setChecked(true);
        r.w.ed_intervalreset->setText("250");
        // The set interval is read at every tick: empty, it is an error and
        // the timer runs on at its interval.
        r.w.ed_intervalset->clear();
        guard([&] { r.w.ops->ti_setoutputTimer(); });
        QCOMPARE(r.f.dialogs.messages, QStringList{"'' ist kein gültiger Integerwert"});
        QCOMPARE(r.w.ti_setoutput->interval(), 200);
        QVERIFY(r.w.ti_setoutput->isActive());
        QCOMPARE(r.take(), QStringList{});
        // The reset interval, empty when the Reset is due: the timer keeps
        // running, the Reset stays due.
        r.w.ed_intervalset->setText("900");
        r.w.ed_intervalreset->clear();
        guard([&] { r.w.ops->ti_setoutputTimer(); });
        QCOMPARE(r.f.dialogs.messages.size(), 2);
        QCOMPARE(r.f.dialogs.messages.last(), QString("'' ist kein gültiger Integerwert"));
        QVERIFY(r.w.ti_setoutput->isActive());
        QCOMPARE(r.take(), QStringList{});
        QVERIFY(!r.w.nextIsSet);
        r.w.ed_intervalreset->setText("250");
        r.w.ops->ti_setoutputTimer();
        QCOMPARE(r.take(), QStringList{ascii("GET /outputaccess?PW=pw&Mask=0FFF&State=0000&")});
        QCOMPARE(r.w.ti_setoutput->interval(), 250);
        QVERIFY(r.w.ti_setoutput->isActive());
    }

    // An interval of 0 silences the alternation; the next valid interval
    // typed into that field (or set by the configuration) wakes it.
    void alternationWakesFromIntervalZero_data() {
        QTest::addColumn<bool>("resetField");
        QTest::newRow("set interval 0") << false;
        QTest::newRow("reset interval 0") << true;
    }
    void alternationWakesFromIntervalZero() {
        QFETCH(bool, resetField);
        Recorded r(twelveInTwelveOut, modeTcpClient);
        QLineEdit *field = resetField ? r.w.ed_intervalreset : r.w.ed_intervalset;
        r.w.cb_autoset->setChecked(true);
        r.w.nextIsSet = !resetField; // the command whose hold is 0 comes next
        field->setText("0");
        r.w.ops->ti_setoutputTimer();
        QCOMPARE(r.take().size(), 1);
        QCOMPARE(r.w.ti_setoutput->interval(), 0);
        QVERIFY(!r.w.ti_setoutput->isActive());
        QVERIFY(timerEnabled(r.w.ti_setoutput));
        field->setText("-5"); // typing: nothing said, still silent
        field->setText("");
        QCOMPARE(r.w.ti_setoutput->interval(), 0);
        QVERIFY(r.f.dialogs.messages.isEmpty());
        field->setText("40");
        QCOMPARE(r.w.ti_setoutput->interval(), 40);
        QVERIFY(r.w.ti_setoutput->isActive());
        QSignalSpy ticks(r.w.ti_setoutput, &QTimer::timeout);
        QVERIFY(ticks.wait(2000));
        QCOMPARE(r.take().size(), 1); // the alternation goes on
    }

    void failingTimersShowOneBoxNotAStack() {
        FormFixture f;
        TForm1 &w = f.form();
        // A message box runs the event loop while it is open: the timers go
        // on ticking. Two timers fail at every tick here: the alternation
        // with an emptied set interval, the report autoclear with an emptied
        // line limit. A timer does not tick again inside its own handler, so
        // the other one's errors arrive while the first box is open.
        struct ModalDialogs : Dialogs {
            QStringList messages;
            std::function<void()> whileOpen;
            void showMessage(const QString &text) override {
                messages << text;
                if (whileOpen)
                    whileOpen();
            }
        } modal;
        setDialogs(&modal);
        int ticksWhileOpen = 0;
        modal.whileOpen = [&] {
            QSignalSpy alternation(w.ti_setoutput, &QTimer::timeout);
            QSignalSpy autoclear(w.ti_autoclear, &QTimer::timeout);
            (void)QTest::qWaitFor([&] { return alternation.count() + autoclear.count() >= 5; }, 5000);
            ticksWhileOpen = int(alternation.count() + autoclear.count());
        };
        w.ed_intervalset->setText("20");
        QTRY_COMPARE(w.ti_setoutput->interval(), 20);
        w.ti_autoclear->setInterval(20);
        w.ed_autoclear->clear();
        w.ed_intervalset->clear(); // both fail from now on
        QTRY_COMPARE(modal.messages.size(), 1);
        QVERIFY(ticksWhileOpen >= 5);
        QCOMPARE(modal.messages.size(), 1); // the errors inside the box opened none
        modal.whileOpen = nullptr;
        QTRY_VERIFY(modal.messages.size() >= 2); // closed, the next error shows again
        QCOMPARE(modal.messages.first(), QString("'' ist kein gültiger Integerwert"));
        setDialogs(&f.dialogs);
    }

    // ---- the lamp click, device "4In/Out", output 3 ----

    void lampToggles_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("calls");
        const auto row = [](const char *name, int mode, bool on, Qt::MouseButton button,
                            const QStringList &calls) {
            QTest::newRow(name) << mode << on << int(button) << calls;
        };
        const QString toggle = "GET /outputaccess3?PW=pw&State=TOGGLE&";
        row("0 HTTP", modeHttp, false, Qt::LeftButton, {http(toggle.mid(4))});
        row("0 HTTP, right", modeHttp, true, Qt::RightButton, {http(toggle.mid(4))});
        row("1 REST", modeRest, false, Qt::LeftButton,
            {rest("POST", "/rest/json/iostate/output/3", "Set=TOGGLE")});
        row("2 TCP Client", modeTcpClient, true, Qt::LeftButton, {ascii(toggle)});
        row("3 TCP Server", modeTcpServer, false, Qt::MiddleButton, {server(toggle)});
        row("4 UDP Peer", modeUdpPeer, false, Qt::LeftButton, {udp(toggle)});
        row("5 binary, off", modeBinaryClient, false, Qt::LeftButton, {binary("setbit", 8, 8)});
        row("5 binary, on", modeBinaryClient, true, Qt::LeftButton, {binary("setbit", 8, 0)});
        row("6 binary, off", modeBinaryServer, false, Qt::RightButton, {binary("setbit", 8, 8)});
        row("7 binary, on", modeBinaryUdp, true, Qt::LeftButton, {binary("setbit", 8, 0)});
        row("8 Modbus", modeModbus, true, Qt::LeftButton, {modbus("output", "set", 3)});
        row("9 SNMP left, off", modeSnmp, false, Qt::LeftButton, {snmp("output", "set", 4, 1)});
        row("9 SNMP left, on", modeSnmp, true, Qt::LeftButton, {snmp("output", "set", 4, 0)});
        row("9 SNMP right reads", modeSnmp, true, Qt::RightButton, {snmp("output", "get", 4, 1)});
        row("9 SNMP middle", modeSnmp, false, Qt::MiddleButton, {});
        row("no mode", noMode, false, Qt::LeftButton, {});
    }
    void lampToggles() {
        QFETCH(int, mode);
        QFETCH(bool, on);
        QFETCH(int, button);
        QFETCH(QStringList, calls);
        Recorded r(fourInOut, mode);
        r.w.io.outputs[3] = on ? 1 : 0;
        press(r.w.display->outputLamps[3], Qt::MouseButton(button));
        QCOMPARE(r.take(), calls);
    }

    void clicksBeyondTheDeviceSendNothing_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("index");
        QTest::newRow("4In/Out, ASCII, 5") << int(fourInOut) << int(modeTcpClient) << 5;
        QTest::newRow("4In/Out, binary, 7") << int(fourInOut) << int(modeBinaryUdp) << 7;
        QTest::newRow("4In/Out, Modbus, 15") << int(fourInOut) << int(modeModbus) << 15;
        QTest::newRow("no type applied yet, 1") << int(noDeviceApplied) << int(modeSnmp) << 1;
    }
    void clicksBeyondTheDeviceSendNothing() {
        QFETCH(int, device);
        QFETCH(int, mode);
        QFETCH(int, index);
        Recorded r(device, mode);
        press(r.w.display->outputLamps[index]);
        press(r.w.display->counterFields[index]);
        r.w.display->counterGetButtons[index]->click();
        QCOMPARE(r.take(), QStringList{}); // never output or counter 0 instead
        press(r.w.display->outputLamps[0]);
        QCOMPARE(r.take().size(), 1);
    }

    void setOption_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("calls");
        for (int mode = 0; mode < modeCount; ++mode) {
            const bool binaryMode =
                mode == modeBinaryClient || mode == modeBinaryServer || mode == modeBinaryUdp;
            QTest::newRow(qPrintable(modeName(mode)))
                << mode << (binaryMode ? QStringList{binary("options", 0, 0)} : QStringList{});
        }
    }
    void setOption() {
        QFETCH(int, mode);
        QFETCH(QStringList, calls);
        Recorded r(fourInOut, mode);
        r.w.bt_option->click();
        QCOMPARE(r.take(), calls);
    }

    // ---- the go-round, device "4In/Out": five steps ----

    void goround_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("calls");
        const QStringList words = {"0001", "0002", "0004", "0008", "0001"};
        const auto texts = [&](const std::function<QString(const QString &)> &call) {
            QStringList list;
            for (const QString &word : words)
                list << call("GET /outputaccess?PW=pw&State=" + word + "&");
            return list;
        };
        const auto numbers = [&](const std::function<QString(quint32)> &call) {
            QStringList list;
            for (const QString &word : words)
                list << call(word.toUInt(nullptr, 16));
            return list;
        };
        const auto row = [](int mode, const QStringList &calls) {
            QTest::newRow(qPrintable(modeName(mode))) << mode << calls;
        };
        row(modeHttp, texts([](const QString &c) { return http(c.mid(4)); }));
        QStringList restCalls;
        for (int step = 0; step < 5; ++step)
            restCalls << rest("POST", QString("/rest/json/iostate/output/%1").arg(step % 4), "Set=OFF")
                      << rest("POST", QString("/rest/json/iostate/output/%1").arg((step + 1) % 4), "Set=ON");
        row(modeRest, restCalls);
        row(modeTcpClient, texts(ascii));
        row(modeTcpServer, texts(server));
        row(modeUdpPeer, texts(udp));
        const auto binaryStep = [](quint32 w) { return binary("writeregister", w, 0); };
        row(modeBinaryClient, numbers(binaryStep));
        row(modeBinaryServer, numbers(binaryStep)); // the go-round also steps in this mode
        row(modeBinaryUdp, numbers(binaryStep));
        row(modeModbus, numbers([](quint32 w) { return modbus("outputs", "set", w); }));
        row(modeSnmp, numbers([](quint32 w) { return snmp("outputs", "set", 0xF, quint16(w)); }));
        row(noMode, {});
    }
    void goround() {
        QFETCH(int, mode);
        QFETCH(QStringList, calls);
        Recorded r(fourInOut, mode);
        for (int i = 0; i < 5; ++i)
            r.w.bt_goround->click();
        QCOMPARE(r.take(), calls);
    }

    void goroundWalksEveryOutputAndRestartsWithTheType() {
        Recorded r(twentyFour, modeTcpClient);
        for (int i = 0; i < 17; ++i)
            r.w.bt_goround->click();
        const QStringList calls = r.take();
        QCOMPARE(calls.size(), 17);
        QCOMPARE(calls[15], ascii("GET /outputaccess?PW=pw&State=8000&"));
        QCOMPARE(calls[16], ascii("GET /outputaccess?PW=pw&State=0001&"));
        r.w.bt_goround->click(); // at output 1 now
        pickDevice(r.w, oneInOneOut);
        r.take();
        r.w.bt_goround->click();
        r.w.bt_goround->click();
        QCOMPARE(r.take(), repeat(ascii("GET /outputaccess?PW=pw&State=0001&"), 2));
        pickMode(r.w, modeRest);
        r.w.bt_goround->click();
        QCOMPARE(r.take(), (QStringList{rest("POST", "/rest/json/iostate/output/0", "Set=OFF"),
                                        rest("POST", "/rest/json/iostate/output/0", "Set=ON")}));
    }

    void goroundTimerStepsWhileTicked() {
        Recorded r(fourInOut, modeBinaryServer);
        r.w.ops->ti_goroundTimer();
        QCOMPARE(r.take(), QStringList{});
        r.w.cb_autogoround->setChecked(true);
        r.w.ops->ti_goroundTimer();
        r.w.bt_goround->click(); // button and timer share the step
        r.w.ops->ti_goroundTimer();
        QCOMPARE(r.take(), (QStringList{binary("writeregister", 1, 0), binary("writeregister", 2, 0),
                                        binary("writeregister", 4, 0)}));
    }

    // ---- single counters, device "16In/Out": the field as it sits in the grid ----

    void singleCounters_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("clear");
        QTest::addColumn<QString>("read");
        const auto row = [](const char *name, int mode, int column, int row, const QString &clear,
                            const QString &read) {
            QTest::newRow(name) << mode << column << row << clear << read;
        };
        row("0 HTTP, second column top", modeHttp, 1, 0, http("/counterclear4?PW=pw&"),
            http("/counter4?PW=pw&"));
        row("1 REST, counter 0", modeRest, 0, 0, rest("POST", "/rest/json/iostate/counterclear/0"),
            rest("GET", "/rest/json/iostate/counter/0"));
        row("2 TCP Client", modeTcpClient, 0, 2, ascii("GET /counterclear2?PW=pw&"),
            ascii("GET /counter2?PW=pw&"));
        row("3 TCP Server", modeTcpServer, 3, 3, server("GET /counterclear15?PW=pw&"),
            server("GET /counter15?PW=pw&"));
        row("4 UDP Peer", modeUdpPeer, 2, 1, udp("GET /counterclear9?PW=pw&"), udp("GET /counter9?PW=pw&"));
        row("5 binary", modeBinaryClient, 0, 2, binary("readclearcounter", 2, 0),
            binary("readcounter", 2, 0));
        row("6 binary", modeBinaryServer, 1, 3, binary("readclearcounter", 7, 0),
            binary("readcounter", 7, 0));
        row("7 binary", modeBinaryUdp, 3, 0, binary("readclearcounter", 12, 0), binary("readcounter", 12, 0));
        row("8 Modbus", modeModbus, 0, 2, modbus("counter", "set", 2), modbus("counter", "get", 2));
        row("9 SNMP counts from 1", modeSnmp, 0, 2, snmp("counter", "set", 3, 0),
            snmp("counter", "get", 3, 0));
        row("9 SNMP, last", modeSnmp, 3, 3, snmp("counter", "set", 16, 0), snmp("counter", "get", 16, 0));
        row("no mode", noMode, 1, 1, {}, {});
    }
    void singleCounters() {
        QFETCH(int, mode);
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(QString, clear);
        QFETCH(QString, read);
        Recorded r(sixteenInOut, mode);
        const auto [field, get] = counterAt(r.w, column, row);
        QVERIFY(get);
        press(field);
        QCOMPARE(r.take(), clear.isEmpty() ? QStringList{} : QStringList{clear});
        get->click();
        QCOMPARE(r.take(), read.isEmpty() ? QStringList{} : QStringList{read});
    }

    // ---- the ASCII modes end to end ----

    void asciiEndToEnd_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("TCP Client") << int(modeTcpClient);
        QTest::newRow("TCP Server") << int(modeTcpServer);
        QTest::newRow("UDP Peer") << int(modeUdpPeer);
    }
    void asciiEndToEnd() {
        QFETCH(int, mode);
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false);
        pickMode(w, mode);
        pickDevice(w, fourInOut);
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("pw");

        // A scripted device per mode: what it got so far, and a way to answer.
        ScriptedTcpServer tcpDevice;
        ScriptedTcpClient tcpClient;
        ScriptedUdpPeer udpDevice;
        std::function<QByteArray()> got;
        std::function<void(const QByteArray &)> answer;
        if (mode == modeTcpClient) {
            w.ed_tcpasciiport->setText(QString::number(tcpDevice.port()));
            w.bt_connect->click();
            QTRY_COMPARE(tcpDevice.received(), QByteArray("GET /allout?PW=pw&"));
            got = [&] { return tcpDevice.received(); };
            answer = [&](const QByteArray &b) { tcpDevice.send(b); };
        } else if (mode == modeTcpServer) {
            const quint16 port = freeTcpPort();
            w.ed_localserverport->setText(QString::number(port));
            w.bt_listen->click();
            tcpClient.connectTo(port);
            QTRY_COMPARE(w.asciiServer->ws_io_cli->State(), wsConnected);
            got = [&] { return tcpClient.received(); };
            answer = [&](const QByteArray &b) { tcpClient.send(b); };
        } else {
            const quint16 local = freeUdpPort();
            w.ed_udplocalport->setText(QString::number(local));
            w.ed_udpremoteport->setText(QString::number(udpDevice.port()));
            w.bt_bind->click();
            got = [&] {
                QByteArray all;
                for (const auto &d : udpDevice.datagrams)
                    all += d.data;
                return all;
            };
            answer = [&, local](const QByteArray &b) { udpDevice.sendTo(local, b); };
        }
        QTRY_VERIFY(!got().isEmpty() || mode == modeTcpServer);
        const QByteArray before = got();
        QByteArray expected;
        const auto expect = [&](const QByteArray &command) {
            expected += command;
            return QTest::qWaitFor([&] { return got().mid(before.size()) == expected; });
        };

        // A set output read back.
        w.bt_setoutput->click();
        QVERIFY(expect("GET /outputaccess?PW=pw&Mask=F&State=0FFF&"));
        w.bt_getoutputs->click();
        QVERIFY(expect("GET /output?PW=pw&"));
        answer(QByteArray("output;0005") + '\0');
        QTRY_COMPARE(w.display->outputLamps[2]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[1]->color(), lampOffColor);

        // A lamp click asks the device to toggle that output.
        press(w.display->outputLamps[1]);
        QVERIFY(expect("GET /outputaccess1?PW=pw&State=TOGGLE&"));

        // A cleared counter at 0.
        answer(QByteArray("counter2;17") + '\0');
        QTRY_COMPARE(w.display->counterFields[2]->text(), QString("17"));
        press(w.display->counterFields[2]);
        QVERIFY(expect("GET /counterclear2?PW=pw&"));
        answer(QByteArray("counter2;0") + '\0');
        QTRY_COMPARE(w.display->counterFields[2]->text(), QString("0"));
        w.display->counterGetButtons[2]->click();
        QVERIFY(expect("GET /counter2?PW=pw&"));

        // The go-round walking, and a read of everything by its timer.
        w.bt_goround->click();
        QVERIFY(expect("GET /outputaccess?PW=pw&State=0001&"));
        w.bt_goround->click();
        QVERIFY(expect("GET /outputaccess?PW=pw&State=0002&"));
        w.ed_intervalall->setText("20");
        w.cb_autoall->setChecked(true);
        QVERIFY(expect("GET /allout?PW=pw&"));
        w.cb_autoall->setChecked(false);
        QCOMPARE(f.dialogs.messages, QStringList{});
    }

    void alternationKeepsEachPatternForItsTime() {
        // The device connected, "auto" ticked with 1000 ms for Set and 200 ms
        // for Reset: Set, 1000 ms later Reset, 200 ms later Set again.
        FormFixture f;
        TForm1 &w = f.form();
        w.cb_autoall->setChecked(false);
        pickMode(w, modeTcpClient);
        pickDevice(w, fourInOut);
        w.ed_ip->setText("127.0.0.1");
        w.ed_password->setText("pw");
        ScriptedTcpServer device;
        w.ed_tcpasciiport->setText(QString::number(device.port()));
        w.ed_intervalset->setText("1000");
        w.ed_intervalreset->setText("200");
        w.bt_connect->click();
        QTRY_COMPARE(device.received(), QByteArray("GET /allout?PW=pw&"));
        QVERIFY(w.nextIsSet);
        w.cb_autoset->setChecked(true);
        const QByteArray set = "GET /outputaccess?PW=pw&Mask=F&State=0FFF&";
        const QByteArray reset = "GET /outputaccess?PW=pw&Mask=F&State=0000&";
        QElapsedTimer clock;
        clock.start();
        QList<qint64> at;
        QByteArray stream = "GET /allout?PW=pw&";
        for (const QByteArray &command : {set, reset, set}) {
            stream += command;
            QVERIFY(QTest::qWaitFor([&] { return device.received() == stream; }, 3000));
            at << clock.elapsed();
        }
        QVERIFY2(at[1] - at[0] >= 950, qPrintable(QString::number(at[1] - at[0])));
        QVERIFY2(at[2] - at[1] >= 150 && at[2] - at[1] < 800, qPrintable(QString::number(at[2] - at[1])));
    }
};

QTEST_MAIN(TestOperations)
#include "tst_operations.moc"
