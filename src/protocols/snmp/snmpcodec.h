#pragma once
// The device's SNMPv1 interface (RFC 1157, BER after X.690), built and read
// byte by byte.
//
// The device answers every request with a message of the request's own
// shape: one-byte lengths, the six-byte community "vormil", a four-byte
// request-id and an object identifier of 13 or 15 bytes. Requests are
// therefore written as a fixed 48-byte base message with the bytes of each
// request changed in place, and replies are read at the same fixed offsets,
// without a general BER parser.
//
// Everything here is pure: the bytes and report entry of one request, and
// reading one reply into IoState with its report entry, status text and the
// request that follows it.
#include "core/iostate.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

namespace snmp {

// The request buffer's size: the longest message the tool sends (a login
// with an 80-character password) fills it exactly.
constexpr int requestBufferSize = 128;
// The longest password a login carries; a longer one would not fit the
// buffer and would need long-form BER lengths, which the device does not read.
constexpr int maxPasswordLength = requestBufferSize - 48;
// The largest output or counter number one sub-identifier byte can carry
// (BER sets the high bit of every byte but the last of a sub-identifier).
constexpr int maxObjectNumber = 127;
// The receive buffer: one datagram, at most this many bytes of it.
constexpr int receiveBufferSize = 256;

// The device's enterprise subtree 1.3.6.1.4.1.6839.1.2 as report text.
inline constexpr char subtreeText[] = ".1.3.6.1.4.1.6839.1.2.";

// One report entry: a title line (left out when empty), the identifier line
// and a value line (left out when the value is empty).
struct ReportEntry {
    QString title;
    QString oid;
    QString value;
};
// The lines of an entry: title, "  OID = " + oid, "  Value = " + value.
QStringList reportLines(const ReportEntry &entry);

struct Request {
    QByteArray message; // one datagram
    int sends = 1;      // "outputs" with "get" goes out twice
    ReportEntry entry;
};

struct RequestOutcome {
    std::optional<Request> request; // nothing to send when empty
    QString refusal;                // a report line saying why a request was refused
};

// Builds one request. func and method as the senders pass them ("get"
// selects the read form, any other method the write form); node is the
// device's branch (its low byte is used); password the text of the password
// field. A func or combination the device does not know builds nothing.
RequestOutcome buildRequest(const QString &func, const QString &method, quint16 value1, quint16 value2,
                            quint16 node, const QString &password);

// What one reply asks of the channel besides the state changes.
enum class FollowUp {
    none,
    login,    // log in now, before the reply's entry is written
    readBack, // the answer to a set of output `output`: read it back after a short pause
};

struct Reply {
    std::optional<QString> loginStatus; // status panel 1: "Login = 0" or "Login = 1"
    std::optional<ReportEntry> entry;
    FollowUp followUp = FollowUp::none;
    quint8 output = 0; // the output number to read back (1 to 24)
};

// Reads one received datagram at the fixed offsets into io. Bytes the
// datagram did not carry read as 0; bytes beyond receiveBufferSize are not
// looked at. Output and counter numbers outside 1 to 24 store nothing and
// ask for no read-back; the entry is still made. The caller refreshes the
// display after every reply.
Reply decodeReply(QByteArrayView datagram, IoState &io, quint16 lastInput, quint16 lastOutput);

} // namespace snmp
