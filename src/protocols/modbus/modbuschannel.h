#pragma once
// Mode "Modbus TCP": the tool is a Modbus TCP client of the device (unit 1,
// port 502 by default). It reads inputs, outputs and counters when the
// session starts, re-reads what each write changed, dumps every frame to the
// report, and reconnects every 2000 ms after a lost connection while
// "Reconnect" is ticked.
#include "protocols/modbus/modbuscodec.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;

class ModbusChannel : public QObject {
    Q_OBJECT
public:
    explicit ModbusChannel(TForm1 &form);

    TWSocket *ws_modbus;

    // Transaction identifier of the last request sent; wraps at 16 bits and
    // starts again at 0 only with the Connect click.
    quint16 modbusTransactionId = 0;
    // Counter index of the last single-counter request: where its reply goes.
    quint16 modbusCounterIndex = 0;

    // The largest block taken from the socket at once.
    static constexpr int receiveBufferSize = 256;

    void bt_connectmodbusClick();
    // Sends one request, or nothing while not connected.
    void sendModbus(const QString &Func, const QString &Method, qint64 value);
    // Reports one response, stores it and sends the read that follows a write.
    void ModbusreplytoIOState(const QByteArray &frame);
    void ws_modbusSessionConnected(TWSocket *Sender, quint16 Error);
    void ws_modbusDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_modbusSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_modbusError(TWSocket *Sender);
    void ti_wsioreconnectmodbusTimer();

    const modbus::AduStream &receiveStream() const { return m_stream; }

private:
    // Reports one response and stores it; true when the display must change.
    bool store(const QByteArray &frame);
    void scheduleReconnect();
    void report(const QStringList &entries);

    TForm1 &f;
    modbus::AduStream m_stream;
};
