#include "recordingsenders.h"

#include "app/tform1.h"

namespace rec {
QString http(const QString &path) { return "sendHTTP " + path; }
QString rest(const QString &method, const QString &command, const QString &param) {
    return QString("sendRest(%1, %2, %3)").arg(method, command, param);
}
QString ascii(const QString &command) { return "sendASCII " + command; }
QString server(const QString &command) { return "sendASCIIServer " + command; }
QString udp(const QString &command) { return "sendUDPASCII " + command; }
QString binary(const QString &structtype, quint32 value1, quint32 value2) {
    return QString("sendbinary(%1, %2, %3)").arg(structtype).arg(value1).arg(value2);
}
QString modbus(const QString &func, const QString &method, qint64 value) {
    return QString("sendModbus(%1, %2, %3)").arg(func, method).arg(value);
}
QString snmp(const QString &func, const QString &method, quint16 value1, quint16 value2) {
    return QString("sendSNMP(%1, %2, %3, %4)").arg(func, method).arg(value1).arg(value2);
}
} // namespace rec

void RecordingSenders::sendHTTP() { calls << rec::http(f.httpRequestPaths[f.httpSlot]); }
void RecordingSenders::sendRest(const QString &m, const QString &c, const QString &p) {
    calls << rec::rest(m, c, p);
}
void RecordingSenders::sendASCII(const QString &s) { calls << rec::ascii(s); }
void RecordingSenders::sendASCIIServer(const QString &s) { calls << rec::server(s); }
void RecordingSenders::sendUDPASCII(const QString &s) { calls << rec::udp(s); }
void RecordingSenders::sendbinary(const QString &t, quint32 v1, quint32 v2) {
    calls << rec::binary(t, v1, v2);
}
void RecordingSenders::sendModbus(const QString &fn, const QString &m, qint64 v) {
    calls << rec::modbus(fn, m, v);
}
void RecordingSenders::sendSNMP(const QString &fn, const QString &m, quint16 v1, quint16 v2) {
    calls << rec::snmp(fn, m, v1, v2);
}
