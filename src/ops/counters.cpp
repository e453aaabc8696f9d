// One counter cleared by a click on its field, read by its "Get" button.
#include "app/iodisplay.h"
#include "app/tform1.h"
#include "ops/operations.h"
#include "ops/senders.h"
#include "protocols/ascii/asciicodec.h"

namespace {

// The index of control among the first count entries of controls, -1 if it
// is none of them: only the counters of the device's inputs are addressed.
template <typename Control, typename Table>
int indexAmong(const Control *control, const Table &controls, int lastInput) {
    for (int i = 0; i <= qMin<int>(lastInput, ioShown - 1); ++i)
        if (controls[i] == control)
            return i;
    return -1;
}

} // namespace

void Operations::pa_counteronClick(CounterField *Sender) {
    const int n = indexAmong(Sender, f.display->counterFields, f.lastInput);
    if (n >= 0)
        clearCounter(n);
}

void Operations::bt_getonClick(QPushButton *Sender) {
    const int n = indexAmong(Sender, f.display->counterGetButtons, f.lastInput);
    if (n >= 0)
        readCounter(n);
}

void Operations::clearCounter(int n) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::clearCounter(pw, n)); break;
    case modeRest:
        send().sendRest(QStringLiteral("POST"),
                        QStringLiteral("/rest/json/iostate/counterclear/") + QString::number(n), QString());
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: send().sendbinary(QStringLiteral("readclearcounter"), quint32(n), 0); break;
    case modeModbus: send().sendModbus(QStringLiteral("counter"), QStringLiteral("set"), n); break;
    // SNMP numbers the counters from 1.
    case modeSnmp:
        send().sendSNMP(QStringLiteral("counter"), QStringLiteral("set"), quint16(n + 1), 0);
        break;
    default: break;
    }
}

void Operations::readCounter(int n) {
    const QString pw = f.ed_password->text();
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer: sendText(ascii::readCounter(pw, n)); break;
    case modeRest:
        send().sendRest(QStringLiteral("GET"),
                        QStringLiteral("/rest/json/iostate/counter/") + QString::number(n), QString());
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp: send().sendbinary(QStringLiteral("readcounter"), quint32(n), 0); break;
    case modeModbus: send().sendModbus(QStringLiteral("counter"), QStringLiteral("get"), n); break;
    case modeSnmp:
        send().sendSNMP(QStringLiteral("counter"), QStringLiteral("get"), quint16(n + 1), 0);
        break;
    default: break;
    }
}
