#include "faults.h"

#include "session.h"

namespace sim {

bool Faults::parse(const QString &list, QString *error) {
    for (const QString &item : list.split(',', Qt::SkipEmptyParts)) {
        const QString name = item.section(':', 0, 0).trimmed();
        const QString arg = item.section(':', 1);
        bool ok = true;
        if (name == "refuse")
            refuse = true;
        else if (name == "stall")
            stall = true;
        else if (name == "split")
            split = true;
        else if (name == "garbage")
            garbage = true;
        else if (name == "wrong-length")
            wrongLength = true;
        else if (name == "close-after")
            closeAfter = arg.toInt(&ok);
        else if (name == "coalesce")
            coalesce = arg.toInt(&ok);
        else
            ok = false;
        if (!ok || closeAfter < 0 || coalesce < 0) {
            if (error)
                *error = "unknown fault '" + item + "'";
            return false;
        }
    }
    return true;
}

QByteArray Faults::shape(const QByteArray &reply, const Session &session, quint32 &seed) const {
    QByteArray out = wrongLength ? session.withWrongLength(reply) : reply;
    if (garbage) {
        // A fixed generator, so a run can be repeated byte for byte.
        for (char &c : out) {
            seed = seed * 1103515245u + 12345u;
            c = char(seed >> 16);
        }
    }
    return out;
}

} // namespace sim
