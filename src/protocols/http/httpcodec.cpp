#include "protocols/http/httpcodec.h"

namespace http {

namespace {
QString path(const QString &name, const QString &pw, const QString &params = QString()) {
    return QLatin1Char('/') + name + QStringLiteral("?PW=") + pw + QLatin1Char('&') + params;
}

const QLatin1String rule("------------------------------------------------------------");
const QLatin1String endOfReceive("--------------  End of receive  ----------------------------\r\n");
} // namespace

QString readAll(const QString &pw) { return path(QStringLiteral("allout"), pw); }
QString readInputs(const QString &pw) { return path(QStringLiteral("input"), pw); }
QString readOutputs(const QString &pw) { return path(QStringLiteral("output"), pw); }
QString readCounters(const QString &pw) { return path(QStringLiteral("counter"), pw); }
QString clearCounters(const QString &pw) { return path(QStringLiteral("counterclear"), pw); }
QString readCounter(const QString &pw, int n) { return path(QStringLiteral("counter%1").arg(n), pw); }
QString clearCounter(const QString &pw, int n) { return path(QStringLiteral("counterclear%1").arg(n), pw); }

QString setOutputs(const QString &pw, const QString &mask, const QString &state) {
    return path(QStringLiteral("outputaccess"), pw,
                QStringLiteral("Mask=") + mask + QStringLiteral("&State=") + state + QLatin1Char('&'));
}

QString setAllOutputs(const QString &pw, const QString &state) {
    return path(QStringLiteral("outputaccess"), pw, QStringLiteral("State=") + state + QLatin1Char('&'));
}

QString toggleOutput(const QString &pw, int n) {
    return path(QStringLiteral("outputaccess%1").arg(n), pw, QStringLiteral("State=TOGGLE&"));
}

QString requestText(const QString &path, const QString &host) {
    return QStringLiteral("GET ") + path + QStringLiteral(" HTTP/1.1\r\nHost: ") + host +
           QStringLiteral("\r\n\r\n");
}

QString requestReport(const QString &path, const QString &host) {
    return QStringLiteral("HTTP -> GET ") + path + QStringLiteral(" HTTP/1.1\r\nHTTP -> Host: ") + host +
           QStringLiteral("\r\n\r\n");
}

QStringList receiveReport(const QString &chunk) {
    return {QStringLiteral("HTTP <- Bytes received ") + QString::number(chunk.size()), rule, chunk,
            endOfReceive};
}

bool isStateLine(const QString &line) {
    return line.contains(QLatin1String("input")) || line.contains(QLatin1String("output")) ||
           line.contains(QLatin1String("counter"));
}

std::optional<QString> StateLineScanner::feed(const QString &chunk) {
    const qsizetype lastLf = chunk.lastIndexOf(QLatin1Char('\n'));
    if (lastLf < 0) {
        // No line ends in this chunk: it all continues the pending line.
        if (!m_skipping)
            m_pending += chunk;
        if (m_pending.size() > maxPending) {
            m_pending.clear();
            m_skipping = true;
        }
        return std::nullopt;
    }

    // The complete lines: the pending line, completed by the chunk's first
    // line, then the chunk's other lines. The last such line holding one of
    // the words wins, so they are tried from the end.
    std::optional<QString> found;
    qsizetype end = lastLf; // the LF that ends the line being tried
    while (end >= 0) {
        const qsizetype prevLf = end > 0 ? chunk.lastIndexOf(QLatin1Char('\n'), end - 1) : -1;
        if (prevLf < 0)
            break; // the chunk's first line, which completes the pending one
        const QString line = chunk.mid(prevLf + 1, end - prevLf - 1);
        if (isStateLine(line)) {
            found = line;
            break;
        }
        end = prevLf;
    }
    if (!found && !m_skipping) {
        const QString first = m_pending + chunk.left(chunk.indexOf(QLatin1Char('\n')));
        if (first.size() <= maxPending && isStateLine(first))
            found = first;
    }
    m_skipping = false;
    m_pending = chunk.mid(lastLf + 1);
    if (m_pending.size() > maxPending) {
        m_pending.clear();
        m_skipping = true;
    }
    return found;
}

std::optional<QString> StateLineScanner::finish() {
    std::optional<QString> found;
    if (!m_skipping && isStateLine(m_pending))
        found = m_pending;
    clear();
    return found;
}

void StateLineScanner::clear() {
    m_pending.clear();
    m_skipping = false;
}

} // namespace http
