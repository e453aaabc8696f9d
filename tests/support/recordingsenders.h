#pragma once
// Senders that record each call as one readable line instead of sending, so
// that a test sees exactly which sender an operation chose and with what.
// Numbers are written in decimal; the HTTP line shows the path stored at the
// window's current slot when sendHTTP was called.
#include "ops/senders.h"

#include <QStringList>

class RecordingSenders : public Senders {
public:
    explicit RecordingSenders(TForm1 &form) : f(form) {}
    QStringList calls;

    void sendHTTP() override;
    void sendRest(const QString &restmethod, const QString &restcommand, const QString &restparam) override;
    void sendASCII(const QString &ASCIIstring) override;
    void sendASCIIServer(const QString &ASCIIstring) override;
    void sendUDPASCII(const QString &ASCIIstring) override;
    void sendbinary(const QString &structtype, quint32 value1, quint32 value2) override;
    void sendModbus(const QString &Func, const QString &Method, qint64 value) override;
    void sendSNMP(const QString &func, const QString &method, quint16 value1, quint16 value2) override;

private:
    TForm1 &f;
};

// The lines RecordingSenders writes, for the expected side of a test.
namespace rec {
QString http(const QString &path);
QString rest(const QString &method, const QString &command, const QString &param = QString());
QString ascii(const QString &command);
QString server(const QString &command);
QString udp(const QString &command);
QString binary(const QString &structtype, quint32 value1, quint32 value2);
QString modbus(const QString &func, const QString &method, qint64 value);
QString snmp(const QString &func, const QString &method, quint16 value1, quint16 value2);
} // namespace rec
