#pragma once
// The device's web server commands: one GET request per command URL, written
// by hand, and the one line of each response that carries the I/O state.
//
// Everything here is pure: the command paths, the request text and its report
// lines, the report block of a received chunk, and the scanner that picks the
// state line out of a response stream.
#include <QString>
#include <QStringList>
#include <optional>

namespace http {

// Command paths. PW is the password exactly as typed (no URL encoding); every
// parameter, the last one included, is followed by "&". They are the ASCII
// commands without their leading "GET ".
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

// The request for path, sent in one piece: the request line and the Host
// header, nothing else (the device's web server needs no more).
QString requestText(const QString &path, const QString &host);
// The same request as one report text (its line breaks make several lines).
QString requestReport(const QString &path, const QString &host);

// The report texts of one received chunk, one writereport call each: the
// byte count, a line of 60 hyphens, the chunk itself and the end line.
QStringList receiveReport(const QString &chunk);

// True for a line that can carry the I/O state: it holds "input", "output"
// or "counter" (plain, case-sensitive).
bool isStateLine(const QString &line);

// Picks the state line out of one response, whatever the chunking.
//
// TCP delivers the response in chunks that may cut a line anywhere. Judged
// chunk by chunk, "...input;00" + "01;..." would read as two broken lines (the
// first clearing every input), and "counter;12" + "34;6" would store 12 for
// 1234. So only complete lines (ended by LF) are scanned; the text after the
// last LF waits for the next chunk, and is read as the last line when the
// device ends the response by closing the connection.
class StateLineScanner {
public:
    // A line longer than this cannot be a state line (a full one is a few
    // hundred characters); beyond it the line is dropped up to its LF, so a
    // device that never sends a LF cannot make the buffer grow without end.
    static constexpr qsizetype maxPending = 64 * 1024;

    // Appends a chunk; returns the last complete line in it (the text before
    // its LF, CR included) that holds one of the three words, if any.
    std::optional<QString> feed(const QString &chunk);
    // The response has ended: returns the text after the last LF when it
    // holds one of the words, and forgets it.
    std::optional<QString> finish();
    void clear();
    const QString &pending() const { return m_pending; }

private:
    QString m_pending;
    bool m_skipping = false; // dropping an overlong line up to its LF
};

} // namespace http
