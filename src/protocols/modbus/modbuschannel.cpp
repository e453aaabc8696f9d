#include "protocols/modbus/modbuschannel.h"

#include "app/tform1.h"
#include "core/timers.h"
#include "net/twsocket.h"

ModbusChannel::ModbusChannel(TForm1 &form) : QObject(&form), f(form) {
    ws_modbus = new TWSocket(this);
    ws_modbus->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_modbusSessionConnected(s, e); };
    ws_modbus->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_modbusDataAvailable(s, e); };
    ws_modbus->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_modbusSessionClosed(s, e); };
    ws_modbus->OnError = [this](TWSocket *s) { ws_modbusError(s); };
    f.registerSocket(QStringLiteral("ws_modbus"), ws_modbus);
    f.onClick(f.bt_connectmodbus, [this] { bt_connectmodbusClick(); });
    f.onTimer(f.ti_wsioreconnectmodbus, [this] { ti_wsioreconnectmodbusTimer(); });
}

void ModbusChannel::report(const QStringList &entries) {
    for (const QString &entry : entries)
        f.writereport(entry);
}

void ModbusChannel::bt_connectmodbusClick() {
    if (f.currentMode != modeModbus)
        return;
    if (f.bt_connectmodbus->text() != QLatin1String("Connect")) {
        f.modbusClosing = true; // the close below must not start a reconnect
        // Nor may one that is already waiting: the user asked to disconnect.
        enableTimer(f.ti_wsioreconnectmodbus, false);
        ws_modbus->Close();
        f.bt_connectmodbus->setText(QStringLiteral("Connect"));
        f.setStatus(0, QStringLiteral("Not connected"));
        return;
    }
    if (f.ed_tcpmodbusport->text().isEmpty() || f.ed_ip->text().isEmpty())
        return;
    // A reconnect still waiting would fire into the new connection, fail
    // there and schedule the next one, every 2000 ms while it works.
    enableTimer(f.ti_wsioreconnectmodbus, false);
    f.modbusClosing = false;
    f.modbusReconnectCount = 0;
    modbusTransactionId = 0;
    ws_modbus->setProto(QStringLiteral("tcp"));
    ws_modbus->setPort(f.ed_tcpmodbusport->text());
    ws_modbus->setAddr(f.ed_ip->text());
    f.setStatus(0, QStringLiteral("try to connect"));
    ws_modbus->Connect();
}

void ModbusChannel::sendModbus(const QString &Func, const QString &Method, qint64 value) {
    if (ws_modbus->State() != wsConnected)
        return;
    const quint16 tid = quint16(modbusTransactionId + 1);
    const std::optional<QByteArray> adu =
        modbus::buildRequest(Func, Method, value, tid, f.lastInput, f.lastOutput, f.io);
    if (!adu)
        return; // no such request: nothing is sent, so no identifier is used
    modbusTransactionId = tid;
    if (Func == QLatin1String("counter"))
        modbusCounterIndex = quint16(value);
    report(modbus::frameReport(QStringLiteral("Modbus ->"), *adu));
    ws_modbus->Send(*adu);
}

void ModbusChannel::ws_modbusSessionConnected(TWSocket *, quint16) {
    f.nextIsSet = true;
    if (f.currentMode != modeModbus)
        return;
    // A refused attempt arrives here too: the first request then finds no
    // connection, the session closes inside that send (which schedules the
    // reconnect), and the other two are dropped.
    f.setStatus(0, QStringLiteral("Connected to ") + f.ed_ip->text() + QStringLiteral(" Port ") +
                       f.ed_tcpmodbusport->text());
    f.bt_connectmodbus->setText(QStringLiteral("Disconnect"));
    f.clearReport();
    f.writereport(QStringLiteral("Modbus -- Connected"));
    m_stream.clear();
    sendModbus(QStringLiteral("inputs"), QStringLiteral("get"), 0);
    sendModbus(QStringLiteral("outputs"), QStringLiteral("get"), 0);
    sendModbus(QStringLiteral("counters"), QStringLiteral("get"), 0);
}

void ModbusChannel::ws_modbusDataAvailable(TWSocket *, quint16) {
    // In another mode the data stays unread; the socket discards it.
    if (f.currentMode != modeModbus)
        return;
    // One buffer's worth per event; the socket fires again for the rest.
    char buffer[receiveBufferSize];
    const int n = ws_modbus->Receive(buffer, receiveBufferSize);
    if (n <= 0)
        return;
    // TCP may deliver several responses in one block (Get All sends three
    // requests back to back) or one response in pieces: every complete ADU
    // is decoded in order, a partial one waits for its rest.
    const QList<QByteArray> frames = m_stream.feed(QByteArray(buffer, n));
    // The display is refreshed once for the block: nobody could see the
    // states in between.
    bool refresh = false;
    for (const QByteArray &frame : frames)
        refresh |= store(frame);
    if (refresh)
        f.IOstateToDisplay();
}

void ModbusChannel::ModbusreplytoIOState(const QByteArray &frame) {
    if (store(frame))
        f.IOstateToDisplay();
}

bool ModbusChannel::store(const QByteArray &frame) {
    report(modbus::frameReport(QStringLiteral("Modbus <-"), frame));
    const modbus::ReplyOutcome out =
        modbus::applyReply(frame, f.io, f.lastInput, f.lastOutput, modbusCounterIndex);
    // Every write is followed by a read of what it changed.
    if (out.followUp)
        sendModbus(out.followUp->func, out.followUp->method, out.followUp->value);
    return out.refresh;
}

void ModbusChannel::ws_modbusSessionClosed(TWSocket *, quint16) {
    m_stream.clear(); // a partial response ends with its session
    if (f.currentMode != modeModbus)
        return;
    f.setStatus(0, QStringLiteral("Connection Closed"));
    f.bt_connectmodbus->setText(QStringLiteral("Connect"));
    f.writereport(QStringLiteral("Modbus -- Connection Closed "));
    scheduleReconnect();
}

void ModbusChannel::ws_modbusError(TWSocket *) {
    f.showErrorHighlight();
    if (f.currentMode != modeModbus)
        return;
    f.setStatus(1, QStringLiteral("ERROR - Connection Closed"));
    f.bt_connectmodbus->setText(QStringLiteral("Connect"));
    f.writereport(QStringLiteral("Modbus -- ERROR - Connection Closed"));
    // The socket is not closed here.
    scheduleReconnect();
}

void ModbusChannel::scheduleReconnect() {
    // Not after the user's Disconnect or a mode change.
    if (f.modbusClosing || !f.cb_reconnectmodbus->isChecked())
        return;
    enableTimer(f.ti_wsioreconnectmodbus, true);
    f.writereport(QStringLiteral("Modbus -- Try to reconnect "));
}

void ModbusChannel::ti_wsioreconnectmodbusTimer() {
    enableTimer(f.ti_wsioreconnectmodbus, false); // one shot
    // A reconnect that was waiting when the mode changed is dropped: the
    // mode switch has closed the channel, and a connection opened behind the
    // user's back would sit idle in another mode.
    if (f.modbusClosing)
        return;
    ++f.modbusReconnectCount;
    f.setStatus(1, QStringLiteral("reronnect: ") + QString::number(f.modbusReconnectCount));
    ws_modbus->setProto(QStringLiteral("tcp"));
    ws_modbus->setAddr(f.ed_ip->text());
    ws_modbus->setPort(f.ed_tcpmodbusport->text());
    ws_modbus->Connect();
    f.bt_connectmodbus->setText(QStringLiteral("Disconnect"));
}
