#include "protocols/snmp/snmpchannel.h"

#include "app/tform1.h"
#include "core/timers.h"
#include "net/twsocket.h"

#include <QScopedValueRollback>
#include <QThread>

namespace {
// The device applies a single output's new state a moment after it answers
// the set; the read-back waits this long.
constexpr unsigned long readBackPauseMs = 200;
} // namespace

SnmpChannel::SnmpChannel(TForm1 &form) : QObject(&form), f(form) {
    ws_snmp = new TWSocket(this);
    ws_snmp->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_snmpSessionConnected(s, e); };
    ws_snmp->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_snmpDataAvailable(s, e); };
    ws_snmp->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_snmpSessionClosed(s, e); };
    ws_snmp->OnError = [this](TWSocket *s) { ws_snmpError(s); };
    f.registerSocket(QStringLiteral("ws_snmp"), ws_snmp);
    f.onClick(f.bt_bindsnmp, [this] { bt_bindsnmpClick(); });
    f.onTimer(f.ti_snmp, [this] { ti_snmpTimer(); });
}

// ---- binding ----------------------------------------------------------------

void SnmpChannel::bt_bindsnmpClick() {
    if (f.currentMode != modeSnmp)
        return;
    if (f.bt_bindsnmp->text() != QLatin1String("Bind")) {
        sendSNMP(QStringLiteral("logout"), QStringLiteral("get"), 0, 0);
        ws_snmp->Close(); // the closed handler runs inside; it finds nothing left to log out
        f.bt_bindsnmp->setText(QStringLiteral("Bind"));
        f.setStatus(0, QStringLiteral("Not connected"));
        return;
    }
    if (f.ed_ip->text().isEmpty())
        return;
    f.clearReport();
    f.bt_bindsnmp->setText(QStringLiteral("Stop Bind"));
    ws_snmp->setProto(QStringLiteral("udp"));
    ws_snmp->setPort(f.ed_udpremoteportsnmp->text());
    ws_snmp->setLocalPort(f.co_udplocalportsnmp->currentText());
    ws_snmp->setAddr(f.ed_ip->text());
    f.setStatus(0, QStringLiteral("try to connect"));
    ws_snmp->Connect(); // binding, and the first requests, run inside
}

void SnmpChannel::ws_snmpSessionConnected(TWSocket *, quint16) {
    f.nextIsSet = true;
    if (f.currentMode != modeSnmp)
        return;
    m_setsAwaitingReadBack.fill(0);
    f.setStatus(0, QStringLiteral("Binded to ") + f.co_udplocalportsnmp->currentText());
    f.writereport(QStringLiteral("SNMP -- Binded"));
    f.bt_bindsnmp->setText(QStringLiteral("Stop Bind"));
    enableTimer(f.ti_snmp, true);
    sendSNMP(QStringLiteral("loginstate"), QStringLiteral("get"), 0, 0);
    sendSNMP(QStringLiteral("inputs"), QStringLiteral("get"), 0, 0);
}

void SnmpChannel::ti_snmpTimer() {
    // The device ends a login after a while: ask for its state now and then,
    // and log in again when it reads 0.
    if (ws_snmp->State() == wsConnected)
        sendSNMP(QStringLiteral("loginstate"), QStringLiteral("get"), 0, 0);
}

bool SnmpChannel::logoutBeforeStop() {
    // A send that fails fires the error handler inside the send. Inside a
    // logout's send the logout is not tried again (it would fail the same
    // way, without end); the handler does the rest of its work.
    if (m_sendingLogout)
        return true;
    const quint64 stops = m_stops;
    sendSNMP(QStringLiteral("logout"), QStringLiteral("get"), 0, 0);
    return m_stops == stops;
}

void SnmpChannel::stopBinding(const QString &panelText, const QString &reportLine) {
    enableTimer(f.ti_snmp, false);
    ws_snmp->Close();
    f.setStatus(0, panelText);
    f.bt_bindsnmp->setText(QStringLiteral("Bind"));
    f.writereport(reportLine);
    ++m_stops;
}

void SnmpChannel::ws_snmpSessionClosed(TWSocket *, quint16) {
    if (f.currentMode != modeSnmp)
        return;
    // The logout goes out only while the socket can still send.
    if (!logoutBeforeStop())
        return;
    stopBinding(QStringLiteral("Stop Binding"), QStringLiteral("SNMP -- Stop Binding"));
}

void SnmpChannel::ws_snmpError(TWSocket *) {
    f.showErrorHighlight();
    if (f.currentMode != modeSnmp)
        return;
    // When the logout's own send failed, the handler fired inside it has
    // ended the binding and said so already.
    if (!logoutBeforeStop())
        return;
    stopBinding(QStringLiteral("ERROR - Stop Binding"), QStringLiteral("# ERROR - Stop Binding"));
}

// ---- requests -----------------------------------------------------------------

void SnmpChannel::writesnmpreport(const QString &snmp_string, const QString &oid_string,
                                  const QString &oid_value) {
    for (const QString &line : snmp::reportLines({snmp_string, oid_string, oid_value}))
        f.writereport(line);
}

void SnmpChannel::sendSNMP(const QString &func, const QString &method, quint16 value1, quint16 value2) {
    if (ws_snmp->State() != wsConnected)
        return;
    const quint16 node = f.cb_viernull->isChecked() ? f.snmpDeviceNode40 : f.snmpDeviceNode;
    const snmp::RequestOutcome out =
        snmp::buildRequest(func, method, value1, value2, node, f.ed_password->text());
    if (!out.request) {
        if (!out.refusal.isEmpty())
            f.writereport(out.refusal);
        return;
    }
    const snmp::Request &request = *out.request;
    snmpRequestBuffer = request.message;

    QScopedValueRollback<bool> loggingOut(m_sendingLogout,
                                          m_sendingLogout || func == QLatin1String("logout"));
    if (request.sends == 2) {
        // "Get Outputs" goes out twice, the report entry between the two.
        ws_snmp->Send(request.message);
        if (ws_snmp->State() != wsConnected)
            return; // the send failed and ended the binding
    }
    writesnmpreport(request.entry.title, request.entry.oid, request.entry.value);
    ws_snmp->Send(request.message);

    const bool outputSet = func == QLatin1String("output") && method != QLatin1String("get");
    if (outputSet && value1 >= 1 && value1 <= ioTableSize) {
        quint16 &awaiting = m_setsAwaitingReadBack[size_t(value1 - 1)];
        if (awaiting < 0xFFFF)
            ++awaiting;
    }
}

// ---- replies ------------------------------------------------------------------

void SnmpChannel::ws_snmpDataAvailable(TWSocket *, quint16) {
    // In another mode the datagram stays unread and the socket discards it.
    if (f.currentMode != modeSnmp)
        return;
    if (ws_snmp->RcvdCount() <= 0)
        return;
    // One datagram; a longer one than the buffer loses its tail, which the
    // decoder would not look at anyway.
    m_receiveBuffer.fill(0);
    const int received = ws_snmp->Receive(m_receiveBuffer.data(), int(m_receiveBuffer.size()));
    if (received <= 0)
        return;
    SNMPreplytoIOState(m_receiveBuffer.data(), quint16(received));
}

void SnmpChannel::SNMPreplytoIOState(const char *receivebuffer, quint16 receivebufferlength) {
    const qsizetype length = qMin<qsizetype>(receivebufferlength, snmp::receiveBufferSize);
    const snmp::Reply reply =
        snmp::decodeReply(QByteArrayView(receivebuffer, length), f.io, f.lastInput, f.lastOutput);
    if (reply.loginStatus)
        f.setStatus(1, *reply.loginStatus);
    if (reply.followUp == snmp::FollowUp::login)
        sendSNMP(QStringLiteral("login"), QStringLiteral("set"), 0, 0);
    if (reply.entry)
        writesnmpreport(reply.entry->title, reply.entry->oid, reply.entry->value);
    if (reply.followUp == snmp::FollowUp::readBack) {
        quint16 &awaiting = m_setsAwaitingReadBack[size_t(reply.output - 1)];
        if (awaiting > 0) {
            --awaiting;
            QThread::msleep(readBackPauseMs);
            sendSNMP(QStringLiteral("output"), QStringLiteral("get"), reply.output, 0);
        }
    }
    f.IOstateToDisplay();
}
