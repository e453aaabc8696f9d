#pragma once
// The settings file, as text: 50 lines "key:value" in a fixed order, each
// ended by CR LF. Nothing here knows the window; windowconfig.h moves the
// values between these lines and the controls.
#include <QByteArray>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>
#include <array>

enum class ConfigKind {
    Flag,    // "1" ticked or set, anything else not
    Text,    // a control's text, unchanged; may hold colons
    Integer, // a decimal number, "-" when negative
    Unread,  // written, never read
};

struct ConfigKey {
    QLatin1StringView name;
    ConfigKind kind;
};

constexpr int configKeyCount = 50;
// The keys in the order in which the file holds them.
extern const std::array<ConfigKey, configKeyCount> configKeys;
// The index of name in configKeys (exact, with case); -1 for no key.
int configKeyIndex(QStringView name);

// The file is always written to this name in the executable's directory.
inline constexpr QLatin1StringView defaultConfigName{"defaulswt.cfg"};

// One line as written: key, ":" and value. A line break inside the value (a
// password pasted with its newline) is removed, since it would cut the line
// in two on reading.
QString configLine(int key, const QString &value);
QString flagValue(bool set);

// The bytes of a file holding lines: UTF-8 without a byte-order mark, CR LF
// after every line including the last.
QByteArray configFileBytes(const QStringList &lines);
// The lines of a file's bytes. A UTF-8 byte-order mark is dropped; the text
// is UTF-8 when it is valid UTF-8 and Latin-1 otherwise (files of older
// versions were written in the 8-bit code page). Lines end at CR LF, LF or CR;
// the break after the last line does not start another.
QStringList configFileLines(const QByteArray &bytes);

// What one line says. key is -1 for a line that sets nothing: an empty line,
// an unknown key, "onlyio", or a bad line (then error holds the message).
struct ConfigSetting {
    int key = -1;
    bool flag = false; // Flag keys
    qint32 number = 0; // Integer keys
    QString text;      // Text keys: everything after the first colon
    QString error;     // the conversion or field message of a bad line
};
// Reads one line. Flag and Integer keys take the field between the first and
// a second colon (files have always been read that way); Text keys take the
// rest of the line, colons included. A known key without a colon, or an
// Integer value that is no decimal number, makes a bad line.
ConfigSetting readConfigLine(const QString &line);
