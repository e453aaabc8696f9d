#include "core/helpers.h"

#include "core/errors.h"

QStringList split(const QString &seperator, const QString &DataString) {
    QStringList fields;
    if (seperator.isEmpty()) {
        // An empty separator occurs nowhere: the whole text is the one field.
        fields << DataString;
        return fields;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = DataString.indexOf(seperator, from, Qt::CaseSensitive);
        if (at < 0)
            break;
        fields << DataString.mid(from, at - from);
        from = at + seperator.size();
    }
    fields << DataString.mid(from);
    return fields;
}

QString getvalueString(const QString &rawstring) {
    QString digits;
    for (QChar c : rawstring)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    return digits;
}

int getvalue(const QString &rawstring, QString *error) {
    const QString digits = getvalueString(rawstring);
    const auto value = tryStrToInt(digits);
    if (!value) {
        if (error)
            *error = convertErrorText(digits);
        return getvalueFailed;
    }
    return *value;
}

bool strtobool(const QString &boolstring) { return boolstring == QLatin1String("1"); }

QString longwordtoipstring(quint32 value) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg((value >> 24) & 0xFF)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}

QString convertErrorText(const QString &text) {
    return QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text);
}

namespace {

// The text up to, not including, its first NUL: a NUL ends every number.
QStringView beforeNul(const QString &text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? QStringView(text) : QStringView(text).left(nul);
}

} // namespace

std::optional<qint32> tryStrToInt(const QString &text) {
    const QStringView t = beforeNul(text);
    qsizetype i = 0;
    while (i < t.size() && t[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > qint64(1) << 31)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return qint32(value);
}

qint32 strToInt(const QString &text) {
    const auto value = tryStrToInt(text);
    if (!value)
        throw EConvertError(convertErrorText(text));
    return *value;
}

std::optional<quint32> tryHexToUInt(const QString &text) {
    const QStringView t = beforeNul(text);
    if (t.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        int digit;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else
            return std::nullopt;
        value = value * 16 + quint64(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return quint32(value);
}

quint32 hexToUInt(const QString &text) {
    const auto value = tryHexToUInt(text);
    if (!value)
        throw EConvertError(convertErrorText(QLatin1Char('$') + text));
    return *value;
}

QString deviceTimeText(const QDateTime &t) { return t.toString(QStringLiteral("dd.MM.yyyy,HH:mm:ss")); }
