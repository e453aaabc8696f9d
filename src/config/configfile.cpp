#include "config/configfile.h"

#include "core/helpers.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

const std::array<ConfigKey, configKeyCount> configKeys = {{
    {"hardcfg"_L1, ConfigKind::Flag},
    {"onlyio"_L1, ConfigKind::Unread},
    {"toppos"_L1, ConfigKind::Integer},
    {"leftpos"_L1, ConfigKind::Integer},
    {"ip"_L1, ConfigKind::Text},
    {"httpport"_L1, ConfigKind::Text},
    {"password"_L1, ConfigKind::Text},
    {"device"_L1, ConfigKind::Integer},
    {"mode"_L1, ConfigKind::Integer},
    {"getall"_L1, ConfigKind::Flag},
    {"getallinterval"_L1, ConfigKind::Text},
    {"getinputs"_L1, ConfigKind::Flag},
    {"getinputsinterval"_L1, ConfigKind::Text},
    {"getoutputs"_L1, ConfigKind::Flag},
    {"getoutputsinterval"_L1, ConfigKind::Text},
    {"getcounter"_L1, ConfigKind::Flag},
    {"getcounterinterval"_L1, ConfigKind::Text},
    {"getcounterclear"_L1, ConfigKind::Flag},
    {"getcounterclearinterval"_L1, ConfigKind::Text},
    {"setoutput"_L1, ConfigKind::Flag},
    {"setoutputinterval"_L1, ConfigKind::Text},
    {"resetoutputinterval"_L1, ConfigKind::Text},
    {"setoutputstate"_L1, ConfigKind::Text},
    {"setoutputmask"_L1, ConfigKind::Text},
    {"resetoutputstate"_L1, ConfigKind::Text},
    {"resetoutputmask"_L1, ConfigKind::Text},
    {"goround"_L1, ConfigKind::Flag},
    {"goroundinterval"_L1, ConfigKind::Text},
    {"tcpasciiport"_L1, ConfigKind::Text},
    {"reconnect"_L1, ConfigKind::Flag},
    {"udplocalport"_L1, ConfigKind::Text},
    {"udpremoteport"_L1, ConfigKind::Text},
    {"localserverport"_L1, ConfigKind::Text},
    {"disconnectserver"_L1, ConfigKind::Flag},
    {"disconnectservertime"_L1, ConfigKind::Text},
    {"tcpbinport"_L1, ConfigKind::Text},
    {"reconnectbin"_L1, ConfigKind::Flag},
    {"udplocalportbin"_L1, ConfigKind::Text},
    {"udpremoteportbin"_L1, ConfigKind::Text},
    {"localserverportbin"_L1, ConfigKind::Text},
    {"disconnectserverbin"_L1, ConfigKind::Flag},
    {"disconnectservertimebin"_L1, ConfigKind::Text},
    {"tcpmodbusport"_L1, ConfigKind::Text},
    {"reconnectmodbus"_L1, ConfigKind::Flag},
    {"udplocalportsnmp"_L1, ConfigKind::Text},
    {"udpremoteportsnmp"_L1, ConfigKind::Text},
    {"viernull"_L1, ConfigKind::Flag},
    {"report"_L1, ConfigKind::Flag},
    {"autoclear"_L1, ConfigKind::Flag},
    {"autoclearlines"_L1, ConfigKind::Text},
}};

int configKeyIndex(QStringView name) {
    for (int i = 0; i < configKeyCount; ++i)
        if (name == configKeys[i].name)
            return i;
    return -1;
}

namespace {

// Characters that end a line for a reader of the file or for the text widget
// that holds the lines in between: CR, LF, NEL, the Unicode line and
// paragraph separators, and the text widget's two frame marks.
bool breaksLine(QChar c) {
    switch (c.unicode()) {
    case u'\r':
    case u'\n':
    case 0x0085:
    case 0x2028:
    case 0x2029:
    case 0xFDD0:
    case 0xFDD1: return true;
    default: return false;
    }
}

} // namespace

QString configLine(int key, const QString &value) {
    QString line = configKeys[key].name + u':';
    line.reserve(line.size() + value.size());
    for (QChar c : value)
        if (!breaksLine(c))
            line += c;
    return line;
}

QString flagValue(bool set) { return set ? u"1"_s : u"0"_s; }

QByteArray configFileBytes(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

QStringList configFileLines(const QByteArray &bytes) {
    QByteArrayView raw(bytes);
    if (raw.startsWith("\xEF\xBB\xBF"))
        raw = raw.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError())
        text = QString::fromLatin1(raw);

    QStringList lines;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(from, i - from);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        from = i + 1;
    }
    if (from < text.size())
        lines << text.mid(from);
    return lines;
}

ConfigSetting readConfigLine(const QString &line) {
    ConfigSetting s;
    const QStringList fields = split(u":"_s, line);
    const int key = configKeyIndex(fields.first());
    if (key < 0 || configKeys[key].kind == ConfigKind::Unread)
        return s;
    if (fields.size() < 2) {
        // The value field of a line without a colon does not exist.
        s.error = u"Listenindex außerhalb des gültigen Bereichs (%1)"_s.arg(1);
        return s;
    }
    switch (configKeys[key].kind) {
    case ConfigKind::Flag: s.flag = strtobool(fields[1]); break;
    case ConfigKind::Text: s.text = line.mid(fields.first().size() + 1); break;
    case ConfigKind::Integer: {
        const auto number = tryStrToInt(fields[1]);
        if (!number) {
            s.error = convertErrorText(fields[1]);
            return s;
        }
        s.number = *number;
        break;
    }
    case ConfigKind::Unread: break;
    }
    s.key = key;
    return s;
}
