#pragma once
// Small text and value helpers shared by the configuration reader, the reply
// parsers and identification. None of them has state.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// Cuts DataString at every occurrence of seperator (exact, case-sensitive,
// possibly longer than one character). Empty fields are kept, so the list has
// one field more than the separator occurs.
QStringList split(const QString &seperator, const QString &DataString);

// The digits "0" to "9" of rawstring, in order; everything else is dropped.
QString getvalueString(const QString &rawstring);

// getvalueString(rawstring) as a decimal number. When the digits do not
// convert (none at all, or above 2147483647), error receives the conversion
// message and the result is getvalueFailed, a value that is no index of any
// I/O table, so callers that index with it must check the range first.
constexpr int getvalueFailed = -1;
int getvalue(const QString &rawstring, QString *error = nullptr);

// True exactly for the text "1".
bool strtobool(const QString &boolstring);

// The four bytes of value, most significant first, as a dotted address.
QString longwordtoipstring(quint32 value);

// The conversion message for text: "'%s' ist kein gültiger Integerwert".
QString convertErrorText(const QString &text);

// Strict decimal conversion of an edit or configuration text: optional leading
// blanks, an optional sign, then decimal digits only, within signed 32 bits. A
// NUL ends the text. Throws EConvertError with the exact message otherwise.
qint32 strToInt(const QString &text);
// The same without throwing.
std::optional<qint32> tryStrToInt(const QString &text);

// Strict hexadecimal conversion: hexadecimal digits (either case) whose value
// fits in 32 bits; a NUL ends the text. Throws EConvertError whose message
// shows the text with a leading "$".
quint32 hexToUInt(const QString &text);
std::optional<quint32> tryHexToUInt(const QString &text);

// A local date and time as the device expects it: "dd.mm.yyyy,hh:nn:ss".
QString deviceTimeText(const QDateTime &t);
