#include "protocols/rest/restcodec.h"

#include "core/helpers.h"

#include <optional>

namespace rest {

QString allPath() { return QStringLiteral("/rest/json"); }
QString iostatePath() { return QStringLiteral("/rest/json/iostate"); }
QString inputsPath() { return QStringLiteral("/rest/json/iostate/input"); }
QString outputsPath() { return QStringLiteral("/rest/json/iostate/output"); }
QString countersPath() { return QStringLiteral("/rest/json/iostate/counter"); }
QString counterPath(int n) { return QStringLiteral("/rest/json/iostate/counter/%1").arg(n); }
QString counterClearPath(int n) { return QStringLiteral("/rest/json/iostate/counterclear/%1").arg(n); }
QString outputPath(int n) { return QStringLiteral("/rest/json/iostate/output/%1").arg(n); }

QString url(const QString &host, const QString &port, const QString &path) {
    return QStringLiteral("http://") + host + QLatin1Char(':') + port + path;
}

QStringList receiveReport(const QString &body) {
    QStringList report;
    report << QStringLiteral("Rest <-  Bytes received ") + QString::number(body.size())
           << QStringLiteral("------------------------------------------------------------");
    for (QString line : split(QStringLiteral("\n"), body)) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        report << line;
    }
    report << QStringLiteral("--------------  End of receive  ----------------------------\r\n");
    return report;
}

namespace {

bool isKept(const QString &line) {
    return line.contains(QLatin1String("input")) || line.contains(QLatin1String("output")) ||
           line.contains(QLatin1String("counter")) || line.contains(QLatin1String("number")) ||
           line.contains(QLatin1String("\"state"));
}

// The digits of a line as an unsigned number no greater than limit; the
// conversion line when there are none or the number is larger.
std::optional<quint64> digitsValue(const QString &line, quint64 limit, QStringList &errors) {
    const QString digits = getvalueString(line);
    quint64 value = 0;
    bool fits = !digits.isEmpty();
    for (QChar c : digits) {
        value = value * 10 + quint64(c.unicode() - '0');
        if (value > limit) {
            fits = false;
            break;
        }
    }
    if (!fits) {
        errors << convertErrorText(digits);
        return std::nullopt;
    }
    return value;
}

// The number of an entry: the digits of its line, as a signed 32-bit number.
// A minus sign just before them makes it negative, so that "-1" names no
// entry rather than entry 1.
std::optional<qint64> entryNumber(const QString &line, QStringList &errors) {
    const auto value = digitsValue(line, quint64(INT32_MAX), errors);
    if (!value)
        return std::nullopt;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] >= QLatin1Char('0') && line[i] <= QLatin1Char('9'))
            return i > 0 && line[i - 1] == QLatin1Char('-') ? -qint64(*value) : qint64(*value);
    }
    return qint64(*value);
}

// An input or output value: any number of digits; above 65535 it stays on.
std::optional<quint16> switchValue(const QString &line, QStringList &errors) {
    const QString digits = getvalueString(line);
    if (digits.isEmpty()) {
        errors << convertErrorText(digits);
        return std::nullopt;
    }
    quint32 value = 0;
    for (QChar c : digits) {
        value = value * 10 + quint32(c.unicode() - '0');
        if (value > 65535)
            return quint16(65535);
    }
    return quint16(value);
}

enum class Kind { Input, Output, Counter };

void readBlock(const QStringList &kept, qsizetype heading, qsizetype last, Kind kind, IoState &io,
               QStringList &errors) {
    for (qsizetype i = heading + 1; i + 1 <= last; i += 2) {
        const auto n = entryNumber(kept[i], errors);
        std::optional<quint64> value;
        if (kind == Kind::Counter)
            value = digitsValue(kept[i + 1], 0xFFFFFFFFull, errors);
        else if (const auto v = switchValue(kept[i + 1], errors))
            value = *v;
        if (!n || !value || *n < 0 || *n >= ioTableSize)
            continue;
        switch (kind) {
        case Kind::Input: io.inputs[*n] = quint16(*value); break;
        case Kind::Output: io.outputs[*n] = quint16(*value); break;
        case Kind::Counter: io.counters[*n] = quint32(*value); break;
        }
    }
}

} // namespace

QStringList readReply(const QString &body, IoState &io) {
    QStringList kept;
    for (const QString &line : split(QStringLiteral("\n"), body))
        if (isKept(line))
            kept << line;

    // Each heading is the last kept line that holds its word.
    qsizetype headings[3] = {-1, -1, -1};
    const QLatin1String words[3] = {QLatin1String("input"), QLatin1String("output"),
                                    QLatin1String("counter")};
    for (qsizetype i = 0; i < kept.size(); ++i)
        for (int k = 0; k < 3; ++k)
            if (kept[i].contains(words[k]))
                headings[k] = i;

    QStringList errors;
    for (int k = 0; k < 3; ++k) {
        const qsizetype h = headings[k];
        if (h < 0)
            continue;
        // The block ends before the next heading after it, whatever its kind.
        qsizetype last = kept.size() - 1;
        for (qsizetype other : headings)
            if (other > h && other - 1 < last)
                last = other - 1;
        readBlock(kept, h, last, Kind(k), io, errors);
    }
    return errors;
}

} // namespace rest
