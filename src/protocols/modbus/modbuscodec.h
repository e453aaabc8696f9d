#pragma once
// Modbus TCP as the tool speaks it to a Korvo device: the request frames of
// the device's register map, cutting a received byte stream into ADUs by the
// MBAP length, reading a response into IoState, and the readable dump of
// every frame for the report.
//
// Register map (0-based protocol addresses):
//   coils 0x1020 + n              output n (write single / multiple coils)
//   input register 0x2000         all inputs, bit n = input n
//   holding register 0x2002       all outputs, bit n = output n
//   registers 0x5006 + 2n, +1     counter n, 32 bits, high word first; read as
//                                 holding (one) or input registers (all),
//                                 cleared by writing zeros (function 16)
//
// Everything here is pure; the channel owns the socket and the counters.
#include "core/iostate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace modbus {

constexpr quint8 unitId = 1;
constexpr quint16 coilBase = 0x1020;
constexpr quint16 inputsRegister = 0x2000;
constexpr quint16 outputsRegister = 0x2002;
constexpr quint16 counterBase = 0x5006;

// The MBAP length of a well-formed ADU lies in this range: the unit
// identifier and function code at least, and no more than a PDU can hold.
constexpr int minLength = 2;
constexpr int maxLength = 254;

// The request ADU for (func, method, value) with transaction identifier tid,
// for a device whose highest input and output indexes are lastInput and
// lastOutput (at most 15). outputs is consulted only by the single-output
// toggle. An unknown (func, method) pair has no frame: std::nullopt.
std::optional<QByteArray> buildRequest(const QString &func, const QString &method, qint64 value, quint16 tid,
                                       quint16 lastInput, quint16 lastOutput, const IoState &io);

// The report entries of one frame: prefix ("Modbus ->" or "Modbus <-"), a
// rule of 38 hyphens, TID, PID, Len, UID and FCd, the hex dump of the PDU
// from byte 8 (one entry, CR LF after every 16th byte) and the closing rule
// with CR LF. Only received bytes are shown: a field that was not received
// shows as "--", and the dump stops at the end of the bytes.
QStringList frameReport(const QString &prefix, const QByteArray &frame);

// The read that follows a write, so that the display shows what changed.
struct FollowUp {
    QString func;
    QString method;
    qint64 value;
    bool operator==(const FollowUp &) const = default;
};

struct ReplyOutcome {
    bool refresh = false; // IoState changed: the display must be refreshed
    std::optional<FollowUp> followUp;
};

// Reads one response into io. Whether a function 3 reply is the outputs word
// or a single counter, and a function 4 reply the inputs word or all
// counters, rests on the MBAP length; a single counter goes to counterIndex.
// Only the data words the reply's byte count covers and that were received
// are stored. Exception responses and other function codes change nothing.
ReplyOutcome applyReply(const QByteArray &frame, IoState &io, quint16 lastInput, quint16 lastOutput,
                        quint16 counterIndex);

// The receive side of the connection: collects bytes and hands out complete
// ADUs in order, keeping a partial tail for the next call. A length outside
// minLength..maxLength cannot be framed; what is buffered then is handed out
// as one response and the buffer starts afresh. The buffer therefore never
// holds more than one ADU's worth beyond what a call adds.
class AduStream {
public:
    QList<QByteArray> feed(const QByteArray &received);
    void clear() { m_buffer.clear(); }
    const QByteArray &buffered() const { return m_buffer; }

private:
    QByteArray m_buffer;
};

} // namespace modbus
