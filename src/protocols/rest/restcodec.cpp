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

bool isKept(QStringView line) {
    return line.contains(QStringView(u"input")) || line.contains(QStringView(u"output")) ||
           line.contains(QStringView(u"counter")) || line.contains(QStringView(u"number")) ||
           line.contains(QStringView(u"\"state"));
}

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The digits of a line, in order, as a number (getvalue's rule): the value,
// or nothing when there are none or the number is above limit.
struct Digits {
    bool any = false; // the line has digits
    std::optional<quint64> value;
    bool minusBefore = false; // a "-" just before the first digit
};
Digits digitsOf(QStringView line, quint64 limit) {
    Digits d;
    quint64 value = 0;
    bool fits = true;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (!isDigit(line[i]))
            continue;
        if (!d.any)
            d.minusBefore = i > 0 && line[i - 1] == QLatin1Char('-');
        d.any = true;
        if (fits) {
            value = value * 10 + quint64(line[i].unicode() - '0');
            fits = value <= limit;
        }
    }
    if (d.any && fits)
        d.value = value;
    return d;
}

// The conversion line of a line whose digits do not convert.
QString conversionLine(QStringView line) {
    QString digits;
    for (QChar c : line)
        if (isDigit(c))
            digits += c;
    return convertErrorText(digits);
}

// A number or counter value no greater than limit.
std::optional<quint64> digitsValue(QStringView line, quint64 limit, QStringList &errors) {
    const Digits d = digitsOf(line, limit);
    if (!d.value)
        errors << conversionLine(line);
    return d.value;
}

// The number of an entry: the digits of its line, as a signed 32-bit number.
// A minus sign just before them makes it negative, so that "-1" names no
// entry rather than entry 1.
std::optional<qint64> entryNumber(QStringView line, QStringList &errors) {
    const Digits d = digitsOf(line, quint64(INT32_MAX));
    if (!d.value) {
        errors << conversionLine(line);
        return std::nullopt;
    }
    return d.minusBefore ? -qint64(*d.value) : qint64(*d.value);
}

// An input or output value: any number of digits; above 65535 it stays on.
std::optional<quint16> switchValue(QStringView line, QStringList &errors) {
    const Digits d = digitsOf(line, 65535);
    if (!d.any) {
        errors << conversionLine(line);
        return std::nullopt;
    }
    return d.value ? quint16(*d.value) : quint16(65535);
}

enum class Kind { Input, Output, Counter };

void readBlock(const QList<QStringView> &kept, qsizetype heading, qsizetype last, Kind kind, IoState &io,
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
    QList<QStringView> kept;
    for (QStringView line : QStringView(body).tokenize(u'\n'))
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
