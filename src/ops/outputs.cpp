// Set Output and Reset Output (each a state under a mask), their automatic
// alternation, the toggle of one output by a click on its lamp, Set Option.
#include "app/iodisplay.h"
#include "app/tform1.h"
#include "core/errors.h"
#include "core/helpers.h"
#include "core/timers.h"
#include "ops/operations.h"
#include "ops/senders.h"
#include "protocols/ascii/asciicodec.h"

void Operations::sendOutputs(bool set) {
    const QString pw = f.ed_password->text();
    const QString state = (set ? f.ed_setstate : f.ed_resetstate)->text();
    const QString maskField = (set ? f.ed_setmask : f.ed_resetmask)->text();
    // An empty mask field means every output of the device type.
    const QString mask = maskField.isEmpty() ? f.allOutputsMask : maskField;
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer:
        // The texts go to the device as typed; it checks them itself.
        sendText(ascii::setOutputs(pw, mask, state));
        break;
    case modeRest: reportNotSupported(); break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: {
        const quint32 maskValue = hexToUInt(mask); // the mask first: its error is the one shown
        const quint32 stateValue = hexToUInt(state);
        send().sendbinary(QStringLiteral("setbit"), maskValue, stateValue);
        break;
    }
    case modeModbus:
        // Writing the coils writes every output: Modbus takes no mask.
        send().sendModbus(QStringLiteral("outputs"), QStringLiteral("set"), hexToUInt(state));
        break;
    case modeSnmp: {
        // The mask field as typed: SNMP has no default mask.
        const quint32 maskValue = hexToUInt(maskField);
        const quint32 stateValue = hexToUInt(state);
        send().sendSNMP(QStringLiteral("outputs"), QStringLiteral("set"), quint16(maskValue),
                        quint16(stateValue));
        break;
    }
    default: break;
    }
}

void Operations::ti_setoutputTimer() {
    // The timer ticks at the set interval while "auto" is unticked, so that
    // the first Set after ticking it comes in the set rhythm.
    setTimerIntervalText(f.ti_setoutput, f.ed_intervalset->text());
    if (!f.cb_autoset->isChecked())
        return;
    // Each pattern is held for its own time: the next tick comes one full
    // interval of the command sent now. The text is converted before the
    // timer is touched, so an invalid field leaves the alternation running
    // and the error recurs at each tick until the text is valid.
    const int hold = intervalOf((f.nextIsSet ? f.ed_intervalset : f.ed_intervalreset)->text());
    enableTimer(f.ti_setoutput, false);
    setTimerInterval(f.ti_setoutput, hold);
    enableTimer(f.ti_setoutput, true);
    switch (f.currentMode) {
    case modeRest:
        // Nothing to alternate: the flag stays, and so does the interval.
        reportNotSupported();
        break;
    case modeBinaryServer:
        // Only the buttons send in this mode; the flag stays.
        break;
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer:
    case modeBinaryClient:
    case modeBinaryUdp:
    case modeModbus:
    case modeSnmp:
        // The flag flips only once the command went out: a state text that
        // does not convert keeps the same command due.
        sendOutputs(f.nextIsSet);
        f.nextIsSet = !f.nextIsSet;
        break;
    default: break;
    }
}

void Operations::ed_intervalsetresetChange(QLineEdit *field) {
    // At interval 0 the timer is on but never ticks, so no tick would read
    // the fields again: a valid non-zero interval typed now restarts it. A
    // text being typed that does not convert yet says nothing here; the
    // ticks report it once they run. A running alternation is left to its
    // ticks, which read both fields anyway.
    if (f.ti_setoutput->interval() != 0 || !timerEnabled(f.ti_setoutput))
        return;
    int ms = 0;
    try {
        ms = intervalOf(field->text());
    } catch (const EConvertError &) {
        return;
    }
    setTimerInterval(f.ti_setoutput, ms);
}

void Operations::sh_out_ledonMouseDown(Lamp *Sender, Qt::MouseButton Button) {
    // Only the lamps of the device's outputs address an output; the others
    // (all sixteen show before a device type is applied) switch nothing.
    int n = -1;
    for (int i = 0; i <= qMin<int>(f.lastOutput, ioShown - 1); ++i) {
        if (f.display->outputLamps[i] == Sender) {
            n = i;
            break;
        }
    }
    if (n < 0)
        return;
    const QString pw = f.ed_password->text();
    const bool on = f.io.outputs[n] != 0;
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::toggleOutput(pw, n)); break;
    case modeRest:
        send().sendRest(QStringLiteral("POST"),
                        QStringLiteral("/rest/json/iostate/output/") + QString::number(n),
                        QStringLiteral("Set=TOGGLE"));
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp:
        // The binary protocol has no toggle: the last known state decides.
        send().sendbinary(QStringLiteral("setbit"), bitOfIndex[n], on ? 0 : bitOfIndex[n]);
        break;
    case modeModbus:
        // The Modbus client decides on or off from the last known state.
        send().sendModbus(QStringLiteral("output"), QStringLiteral("set"), n);
        break;
    case modeSnmp:
        // SNMP numbers the outputs from 1. Left switches, right reads back.
        if (Button == Qt::LeftButton)
            send().sendSNMP(QStringLiteral("output"), QStringLiteral("set"), quint16(n + 1), on ? 0 : 1);
        else if (Button == Qt::RightButton)
            send().sendSNMP(QStringLiteral("output"), QStringLiteral("get"), quint16(n + 1), 1);
        break;
    default: break;
    }
}

void Operations::bt_optionClick() {
    switch (f.currentMode) {
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp:
        // The options structure takes its value from ed_option itself.
        send().sendbinary(QStringLiteral("options"), 0, 0);
        break;
    default: break;
    }
}
