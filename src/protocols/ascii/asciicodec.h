#pragma once
// The device's ASCII protocol: one-line commands shaped like the start of an
// HTTP request line, and replies of ";"-separated fields ended by a NUL.
//
// Everything here is pure: command texts, cutting a received stream into
// replies, and reading a reply into IoState with the report line it makes.
#include "core/iostate.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace ascii {

// Commands. PW is the password exactly as typed; every parameter, the last
// one included, is followed by "&"; nothing is appended except the clock
// command's CR LF.
QString readAll(const QString &pw);
QString readInputs(const QString &pw);
QString readOutputs(const QString &pw);
QString readCounters(const QString &pw);
QString clearCounters(const QString &pw);
QString readCounter(const QString &pw, int n);
QString clearCounter(const QString &pw, int n);
QString setOutputs(const QString &pw, const QString &mask, const QString &state);
QString setAllOutputs(const QString &pw, const QString &state);
QString toggleOutput(const QString &pw, int n);
QString setClock(const QString &pw, const QString &time);

// The report prefix of a received reply in mode, empty where a mode reports
// no replies.
QString receivePrefix(quint16 mode);

struct ReplyOutcome {
    std::optional<QString> reportLine; // the received line, where the mode reports it
    bool parsed = false;               // false: stopped at a bad or missing field
    bool refresh = false;              // the display must be refreshed
};

// Reads one reply into io. Bounds are the device type's lastInput and
// lastOutput. A bad or missing field stops the reading there: entries already
// stored keep their new values and the display is not refreshed.
ReplyOutcome parseReply(const QString &reply, quint16 mode, IoState &io, quint16 lastInput,
                        quint16 lastOutput);

// The receive buffer of the TCP client and the UDP peer: cuts the stream into
// NUL-ended replies and keeps the text after the last NUL for the next call.
class ReplyStream {
public:
    // A device that never sends a NUL must not make the buffer grow without
    // end: beyond this many characters the oldest text is dropped.
    static constexpr qsizetype maxBuffered = 64 * 1024;

    // Appends received text and returns the complete replies, each with its NUL.
    QStringList feed(const QString &received);
    void clear() { m_buffer.clear(); }
    const QString &buffered() const { return m_buffer; }

private:
    QString m_buffer;
};

// The TCP server's cutting: each received piece stands alone, with nothing
// kept across pieces, but a piece holding several NUL-ended replies (two
// commands answered together) is cut at every NUL, since reading it as one
// reply would take one reply's fields for another's. Text after the last NUL,
// or a piece without any (a line ended by CR), is a reply of its own.
QStringList cutPiece(const QString &piece);

} // namespace ascii
