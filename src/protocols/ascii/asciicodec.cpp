#include "protocols/ascii/asciicodec.h"

#include "core/helpers.h"

namespace ascii {

namespace {
QString command(const QString &path, const QString &pw, const QString &params = QString()) {
    return QStringLiteral("GET /") + path + QStringLiteral("?PW=") + pw + QLatin1Char('&') + params;
}
} // namespace

QString readAll(const QString &pw) { return command(QStringLiteral("allout"), pw); }
QString readInputs(const QString &pw) { return command(QStringLiteral("input"), pw); }
QString readOutputs(const QString &pw) { return command(QStringLiteral("output"), pw); }
QString readCounters(const QString &pw) { return command(QStringLiteral("counter"), pw); }
QString clearCounters(const QString &pw) { return command(QStringLiteral("counterclear"), pw); }
QString readCounter(const QString &pw, int n) { return command(QStringLiteral("counter%1").arg(n), pw); }
QString clearCounter(const QString &pw, int n) {
    return command(QStringLiteral("counterclear%1").arg(n), pw);
}

QString setOutputs(const QString &pw, const QString &mask, const QString &state) {
    return command(QStringLiteral("outputaccess"), pw,
                   QStringLiteral("Mask=") + mask + QStringLiteral("&State=") + state + QLatin1Char('&'));
}

QString setAllOutputs(const QString &pw, const QString &state) {
    return command(QStringLiteral("outputaccess"), pw, QStringLiteral("State=") + state + QLatin1Char('&'));
}

QString toggleOutput(const QString &pw, int n) {
    return command(QStringLiteral("outputaccess%1").arg(n), pw, QStringLiteral("State=TOGGLE&"));
}

QString setClock(const QString &pw, const QString &time) {
    return command(QStringLiteral("settime"), pw, QStringLiteral("time=") + time + QStringLiteral("&\r\n"));
}

QString receivePrefix(quint16 mode) {
    switch (mode) {
    case modeTcpClient: return QStringLiteral("TCP ASCII <- ");
    case modeTcpServer: return QStringLiteral("ASCII Server <- ");
    case modeUdpPeer: return QStringLiteral("UDP ASCII <- ");
    default: return QString();
    }
}

namespace {

// Reads the fields of one reply; each read fails (returns nothing) when the
// field is missing or is no number of its kind.
class Fields {
public:
    explicit Fields(QStringList fields) : m_fields(std::move(fields)) {}
    qsizetype size() const { return m_fields.size(); }
    std::optional<quint32> hex(qsizetype i) const {
        if (i >= m_fields.size())
            return std::nullopt;
        return tryHexToUInt(m_fields[i]);
    }
    std::optional<qint32> dec(qsizetype i) const {
        if (i >= m_fields.size())
            return std::nullopt;
        return tryStrToInt(m_fields[i]);
    }

private:
    QStringList m_fields;
};

int bound(quint16 last) { return qMin<int>(last, ioTableSize - 1); }

bool storeBits(std::array<quint16, ioTableSize> &table, std::optional<quint32> value, quint16 last) {
    if (!value)
        return false;
    for (int i = 0; i <= bound(last); ++i)
        table[i] = (*value & bitOfIndex[i]) ? 1 : 0;
    return true;
}

bool storeCounters(IoState &io, const Fields &f, qsizetype first, quint16 lastInput) {
    for (int i = 0; i <= bound(lastInput); ++i) {
        const auto value = f.dec(first + i);
        if (!value)
            return false;
        io.counters[i] = quint32(*value);
    }
    return true;
}

} // namespace

ReplyOutcome parseReply(const QString &reply, quint16 mode, IoState &io, quint16 lastInput,
                        quint16 lastOutput) {
    ReplyOutcome out;
    QString text = reply;
    if (text.contains(QLatin1Char('\r'))) {
        // An HTTP response line (or a server chunk) ends in CR: drop the last
        // character and report nothing.
        text.chop(1);
    } else {
        const QString prefix = receivePrefix(mode);
        if (!prefix.isEmpty()) {
            const qsizetype nul = text.indexOf(QChar(0));
            out.reportLine = prefix + (nul < 0 ? text : text.left(nul));
        }
    }
    if (text.isEmpty())
        return out;
    const QStringList list = split(QStringLiteral(";"), text);
    if (list.first().isEmpty())
        return out;
    const QChar first = list.first().at(0);
    // Replies whose first field starts with a digit carry two leading fields.
    const qsizetype s = first >= QLatin1Char('0') && first <= QLatin1Char('9') ? 2 : 0;
    if (list.size() <= s)
        return out;
    const Fields f(list);
    const QString keyword = list[s];

    if (keyword == QLatin1String("input")) {
        if (!storeBits(io.inputs, f.hex(s + 1), lastInput))
            return out;
        if (f.size() > 4) {
            // The long form: inputs, outputs and the counters; the words
            // between the groups are skipped by position.
            if (!storeBits(io.outputs, f.hex(s + 3), lastOutput) || !storeCounters(io, f, s + 5, lastInput))
                return out;
        }
    } else if (keyword == QLatin1String("output")) {
        if (!storeBits(io.outputs, f.hex(s + 1), lastOutput))
            return out;
    } else if (keyword.startsWith(QLatin1String("counter"))) {
        if (keyword.size() == 7) {
            if (!storeCounters(io, f, s + 1, lastInput))
                return out;
        } else {
            const auto n = tryStrToInt(keyword.mid(7));
            if (!n)
                return out;
            const auto value = f.dec(s + 1);
            if (!value)
                return out;
            // The index comes from the device: one outside the counter table
            // is not stored anywhere.
            if (*n >= 0 && *n < ioTableSize)
                io.counters[*n] = quint32(*value);
        }
    }
    out.parsed = true;
    out.refresh = true;
    return out;
}

QStringList ReplyStream::feed(const QString &received) {
    m_buffer += received;
    QStringList replies;
    qsizetype start = 0;
    for (;;) {
        const qsizetype nul = m_buffer.indexOf(QChar(0), start);
        if (nul < 0)
            break;
        replies << m_buffer.mid(start, nul - start + 1);
        start = nul + 1;
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > maxBuffered)
        m_buffer.remove(0, m_buffer.size() - maxBuffered);
    return replies;
}

QStringList cutPiece(const QString &piece) {
    ReplyStream stream;
    QStringList replies = stream.feed(piece);
    if (!stream.buffered().isEmpty())
        replies << stream.buffered();
    return replies;
}

} // namespace ascii
