#include "ops/senders.h"

#include "app/tform1.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"

void FormSenders::sendHTTP() {
    // HTTP command channel: f.httpChannel->sendHTTP();
}

void FormSenders::sendRest(const QString &, const QString &, const QString &) {
    // REST channel: f.restChannel->sendRest(restmethod, restcommand, restparam);
}

void FormSenders::sendASCII(const QString &ASCIIstring) { f.asciiClient->sendASCII(ASCIIstring); }

void FormSenders::sendASCIIServer(const QString &ASCIIstring) { f.asciiServer->sendASCIIServer(ASCIIstring); }

void FormSenders::sendUDPASCII(const QString &ASCIIstring) { f.asciiUdp->sendUDPASCII(ASCIIstring); }

void FormSenders::sendbinary(const QString &, quint32, quint32) {
    // Binary channel: f.binaryChannel->sendbinary(structtype, value1, value2);
}

void FormSenders::sendModbus(const QString &, const QString &, qint64) {
    // Modbus channel: f.modbusChannel->sendModbus(Func, Method, value);
}

void FormSenders::sendSNMP(const QString &, const QString &, quint16, quint16) {
    // SNMP channel: f.snmpChannel->sendSNMP(func, method, value1, value2);
}
