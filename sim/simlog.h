#pragma once
// korvosim's log: with --verbose, one line per request and per reply on
// stderr ("ascii-tcp 127.0.0.1:40312 <- GET /input?PW=&"), and one per
// connection event. Bytes that are not printable show as \0, \r, \n or \xNN.
#include <QByteArray>
#include <QString>

namespace sim {

class SimLog {
public:
    bool verbose = false;
    // dir is "<-" for what the device receives, "->" for what it sends.
    void traffic(const QString &service, const QString &peer, const char *dir, const QByteArray &bytes) const;
    void note(const QString &service, const QString &peer, const QString &text) const;
    static QString printable(const QByteArray &bytes);
};

} // namespace sim
