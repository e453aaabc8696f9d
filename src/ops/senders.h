#pragma once
// The senders of the ten modes, as the operations see them. Each sender
// formats its request, writes it to the report and sends it while its
// channel is open; otherwise it drops the request without a word. The
// operations only choose the sender of the active mode and its arguments.
#include <QString>
#include <QtGlobal>

class TForm1;

class Senders {
public:
    virtual ~Senders() = default;
    // HTTP: sends the path stored in the window's httpRequestPaths[httpSlot].
    virtual void sendHTTP() = 0;
    virtual void sendRest(const QString &restmethod, const QString &restcommand,
                          const QString &restparam) = 0;
    virtual void sendASCII(const QString &ASCIIstring) = 0;
    virtual void sendASCIIServer(const QString &ASCIIstring) = 0;
    virtual void sendUDPASCII(const QString &ASCIIstring) = 0;
    virtual void sendbinary(const QString &structtype, quint32 value1, quint32 value2) = 0;
    virtual void sendModbus(const QString &Func, const QString &Method, qint64 value) = 0;
    virtual void sendSNMP(const QString &func, const QString &method, quint16 value1, quint16 value2) = 0;
};

// The senders of the window's channels.
class FormSenders : public Senders {
public:
    explicit FormSenders(TForm1 &form) : f(form) {}
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
