#include "protocols/snmp/snmpcodec.h"

#include <array>

namespace snmp {

namespace {

// Offsets of the fields that differ between requests.
constexpr int msgLength = 1;
constexpr int pduType = 13;
constexpr int pduLength = 14;
constexpr int bindingsLength = 28;
constexpr int bindingLength = 30;
constexpr int oidLength = 32;
constexpr int nodeAt = 42;
constexpr int subidsAt = 43;

constexpr quint8 getRequest = 0xA0;
constexpr quint8 setRequest = 0xA3;

// The base message: a GetRequest for the login state (2.2.0) of node 0.
constexpr std::array<quint8, 48> baseMessage = {
    0x30, 0x2E,                                     // message: SEQUENCE
    0x02, 0x01, 0x00,                               // version: 0 = SNMPv1
    0x04, 0x06, 'v',  'o',  'r',  'm',  'i',  'l',  // community
    0xA0, 0x21,                                     // GetRequest-PDU
    0x02, 0x04, 0x36, 0x59, 0xCA, 0xFF,             // request-id
    0x02, 0x01, 0x00,                               // error-status
    0x02, 0x01, 0x00,                               // error-index
    0x30, 0x13,                                     // variable-bindings
    0x30, 0x11,                                     // one binding
    0x06, 0x0D,                                     // name: 13 bytes
    0x2B, 0x06, 0x01, 0x04, 0x01, 0xB5, 0x37, 0x01, // 1.3.6.1.4.1.6839.1
    0x02, 0x00,                                     // .2.node
    0x02, 0x02, 0x00,                               // .2.2.0
    0x05, 0x00,                                     // value: NULL
};

// The message being built: the base message in front, room for the longest
// login behind it.
class Message {
public:
    explicit Message(quint8 node) {
        std::copy(baseMessage.begin(), baseMessage.end(), m_bytes.begin());
        m_bytes[nodeAt] = node;
    }
    quint8 &operator[](int at) { return m_bytes[size_t(at)]; }
    quint8 operator[](int at) const { return m_bytes[size_t(at)]; }
    // Sets the PDU type and the four nested lengths from the total message
    // length L (the identifier length stays as the caller set it).
    void frame(quint8 pdu, int total) {
        m_bytes[pduType] = pdu;
        m_bytes[msgLength] = quint8(total - 2);
        m_bytes[pduLength] = quint8(total - 15);
        m_bytes[bindingsLength] = quint8(total - 29);
        m_bytes[bindingLength] = quint8(total - 31);
    }
    void put(int at, std::initializer_list<quint8> bytes) {
        for (quint8 b : bytes)
            m_bytes[size_t(at++)] = b;
    }
    QByteArray first(int count) const {
        return QByteArray(reinterpret_cast<const char *>(m_bytes.data()), count);
    }
    // The report text of the identifier: the subtree, the node, then the
    // `count` sub-identifiers from offset 43.
    QString oidText(int count) const { return identifierText(m_bytes.data(), count); }

    static QString identifierText(const quint8 *bytes, int count) {
        QString text = QLatin1String(subtreeText) + QString::number(bytes[nodeAt]);
        for (int i = 0; i < count; ++i)
            text += QLatin1Char('.') + QString::number(bytes[subidsAt + i]);
        return text;
    }

private:
    std::array<quint8, requestBufferSize> m_bytes{};
};

QString hex(quint32 value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

Request finish(const Message &m, int total, const QString &title, int subids, const QString &value = {}) {
    return Request{m.first(total), 1, ReportEntry{title, m.oidText(subids), value}};
}

} // namespace

QStringList reportLines(const ReportEntry &entry) {
    QStringList lines;
    if (!entry.title.isEmpty())
        lines << entry.title;
    lines << QStringLiteral("  OID = ") + entry.oid;
    if (!entry.value.isEmpty())
        lines << QStringLiteral("  Value = ") + entry.value;
    return lines;
}

RequestOutcome buildRequest(const QString &func, const QString &method, quint16 value1, quint16 value2,
                            quint16 node, const QString &password) {
    Message m(quint8(node & 0xFF));
    const bool get = method == QLatin1String("get");
    const quint8 n = quint8(value1 & 0xFF);
    const quint8 s = quint8(value2 & 0xFF);
    const bool numberFits = value1 >= 1 && value1 <= maxObjectNumber;

    if (func == QLatin1String("loginstate"))
        return {finish(m, 48, QStringLiteral("SNMP -> Get loginState"), 3), {}};

    if (func == QLatin1String("login")) {
        const QString pw = password.isEmpty() ? QStringLiteral("x") : password;
        const int p = int(pw.size());
        if (p > maxPasswordLength)
            return {std::nullopt,
                    QStringLiteral("SNMP -- Login not sent: the password is longer than %1 characters")
                        .arg(maxPasswordLength)};
        m.frame(setRequest, 48 + p);
        m.put(subidsAt, {0x02, 0x01, 0x00, 0x04, quint8(p)});
        for (int i = 0; i < p; ++i)
            m[48 + i] = quint8(pw.at(i).unicode() & 0xFF); // one byte per character: its low 8 bits
        return {finish(m, 48 + p, QString(), 3, pw), {}};
    }

    if (func == QLatin1String("logout")) {
        m.frame(setRequest, 49);
        m.put(subidsAt, {0x02, 0x03, 0x00, 0x02, 0x01, 0x01});
        return {finish(m, 49, QStringLiteral("SNMP -> Set logout"), 3), {}};
    }

    if (func == QLatin1String("inputs")) {
        if (!get)
            return {};
        m.put(subidsAt, {0x01, 0x04, 0x00});
        return {finish(m, 48, QStringLiteral("SNMP -> Get Inputs"), 3), {}};
    }

    if (func == QLatin1String("outputs")) {
        if (get) {
            m.put(subidsAt, {0x01, 0x06, 0x00});
            Request r = finish(m, 48, QStringLiteral("SNMP -> Get Outputs"), 3);
            r.sends = 2;
            return {r, {}};
        }
        m.frame(setRequest, 56);
        // Two 32-bit big-endian words in an 8-byte OCTET STRING: the mask,
        // then the states.
        m.put(subidsAt, {0x01, 0x07, 0x00, 0x04, 0x08, 0x00, 0x00, quint8(value1 >> 8), quint8(value1), 0x00,
                         0x00, quint8(value2 >> 8), quint8(value2)});
        const QString shown = hex(m[50], 2) + hex(m[51], 2) + hex(m[52], 2) + hex(m[53], 2);
        return {finish(m, 56, QStringLiteral("SNMP -> Set Outputs"), 3, shown + QStringLiteral(" (hex)")),
                {}};
    }

    if (func == QLatin1String("output")) {
        if (!numberFits)
            return {};
        m[oidLength] = 0x0F;
        if (get) {
            m.frame(getRequest, 50);
            m.put(subidsAt, {0x01, 0x05, 0x01, 0x02, n, 0x05, 0x00});
            return {finish(m, 50, QStringLiteral("SNMP -> Get Single Output ") + QString::number(value1), 5),
                    {}};
        }
        m.frame(setRequest, 51);
        m.put(subidsAt, {0x01, 0x05, 0x01, 0x02, n, 0x02, 0x01, s});
        return {finish(m, 51,
                       QStringLiteral("SNMP -> Set Single Output ") + QString::number(value1) +
                           QStringLiteral(" to ") + QString::number(value2),
                       5),
                {}};
    }

    if (func == QLatin1String("counter")) {
        if (!numberFits)
            return {};
        m[oidLength] = 0x0F;
        m.frame(getRequest, 50);
        // Reading object 1.3.1.3.n returns the counter and clears it on the
        // device: the clear is a GetRequest too.
        m.put(subidsAt, {0x01, 0x03, 0x01, quint8(get ? 0x02 : 0x03), n, 0x05, 0x00});
        const QString title = get ? QStringLiteral("SNMP -> Get Single Counter ")
                                  : QStringLiteral("SNMP -> Clear Single Counter ");
        return {finish(m, 50, title + QString::number(value1), 5), {}};
    }

    return {};
}

Reply decodeReply(QByteArrayView datagram, IoState &io, quint16 lastInput, quint16 lastOutput) {
    std::array<quint8, receiveBufferSize> r{};
    const qsizetype count = qMin<qsizetype>(datagram.size(), receiveBufferSize);
    for (qsizetype i = 0; i < count; ++i)
        r[size_t(i)] = quint8(datagram[i]);
    const auto word16 = [&r] { return quint16((r[50] << 8) | r[51]); };
    const auto entry = [&r](const char *title, int subids, const QString &value) {
        return ReportEntry{QLatin1String(title), Message::identifierText(r.data(), subids),
                           value + QStringLiteral(" (hex)")};
    };
    // A number from the wire counts from 1; only 1 to the table size is stored.
    const auto index = [](quint8 number) { return number >= 1 && number <= ioTableSize ? number - 1 : -1; };
    const int inputBound = qMin<int>(lastInput, ioTableSize - 1);
    const int outputBound = qMin<int>(lastOutput, ioTableSize - 1);

    Reply reply;
    if (r[43] == 2 && r[44] == 2) {
        reply.loginStatus = r[48] == 0 ? QStringLiteral("Login = 0") : QStringLiteral("Login = 1");
        if (r[48] == 0)
            reply.followUp = FollowUp::login;
        reply.entry = entry("SNMP <- Loginstate", 3, hex(r[48], 2));
        return reply;
    }
    if (r[43] != 1)
        return reply;

    switch (r[44]) {
    case 3:
        if (r[45] == 1 && (r[46] == 2 || r[46] == 3)) {
            const quint32 v = (quint32(r[50]) << 24) | (quint32(r[51]) << 16) | (quint32(r[52]) << 8) | r[53];
            if (const int i = index(r[47]); i >= 0)
                io.counters[size_t(i)] = v;
            reply.entry = entry("SNMP <- Counter", 5, hex(v, 4));
        }
        break;
    case 4: {
        const quint16 w = word16();
        for (int i = 0; i <= inputBound; ++i)
            io.inputs[size_t(i)] = (w & bitOfIndex[size_t(i)]) ? 1 : 0;
        reply.entry = entry("SNMP <- Input Value", 3, hex(w, 4));
        break;
    }
    case 5: {
        reply.entry = entry("SNMP <- Output (single)", 5, hex(r[53], 2));
        const int i = index(r[47]);
        if (i < 0)
            break;
        if (r[49] == 1) {
            // The answer to a set: read the output back for its real state.
            reply.followUp = FollowUp::readBack;
            reply.output = r[47];
        } else if (r[49] == 4) {
            io.outputs[size_t(i)] = r[53];
        }
        break;
    }
    case 6: {
        const quint16 w = word16();
        for (int i = 0; i <= outputBound; ++i)
            io.outputs[size_t(i)] = (w & bitOfIndex[size_t(i)]) ? 1 : 0;
        reply.entry = entry("SNMP <- Output Value", 3, hex(w, 4));
        break;
    }
    default: break;
    }
    return reply;
}

} // namespace snmp
