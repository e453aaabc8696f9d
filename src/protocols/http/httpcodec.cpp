#include "protocols/http/httpcodec.h"

#include "protocols/ascii/asciicodec.h"

namespace http {

namespace {
// The device's web server takes the same commands as its ASCII port: an ASCII
// command is the request line's "GET " followed by the URL path.
QString path(const QString &asciiCommand) { return asciiCommand.mid(4); }

const QLatin1String rule("------------------------------------------------------------");
const QLatin1String endOfReceive("--------------  End of receive  ----------------------------\r\n");
} // namespace

QString readAll(const QString &pw) { return path(ascii::readAll(pw)); }
QString readInputs(const QString &pw) { return path(ascii::readInputs(pw)); }
QString readOutputs(const QString &pw) { return path(ascii::readOutputs(pw)); }
QString readCounters(const QString &pw) { return path(ascii::readCounters(pw)); }
QString clearCounters(const QString &pw) { return path(ascii::clearCounters(pw)); }
QString readCounter(const QString &pw, int n) { return path(ascii::readCounter(pw, n)); }
QString clearCounter(const QString &pw, int n) { return path(ascii::clearCounter(pw, n)); }
QString setOutputs(const QString &pw, const QString &mask, const QString &state) {
    return path(ascii::setOutputs(pw, mask, state));
}
QString setAllOutputs(const QString &pw, const QString &state) {
    return path(ascii::setAllOutputs(pw, state));
}
QString toggleOutput(const QString &pw, int n) { return path(ascii::toggleOutput(pw, n)); }

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

bool isStateLine(QStringView line) {
    return line.contains(QStringView(u"input")) || line.contains(QStringView(u"output")) ||
           line.contains(QStringView(u"counter"));
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
        const QStringView line = QStringView(chunk).mid(prevLf + 1, end - prevLf - 1);
        if (isStateLine(line)) {
            found = line.toString();
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
