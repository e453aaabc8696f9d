#include "ops/senders.h"

#include "app/tform1.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"
#include "protocols/binary/binarychannel.h"
#include "protocols/http/httpchannel.h"
#include "protocols/modbus/modbuschannel.h"
#include "protocols/rest/restchannel.h"
#include "protocols/snmp/snmpchannel.h"

void FormSenders::sendHTTP() { f.httpChannel->sendHTTP(); }

void FormSenders::sendRest(const QString &restmethod, const QString &restcommand, const QString &restparam) {
    f.restChannel->sendRest(restmethod, restcommand, restparam);
}

void FormSenders::sendASCII(const QString &ASCIIstring) { f.asciiClient->sendASCII(ASCIIstring); }

void FormSenders::sendASCIIServer(const QString &ASCIIstring) { f.asciiServer->sendASCIIServer(ASCIIstring); }

void FormSenders::sendUDPASCII(const QString &ASCIIstring) { f.asciiUdp->sendUDPASCII(ASCIIstring); }

void FormSenders::sendbinary(const QString &structtype, quint32 value1, quint32 value2) {
    f.binaryChannel->sendbinary(structtype, value1, value2);
}

void FormSenders::sendModbus(const QString &Func, const QString &Method, qint64 value) {
    f.modbusChannel->sendModbus(Func, Method, value);
}

void FormSenders::sendSNMP(const QString &func, const QString &method, quint16 value1, quint16 value2) {
    f.snmpChannel->sendSNMP(func, method, value1, value2);
}
