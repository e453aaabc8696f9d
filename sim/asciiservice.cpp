#include "asciiservice.h"

#include "devicemodel.h"

#include <QDateTime>

namespace sim {

namespace {

const QByteArray commandStart = "GET /";

bool isBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\0'; }

// The parameter that closes a command of this path.
QByteArray finalParameter(const QByteArray &path) {
    if (path.startsWith("/outputaccess"))
        return "State";
    if (path.startsWith("/settime"))
        return "time";
    return "PW";
}

// A command longer than this without an end is no command.
constexpr qsizetype maxCommand = 4096;

struct Parsed {
    QByteArray path;
    QList<std::pair<QByteArray, QByteArray>> params;
    std::optional<QByteArray> param(const QByteArray &key) const {
        for (const auto &[k, v] : params)
            if (k == key)
                return v;
        return std::nullopt;
    }
};

Parsed parse(const QByteArray &command) {
    Parsed p;
    QByteArray rest = command.trimmed();
    if (rest.startsWith("GET "))
        rest = rest.mid(4);
    const qsizetype q = rest.indexOf('?');
    p.path = q < 0 ? rest : rest.left(q);
    if (q < 0)
        return p;
    for (const QByteArray &piece : rest.mid(q + 1).split('&')) {
        if (piece.isEmpty())
            continue;
        const qsizetype eq = piece.indexOf('=');
        p.params.append({piece.left(eq), eq < 0 ? QByteArray() : piece.mid(eq + 1)});
    }
    return p;
}

// A decimal index right after prefix in path ("/counter12" gives 12), or -1
// when the path is exactly the prefix, or -2 when something else follows.
int indexAfter(const QByteArray &path, const QByteArray &prefix) {
    if (path == prefix)
        return -1;
    const QByteArray digits = path.mid(prefix.size());
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok && n >= 0 && digits.at(0) != '+' ? n : -2;
}

std::optional<quint32> hexValue(const QByteArray &text) {
    bool ok = false;
    const quint32 v = text.toUInt(&ok, 16);
    if (!ok || text.isEmpty() || text.startsWith('+') || text.startsWith('-'))
        return std::nullopt;
    return v;
}

QByteArray error(const char *what) { return QByteArray("error;") + what + '\0'; }

} // namespace

std::optional<QByteArray> AsciiService::takeCommand(QByteArray &stream) {
    qsizetype start = 0;
    while (start < stream.size() && isBlank(stream.at(start)))
        ++start;
    stream.remove(0, start);
    if (stream.isEmpty())
        return std::nullopt;

    if (!stream.startsWith(commandStart)) {
        if (commandStart.startsWith(stream))
            return std::nullopt; // "GE": the rest is on its way
        // Not a command: everything up to the next command start, or the
        // next line end, is refused as one.
        qsizetype end = stream.indexOf(commandStart, 1);
        const qsizetype line = stream.indexOf('\n');
        if (line >= 0 && (end < 0 || line < end))
            end = line + 1;
        if (end < 0) {
            // Keep a tail that may be the start of a command.
            end = stream.size();
            for (qsizetype keep = qMin<qsizetype>(commandStart.size() - 1, stream.size()); keep > 0; --keep)
                if (commandStart.startsWith(stream.right(keep))) {
                    end = stream.size() - keep;
                    break;
                }
        }
        const QByteArray junk = stream.left(end);
        stream.remove(0, end);
        return junk;
    }

    // A command: find where it ends.
    qsizetype end = -1;
    const qsizetype next = stream.indexOf(commandStart, 1);
    qsizetype lineEnd = -1;
    for (qsizetype i = 0; i < stream.size(); ++i)
        if (stream.at(i) == '\r' || stream.at(i) == '\n' || stream.at(i) == '\0') {
            lineEnd = i;
            break;
        }
    const qsizetype limit = [&] {
        qsizetype l = stream.size();
        if (next >= 0)
            l = qMin(l, next);
        if (lineEnd >= 0)
            l = qMin(l, lineEnd);
        return l;
    }();
    const qsizetype q = stream.indexOf('?');
    if (q >= 0 && q < limit) {
        const QByteArray path = stream.mid(4, q - 4);
        const QByteArray last = finalParameter(path) + '=';
        qsizetype pos = q + 1;
        while (pos < limit) {
            const qsizetype amp = stream.indexOf('&', pos);
            if (amp < 0 || amp >= limit)
                break;
            if (stream.mid(pos, last.size()) == last) {
                end = amp + 1;
                break;
            }
            pos = amp + 1;
        }
    }
    if (end < 0 && limit < stream.size())
        end = limit; // cut short by a line end or the next command
    if (end < 0 && stream.size() > maxCommand)
        end = stream.size();
    if (end < 0)
        return std::nullopt;
    const QByteArray command = stream.left(end);
    stream.remove(0, end);
    return command;
}

QByteArray AsciiService::hex(quint32 bits, int channels) const {
    return QByteArray::number(bits, 16).toUpper().rightJustified(channels > 16 ? 6 : 4, '0');
}

QByteArray AsciiService::countersFrom(int first) const {
    // An output-only device still answers one counter, so that a reply of
    // the long form always has the fields it names.
    QByteArray out;
    const int n = qMax(1, m_model.inputCount());
    for (int i = first; i < n; ++i)
        out += ';' + QByteArray::number(m_model.counter(i));
    return out;
}

QByteArray AsciiService::reply(const QByteArray &command) {
    if (!command.trimmed().startsWith(commandStart))
        return error("command");
    const Parsed p = parse(command);
    const std::optional<QByteArray> pw = p.param("PW");
    if (!pw || !m_model.passwordMatches(QString::fromLatin1(*pw)))
        return error("password");

    const int ins = m_model.inputCount();
    const int outs = m_model.outputCount();
    const QByteArray inputs = "input;" + hex(m_model.inputs(), ins);
    const QByteArray outputs = "output;" + hex(m_model.outputs(), outs);
    const int counterLimit = qMax(1, ins);

    if (p.path == "/allout") {
        if (m_model.kind().legacy)
            return error("command");
        return inputs + ';' + outputs + ";counter" + countersFrom(0) + '\0';
    }
    if (p.path == "/input")
        return inputs + '\0';
    if (p.path == "/output")
        return outputs + '\0';

    for (const char *prefixText : {"/counterclear", "/counter"}) {
        const QByteArray prefix(prefixText);
        if (!p.path.startsWith(prefix))
            continue;
        const int n = indexAfter(p.path, prefix);
        if (n == -2 || n >= counterLimit)
            return error("command");
        const bool clear = prefix == "/counterclear";
        if (n < 0) {
            if (clear)
                m_model.clearCounters();
            return "counter" + countersFrom(0) + '\0';
        }
        if (clear)
            m_model.clearCounter(n);
        return "counter" + QByteArray::number(n) + ';' + QByteArray::number(m_model.counter(n)) + '\0';
    }

    if (p.path.startsWith("/outputaccess")) {
        const int n = indexAfter(p.path, "/outputaccess");
        const std::optional<QByteArray> state = p.param("State");
        if (n == -2 || n >= outs)
            return error("command");
        if (!state)
            return error("state");
        if (n >= 0) {
            const QByteArray s = state->toUpper();
            if (s == "TOGGLE")
                m_model.toggleOutput(n);
            else if (s == "ON" || s == "1")
                m_model.setOutput(n, true);
            else if (s == "OFF" || s == "0")
                m_model.setOutput(n, false);
            else
                return error("state");
            return "output;" + hex(m_model.outputs(), outs) + '\0';
        }
        const std::optional<quint32> value = hexValue(*state);
        if (!value)
            return error("state");
        quint32 mask = m_model.outputMask();
        if (const std::optional<QByteArray> m = p.param("Mask")) {
            const std::optional<quint32> mv = hexValue(*m);
            if (!mv)
                return error("mask");
            mask = *mv;
        }
        m_model.setOutputs(mask, *value);
        return "output;" + hex(m_model.outputs(), outs) + '\0';
    }

    if (p.path == "/settime") {
        const QByteArray text = p.param("time").value_or(QByteArray());
        const QDateTime time = QDateTime::fromString(QString::fromLatin1(text), "dd.MM.yyyy,HH:mm:ss");
        if (!time.isValid())
            return error("time");
        m_model.setClock(time);
        return "time;" + m_model.clock().toString("dd.MM.yyyy,HH:mm:ss").toLatin1() + '\0';
    }
    return error("command");
}

QList<QByteArray> AsciiSession::feed(QByteArray &input) {
    QList<QByteArray> replies;
    while (const std::optional<QByteArray> command = AsciiService::takeCommand(input))
        replies.append(m_service.reply(*command));
    return replies;
}

QByteArray AsciiSession::withWrongLength(const QByteArray &reply) const {
    const qsizetype cut = reply.lastIndexOf(';');
    return cut > 0 ? reply.left(cut) + '\0' : reply;
}

} // namespace sim
