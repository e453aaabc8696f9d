#include "snmpservice.h"

#include "devicemodel.h"

#include <QList>
#include <functional>

namespace sim {

namespace {

constexpr quint8 tagInteger = 0x02;
constexpr quint8 tagOctets = 0x04;
constexpr quint8 tagOid = 0x06;
constexpr quint8 tagSequence = 0x30;
constexpr quint8 pduGet = 0xA0;
constexpr quint8 pduGetNext = 0xA1;
constexpr quint8 pduResponse = 0xA2;
constexpr quint8 pduSet = 0xA3;

enum ErrorStatus : quint8 { noError = 0, noSuchName = 2, badValue = 3, readOnly = 4 };

// One BER element: its tag, its content and the whole element's bytes.
struct Element {
    quint8 tag = 0;
    QByteArray content;
    QByteArray whole;
};

// Reads the element at pos (definite lengths only, short or long form) and
// moves pos past it; nothing when the bytes are not one.
std::optional<Element> readElement(const QByteArray &bytes, qsizetype &pos) {
    const qsizetype start = pos;
    if (pos + 2 > bytes.size())
        return std::nullopt;
    const quint8 tag = quint8(bytes[pos++]);
    if ((tag & 0x1F) == 0x1F)
        return std::nullopt; // multi-byte tags appear nowhere in SNMP
    qsizetype length = quint8(bytes[pos++]);
    if (length & 0x80) {
        const int count = int(length & 0x7F);
        if (count == 0 || count > 3 || pos + count > bytes.size())
            return std::nullopt; // indefinite, or longer than any datagram
        length = 0;
        for (int i = 0; i < count; ++i)
            length = (length << 8) | quint8(bytes[pos++]);
    }
    if (length > bytes.size() - pos)
        return std::nullopt;
    Element e{tag, bytes.mid(pos, length), {}};
    pos += length;
    e.whole = bytes.mid(start, pos - start);
    return e;
}

// The elements of a constructed element's content, all of them or nothing.
std::optional<QList<Element>> readAll(const QByteArray &content) {
    QList<Element> list;
    qsizetype pos = 0;
    while (pos < content.size()) {
        std::optional<Element> e = readElement(content, pos);
        if (!e)
            return std::nullopt;
        list << *e;
    }
    return list;
}

QByteArray element(quint8 tag, const QByteArray &content) {
    QByteArray out(1, char(tag));
    const qsizetype n = content.size();
    if (n < 0x80) {
        out += char(n);
    } else if (n <= 0xFF) {
        out += char(0x81);
        out += char(n);
    } else {
        out += char(0x82);
        out += char(n >> 8);
        out += char(n & 0xFF);
    }
    return out + content;
}

QByteArray smallInteger(quint8 value) { return element(tagInteger, QByteArray(1, char(value))); }

QByteArray word32(quint32 value) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(value >> (24 - 8 * i));
    return element(tagOctets, b);
}

quint32 readWord32(const QByteArray &b, int at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

// The sub-identifiers of an OBJECT IDENTIFIER's content; nothing when malformed.
std::optional<QList<quint32>> decodeOid(const QByteArray &content) {
    QList<quint32> ids;
    quint64 value = 0;
    bool inside = false;
    for (char c : content) {
        const quint8 b = quint8(c);
        if (!inside && b == 0x80)
            return std::nullopt; // a sub-identifier may not start with a zero group
        value = (value << 7) | (b & 0x7F);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        inside = b & 0x80;
        if (inside)
            continue;
        if (ids.isEmpty()) {
            const quint32 first = value < 80 ? quint32(value / 40) : 2;
            ids << first << quint32(value - 40 * first);
        } else {
            ids << quint32(value);
        }
        value = 0;
    }
    if (inside || ids.isEmpty())
        return std::nullopt;
    return ids;
}

const QList<quint32> subtree = {1, 3, 6, 1, 4, 1, 6839, 1, 2};

struct Binding {
    QByteArray name;       // the OBJECT IDENTIFIER element as received
    QList<quint32> object; // the sub-identifiers after the node
    Element value;
};

} // namespace

std::optional<QByteArray> SnmpService::reply(const QByteArray &datagram) {
    qsizetype pos = 0;
    const std::optional<Element> message = readElement(datagram, pos);
    if (!message || message->tag != tagSequence)
        return std::nullopt;
    const std::optional<QList<Element>> fields = readAll(message->content);
    if (!fields || fields->size() != 3)
        return std::nullopt;
    const Element &version = (*fields)[0], &community = (*fields)[1], &pdu = (*fields)[2];
    if (version.tag != tagInteger || version.content != QByteArray(1, '\0'))
        return std::nullopt; // SNMPv1 only
    if (community.tag != tagOctets || community.content != "vormil")
        return std::nullopt; // a wrong community is not answered
    if (pdu.tag != pduGet && pdu.tag != pduGetNext && pdu.tag != pduSet)
        return std::nullopt;
    const std::optional<QList<Element>> parts = readAll(pdu.content);
    if (!parts || parts->size() != 4 || (*parts)[0].tag != tagInteger || (*parts)[3].tag != tagSequence)
        return std::nullopt;
    const Element &requestId = (*parts)[0];
    const std::optional<QList<Element>> list = readAll((*parts)[3].content);
    if (!list)
        return std::nullopt;

    QList<Binding> bindings;
    for (const Element &b : *list) {
        const std::optional<QList<Element>> pair = readAll(b.content);
        if (b.tag != tagSequence || !pair || pair->size() != 2 || (*pair)[0].tag != tagOid)
            return std::nullopt;
        const std::optional<QList<quint32>> ids = decodeOid((*pair)[0].content);
        if (!ids)
            return std::nullopt;
        Binding binding{(*pair)[0].whole, {}, (*pair)[1]};
        // Under the subtree and a node (any node: see the header).
        if (ids->size() > subtree.size() + 1 && ids->mid(0, subtree.size()) == subtree)
            binding.object = ids->mid(subtree.size() + 1);
        bindings << binding;
    }

    quint8 status = noError;
    quint8 index = 0;
    QList<QByteArray> values;
    const auto fail = [&](quint8 s, int i) {
        status = s;
        index = quint8(qMin(i + 1, 255));
    };
    using Ids = QList<quint32>;
    const auto numbered = [](const Ids &o, const Ids &prefix, int count) {
        return o.size() == prefix.size() + 1 && o.mid(0, prefix.size()) == prefix && o.last() >= 1 &&
               o.last() <= quint32(count);
    };

    if (pdu.tag != pduSet) {
        for (int i = 0; i < bindings.size() && status == noError; ++i) {
            const Ids &o = bindings[i].object;
            const int n = o.isEmpty() ? 0 : int(o.last());
            if (pdu.tag == pduGetNext)
                fail(noSuchName, i); // the device's objects are not walked
            else if (o == Ids{2, 2, 0})
                values << smallInteger(m_loggedIn ? 1 : 0);
            else if (o == Ids{1, 4, 0})
                values << word32(m_model.inputs());
            else if (o == Ids{1, 6, 0})
                values << word32(m_model.outputs());
            else if (numbered(o, {1, 5, 1, 2}, m_model.outputCount()))
                values << word32((m_model.outputs() >> (n - 1)) & 1u);
            else if (numbered(o, {1, 3, 1, 2}, m_model.inputCount()))
                values << word32(m_model.counter(n - 1));
            else if (numbered(o, {1, 3, 1, 3}, m_model.inputCount())) {
                // Reading this object hands out the counter and clears it.
                values << word32(m_model.counter(n - 1));
                m_model.clearCounter(n - 1);
            } else
                fail(noSuchName, i);
        }
    } else {
        // A set is all or nothing: every binding is checked before any applies.
        QList<std::function<void()>> apply;
        for (int i = 0; i < bindings.size() && status == noError; ++i) {
            const Ids &o = bindings[i].object;
            const Element &v = bindings[i].value;
            const int n = o.isEmpty() ? 0 : int(o.last());
            const bool oneByteInteger = v.tag == tagInteger && v.content.size() == 1;
            if (o == Ids{2, 1, 0}) {
                if (v.tag != tagOctets)
                    fail(badValue, i);
                // A device without a password takes any login (the tool
                // sends "x" then, since an empty password is no login).
                else if (!m_model.password().isEmpty() && v.content != m_model.password().toLatin1())
                    fail(badValue, i);
                else
                    apply << [this] { m_loggedIn = true; };
            } else if (o == Ids{2, 3, 0}) {
                if (!oneByteInteger)
                    fail(badValue, i);
                else
                    apply << [this] { m_loggedIn = false; };
            } else if (o == Ids{1, 7, 0}) {
                if (!m_loggedIn)
                    fail(noSuchName, i);
                else if (v.tag != tagOctets || v.content.size() != 8)
                    fail(badValue, i);
                else
                    apply <<
                        [this, c = v.content] { m_model.setOutputs(readWord32(c, 0), readWord32(c, 4)); };
            } else if (numbered(o, {1, 5, 1, 2}, m_model.outputCount())) {
                if (!m_loggedIn)
                    fail(noSuchName, i);
                else if (!oneByteInteger)
                    fail(badValue, i);
                else
                    apply << [this, n, on = v.content[0] != 0] { m_model.setOutput(n - 1, on); };
            } else if (o == Ids{2, 2, 0} || o == Ids{1, 4, 0} || o == Ids{1, 6, 0} ||
                       numbered(o, {1, 3, 1, 2}, m_model.inputCount()) ||
                       numbered(o, {1, 3, 1, 3}, m_model.inputCount())) {
                fail(readOnly, i);
            } else {
                fail(noSuchName, i);
            }
        }
        if (status == noError)
            for (const auto &a : apply)
                a();
    }

    // The response carries the request's bindings: with the values read for
    // a get, as sent for a set and for an error.
    QByteArray list2;
    for (int i = 0; i < bindings.size(); ++i) {
        const QByteArray value = status == noError && pdu.tag != pduSet ? values[i] : bindings[i].value.whole;
        list2 += element(tagSequence, bindings[i].name + value);
    }
    const QByteArray body =
        requestId.whole + smallInteger(status) + smallInteger(index) + element(tagSequence, list2);
    return element(tagSequence, smallInteger(0) + element(tagOctets, "vormil") + element(pduResponse, body));
}

QList<QByteArray> SnmpSession::feed(QByteArray &input) {
    const QByteArray datagram = input;
    input.clear();
    return {m_service.reply(datagram).value_or(QByteArray())};
}

QByteArray SnmpSession::withWrongLength(const QByteArray &reply) const {
    QByteArray r = reply;
    if (r.size() > 1 && quint8(r[1]) < 0x7F)
        r[1] = char(quint8(r[1]) + 1);
    return r;
}

} // namespace sim
