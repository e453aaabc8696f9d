// Get All, Get Inputs, Get Outputs, Get all Counter, Clear all Counter: by
// button, and by their timers while the "auto" box is ticked.
#include "app/tform1.h"
#include "core/timers.h"
#include "ops/operations.h"
#include "ops/senders.h"
#include "protocols/ascii/asciicodec.h"

void Operations::getAll(Trigger by) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::readAll(pw)); break;
    case modeRest:
        // The whole tree once by hand; the polling asks only for the I/O state.
        send().sendRest(QStringLiteral("GET"),
                        by == Trigger::Button ? QStringLiteral("/rest/json")
                                              : QStringLiteral("/rest/json/iostate"),
                        QString());
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: send().sendbinary(QStringLiteral("registerrequest"), 0, 0); break;
    case modeModbus:
        send().sendModbus(QStringLiteral("inputs"), QStringLiteral("get"), 0);
        send().sendModbus(QStringLiteral("outputs"), QStringLiteral("get"), 0);
        send().sendModbus(QStringLiteral("counters"), QStringLiteral("get"), 0);
        break;
    case modeSnmp:
        send().sendSNMP(QStringLiteral("inputs"), QStringLiteral("get"), 0, 0);
        send().sendSNMP(QStringLiteral("outputs"), QStringLiteral("get"), 0, 0);
        // SNMP numbers the counters from 1, one request each.
        for (int n = 1; n <= f.lastInput + 1; ++n)
            send().sendSNMP(QStringLiteral("counter"), QStringLiteral("get"), quint16(n), 0);
        break;
    default: break;
    }
}

void Operations::getInputs(Trigger) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::readInputs(pw)); break;
    case modeRest:
        send().sendRest(QStringLiteral("GET"), QStringLiteral("/rest/json/iostate/input"), QString());
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: send().sendbinary(QStringLiteral("readregister"), 0, 0); break;
    case modeModbus: send().sendModbus(QStringLiteral("inputs"), QStringLiteral("get"), 0); break;
    case modeSnmp: send().sendSNMP(QStringLiteral("inputs"), QStringLiteral("get"), 0, 0); break;
    default: break;
    }
}

void Operations::getOutputs(Trigger) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::readOutputs(pw)); break;
    case modeRest:
        send().sendRest(QStringLiteral("GET"), QStringLiteral("/rest/json/iostate/output"), QString());
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp:
        // The register answer carries the outputs; the binary protocol has no
        // request for the outputs alone.
        send().sendbinary(QStringLiteral("registerrequest"), 0, 0);
        break;
    case modeModbus: send().sendModbus(QStringLiteral("outputs"), QStringLiteral("get"), 0); break;
    case modeSnmp: send().sendSNMP(QStringLiteral("outputs"), QStringLiteral("get"), 0, 0); break;
    default: break;
    }
}

void Operations::getAllCounters(Trigger) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::readCounters(pw)); break;
    case modeRest:
        send().sendRest(QStringLiteral("GET"), QStringLiteral("/rest/json/iostate/counter"), QString());
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: send().sendbinary(QStringLiteral("readallcounter"), 0, 0); break;
    case modeModbus: send().sendModbus(QStringLiteral("counters"), QStringLiteral("get"), 0); break;
    case modeSnmp:
        for (int n = 1; n <= f.lastInput + 1; ++n)
            send().sendSNMP(QStringLiteral("counter"), QStringLiteral("get"), quint16(n), 0);
        break;
    default: break;
    }
}

void Operations::clearAllCounters(Trigger by) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::clearCounters(pw)); break;
    case modeRest:
        // The REST interface clears single counters only. Said once per
        // click; the polling stays quiet instead of filling the report.
        if (by == Trigger::Button)
            reportNotSupported();
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: send().sendbinary(QStringLiteral("clearallcounter"), 0, 0); break;
    case modeModbus: send().sendModbus(QStringLiteral("counters"), QStringLiteral("set"), 0); break;
    case modeSnmp:
        for (int n = 1; n <= f.lastInput + 1; ++n)
            send().sendSNMP(QStringLiteral("counter"), QStringLiteral("set"), quint16(n), 0);
        break;
    default: break;
    }
}

void Operations::pollTick(QCheckBox *autoBox, void (Operations::*operation)(Trigger)) {
    // The timers always run; the box decides at each tick. In mode TCP Binary
    // Server only the buttons send: the timers stay quiet there.
    if (!autoBox->isChecked() || f.currentMode == modeBinaryServer)
        return;
    (this->*operation)(Trigger::Timer);
}

void Operations::ti_intervalallTimer() { pollTick(f.cb_autoall, &Operations::getAll); }
void Operations::ti_intervalinputsTimer() { pollTick(f.cb_autoinputs, &Operations::getInputs); }
void Operations::ti_intervalOutputsTimer() { pollTick(f.cb_autooutputs, &Operations::getOutputs); }
void Operations::ti_intervalcounterTimer() { pollTick(f.cb_autocounter, &Operations::getAllCounters); }
void Operations::ti_intervalcounterclearTimer() {
    pollTick(f.cb_autocounterclear, &Operations::clearAllCounters);
}

void Operations::intervalChange(QLineEdit *field, QTimer *timer) {
    // An emptied field is a field being edited: the timer keeps its interval.
    const QString text = field->text();
    if (!text.isEmpty())
        setTimerIntervalText(timer, text);
}

void Operations::ed_intervalallChange() { intervalChange(f.ed_intervalall, f.ti_intervalall); }
void Operations::ed_intervalinputsChange() { intervalChange(f.ed_intervalinputs, f.ti_intervalinputs); }
void Operations::ed_intervaloutputsChange() { intervalChange(f.ed_intervaloutputs, f.ti_intervalOutputs); }
void Operations::ed_intervalcounterChange() { intervalChange(f.ed_intervalcounter, f.ti_intervalcounter); }
void Operations::ed_intervalcounterclearChange() {
    intervalChange(f.ed_intervalcounterclear, f.ti_intervalcounterclear);
}
