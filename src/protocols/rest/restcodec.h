#pragma once
// The device's JSON REST interface under "/rest/json". The reply is not
// parsed as JSON: the device lays it out one key per line, and the lines that
// carry the I/O state are picked out by key words and read by position.
//
// Everything here is pure: the request paths and URL, the report block of a
// reply, and reading a reply into IoState.
#include "core/iostate.h"

#include <QString>
#include <QStringList>

namespace rest {

// Request paths; n is a decimal index counted from 0.
QString allPath();               // "/rest/json": GET
QString iostatePath();           // GET
QString inputsPath();            // GET
QString outputsPath();           // GET
QString countersPath();          // GET
QString counterPath(int n);      // GET one counter
QString counterClearPath(int n); // POST, empty body
QString outputPath(int n);       // POST "Set=ON", "Set=OFF" or "Set=TOGGLE"

QString url(const QString &host, const QString &port, const QString &path);

// The report texts of one reply body, one writereport call each: the byte
// count, 60 hyphens, every line of the body without its trailing CR (the
// report pane starts a line at a lone CR too), and the end line.
QStringList receiveReport(const QString &body);

// Reads a reply body into io and returns the conversion lines it writes.
//
// Kept lines are those holding "input", "output", "counter", "number" or a
// quote followed by "state" (so a key such as "iostate" does not count). Each
// of "input", "output" and "counter" heads a block at the last kept line that
// holds it; the block runs to the kept line before the next heading that
// follows it, or to the last kept line. Its entries are the pairs of kept
// lines after the heading: first the entry's number, then its value, each the
// digits of its line. Only complete pairs are read; an entry number outside
// the tables stores nothing, and a pair whose number or value does not
// convert writes the conversion line and stores nothing. Counters are read
// as unsigned 32-bit numbers; an input or output value above 65535 is stored
// as 65535.
QStringList readReply(const QString &body, IoState &io);

} // namespace rest
