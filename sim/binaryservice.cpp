#include "binaryservice.h"

#include "devicemodel.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace sim {
namespace bin {

quint16 word16(const QByteArray &bytes, int offset) {
    if (offset < 0 || offset + 2 > bytes.size())
        return 0;
    return quint16(quint8(bytes[offset]) | (quint8(bytes[offset + 1]) << 8));
}

quint32 word32(const QByteArray &bytes, int offset) {
    return quint32(word16(bytes, offset)) | (quint32(word16(bytes, offset + 2)) << 16);
}

QByteArray le16(quint32 value) {
    QByteArray b(2, '\0');
    b[0] = char(value & 0xFF);
    b[1] = char((value >> 8) & 0xFF);
    return b;
}

QByteArray le32(quint32 value) { return le16(value & 0xFFFF) + le16(value >> 16); }

QByteArray structure(quint16 type, const QByteArray &body) {
    return le16(0) + le16(0) + le16(type) + le16(quint32(8 + body.size())) + body;
}

std::optional<QByteArray> takeStructure(QByteArray &stream) {
    if (stream.size() < 8)
        return std::nullopt;
    const quint16 length = word16(stream, 6);
    if (length < 8 || length > 1024) {
        QByteArray all = stream;
        stream.clear();
        return all;
    }
    if (stream.size() < length)
        return std::nullopt;
    QByteArray one = stream.left(length);
    stream.remove(0, length);
    return one;
}

QByteArray expectedLogin(const QString &password, const QByteArray &key) {
    QByteArray text;
    for (QChar c : password)
        text += char(c.unicode() & 0xFF); // bytes, as the device stores them
    text += key;
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex().toUpper();
}

} // namespace bin

using namespace bin;

bool BinarySession::needsNoLogin() const { return m_model.password().isEmpty(); }

QByteArray BinarySession::state() const {
    if (m_model.inputCount() > 16 || m_model.outputCount() > 16)
        return structure(0x0131, le32(0) + le32(m_model.inputs()) + le32(m_model.outputs()));
    return structure(0x0031, le16(0) + le16(m_model.inputs()) + le16(m_model.outputs()));
}

QByteArray BinarySession::counter(int n, quint32 value) const {
    return structure(0x00B4, le16(quint32(n)) + le32(value));
}

QByteArray BinarySession::allCounters() const {
    QByteArray body = le16(0);
    for (int i = 0; i < qMax(1, m_model.inputCount()); ++i)
        body += le32(m_model.counter(i));
    return structure(0x00B5, body);
}

QByteArray BinarySession::greeting() {
    if (!m_announce)
        return {};
    return needsNoLogin() ? state() : structure(0x8004);
}

QByteArray BinarySession::reply(const QByteArray &request) {
    const quint16 type = word16(request, 4);
    if (type == 0x8002) { // KeyRequest: a fresh key each time
        m_key = QByteArray(16, '\0');
        for (char &c : m_key)
            c = char(QRandomGenerator::global()->bounded(256));
        return structure(0x8003, le32(quint32(m_key.size())) + m_key);
    }
    if (type == 0x8001) { // Login
        const bool ok = !m_key.isEmpty() && request.mid(8, 32) == expectedLogin(m_model.password(), m_key);
        m_key.clear(); // one try per key
        m_loggedIn = ok;
        if (!ok)
            return structure(0x8006);
        return m_registered ? structure(0x8005) + state() : structure(0x8005);
    }
    if (!loggedIn()) {
        if (type == 0x0021)
            m_registered = true;
        return structure(0x8004);
    }
    switch (type) {
    case 0x0021: // RegisterRequest
        m_registered = true;
        return state();
    case 0x0001: return state();
    case 0x0008: m_model.setAllOutputs(word16(request, 10)); return state();
    case 0x0009: m_model.setOutputs(word16(request, 8), word16(request, 10)); return state();
    case 0x00B0: return counter(word16(request, 8), m_model.counter(word16(request, 8)));
    case 0x00C0: {
        const int n = word16(request, 8);
        const QByteArray r = counter(n, m_model.counter(n));
        m_model.clearCounter(n);
        return r;
    }
    case 0x00B1: return allCounters();
    case 0x00C1: m_model.clearCounters(); return allCounters();
    case 0x01F0:
        return structure(0x00D0, le32(word32(request, 12)) + le32(m_model.articleNumber()) +
                                     le32(m_model.inputs()) + le32(m_model.outputs()));
    default: return {}; // not a request of this protocol
    }
}

QList<QByteArray> BinarySession::feed(QByteArray &input) {
    QList<QByteArray> replies;
    while (const std::optional<QByteArray> request = takeStructure(input))
        replies << reply(*request);
    return replies;
}

QByteArray BinarySession::withWrongLength(const QByteArray &reply) const {
    QByteArray r = reply;
    if (r.size() >= 8)
        r[6] = r[7] = '\0';
    return r;
}

} // namespace sim
