#include "simlog.h"

#include <cstdio>

namespace sim {

QString SimLog::printable(const QByteArray &bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            out += "\\0";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 32 || c > 126)
            out += QString("\\x%1").arg(c, 2, 16, QChar('0')).toUpper().replace("\\X", "\\x");
        else
            out += QChar(c);
    }
    return out;
}

void SimLog::traffic(const QString &service, const QString &peer, const char *dir,
                     const QByteArray &bytes) const {
    if (!verbose)
        return;
    const QByteArray line = (service + ' ' + peer + ' ' + dir + ' ' + printable(bytes)).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

void SimLog::note(const QString &service, const QString &peer, const QString &text) const {
    if (!verbose)
        return;
    const QByteArray line = (service + ' ' + peer + " -- " + text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

} // namespace sim
