#pragma once
// The device side of the ASCII command protocol: one-line commands shaped like
// the start of an HTTP request line ("GET /input?PW=secret&"), each answered
// by one line of ";"-separated fields ended by a NUL.
//
// Commands carry no terminator (only the clock command ends in CR LF), so a
// TCP stream is cut by the command's own shape: a command is complete once
// its last parameter has been closed by "&" (State for /outputaccess, time
// for /settime, PW for the others), or at a line end, or where the next
// "GET /" starts.
#include "session.h"

#include <QString>
#include <optional>

namespace sim {

class DeviceModel;

class AsciiService {
public:
    explicit AsciiService(DeviceModel &model) : m_model(model) {}

    // Takes one complete command from the front of stream (with the blanks
    // and line ends before it), or nothing while the command is incomplete.
    // Bytes that cannot start a command come out as a command of their own,
    // which reply() refuses.
    static std::optional<QByteArray> takeCommand(QByteArray &stream);

    // The reply to one command, NUL included. Commands change the model.
    //   /allout      input;IIII;output;OOOO;counter;c0;c1;...
    //   /input       input;IIII           /output  output;OOOO
    //   /counter     counter;c0;c1;...    /counterN  counterN;c
    //   /counterclear[N]   clears, then answers as /counter[N]
    //   /outputaccess?...&Mask=M&State=S&   outputs under a mask (Mask optional)
    //   /outputaccessN?...&State=TOGGLE&    also ON, OFF, 1, 0
    //   /settime?...&time=dd.mm.yyyy,hh:nn:ss&   answers time;<clock>
    // Hexadecimal has 4 digits (6 on a 24-channel device). A wrong password
    // gives error;password, an unknown command error;command, a bad value
    // error;<parameter>.
    QByteArray reply(const QByteArray &command);

    // The reply text without its NUL, for the web form of the commands.
    QByteArray replyText(const QByteArray &command) { return reply(command).chopped(1); }

private:
    QByteArray hex(quint32 bits, int channels) const;
    QByteArray countersFrom(int first) const;

    DeviceModel &m_model;
};

// One TCP connection or UDP sender speaking ASCII.
class AsciiSession : public Session {
public:
    explicit AsciiSession(DeviceModel &model) : m_service(model) {}
    QList<QByteArray> feed(QByteArray &input) override;
    // An ASCII reply is a line ended by NUL; the wrong length here is a line
    // missing its last field, NUL kept.
    QByteArray withWrongLength(const QByteArray &reply) const override;

private:
    AsciiService m_service;
};

} // namespace sim
