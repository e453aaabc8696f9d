#pragma once
// Mode "SNMP": SNMPv1 requests and replies as datagrams between a local UDP
// port and the device's agent (port 161). Binding the port starts the
// exchange; the channel keeps the tool logged in to the device while bound
// and logs out when the binding ends.
#include "protocols/snmp/snmpcodec.h"

#include <QObject>
#include <QString>
#include <array>

class TForm1;
class TWSocket;

class SnmpChannel : public QObject {
    Q_OBJECT
public:
    explicit SnmpChannel(TForm1 &form);

    TWSocket *ws_snmp;

    void bt_bindsnmpClick();
    void ws_snmpSessionConnected(TWSocket *Sender, quint16 Error);
    void ws_snmpDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_snmpSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_snmpError(TWSocket *Sender);
    void ti_snmpTimer();

    // Builds, reports and sends one request while the socket is bound;
    // otherwise drops it without a word.
    void sendSNMP(const QString &func, const QString &method, quint16 value1, quint16 value2);
    // Writes one report entry: the title (left out when empty), the
    // identifier, and the value when there is one.
    void writesnmpreport(const QString &snmp_string, const QString &oid_string, const QString &oid_value);
    // Decodes one received datagram: receivebufferlength bytes of receivebuffer.
    void SNMPreplytoIOState(const char *receivebuffer, quint16 receivebufferlength);

    // The last request built.
    QByteArray snmpRequestBuffer;

private:
    // The rest of ending the binding, after the logout attempt.
    void stopBinding(const QString &panelText, const QString &reportLine);
    // The logout of a handler that ends the binding. False when the binding
    // was ended meanwhile by a handler nested inside the logout's send.
    bool logoutBeforeStop();

    TForm1 &f;
    std::array<char, snmp::receiveBufferSize> m_receiveBuffer{};
    // True while a logout is being sent: a send that fails fires the error
    // handler inside it, and that handler must not send the logout again.
    bool m_sendingLogout = false;
    // Counts the ends of bindings, so that a handler can tell that one
    // nested inside its logout has ended the binding already.
    quint64 m_stops = 0;
    // Sets of single outputs (1 to 24) not yet read back: only the answer to
    // such a set is followed by a read-back, so a device that answers a get
    // like a set cannot keep the channel reading back for ever.
    std::array<quint16, ioTableSize> m_setsAwaitingReadBack{};
};
