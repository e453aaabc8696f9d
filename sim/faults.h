#pragma once
// Faults on demand, per service, so that a tool can be tried against a device
// that misbehaves. Given on the command line as
//   --fault SERVICE=FAULT[,FAULT...]
// with FAULT one of
//   refuse          TCP: the port is bound but refuses connections;
//                   UDP: datagrams are read and never answered
//   stall           connections are accepted, requests read, nothing answered
//   close-after:N   TCP: the connection is closed after N replies;
//                   UDP: the service stops answering after N replies
//   split           every reply goes out one byte per write (per datagram)
//   coalesce:N      N replies go out together in one write (or datagram);
//                   fewer are sent together once 200 ms have passed
//   garbage         every reply is replaced by as many random bytes
//   wrong-length    the reply's length information is wrong (per protocol)
#include <QByteArray>
#include <QString>

namespace sim {

class Session;

struct Faults {
    bool refuse = false;
    bool stall = false;
    bool split = false;
    bool garbage = false;
    bool wrongLength = false;
    int closeAfter = 0; // 0: never
    int coalesce = 0;   // 0 or 1: each reply on its own

    // Parses the list after "SERVICE=" into this; false with a message for
    // a fault it does not know.
    bool parse(const QString &list, QString *error);
    // The reply as the content faults make it (garbage, wrong length).
    QByteArray shape(const QByteArray &reply, const Session &session, quint32 &seed) const;
};

} // namespace sim
