#include "protocols/binary/binarycodec.h"

#include "core/helpers.h"

#include <QCryptographicHash>

namespace binary {

namespace {

void put16(QByteArray &bytes, int offset, quint32 value) {
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char((value >> 8) & 0xFF);
}

void put32(QByteArray &bytes, int offset, quint32 value) {
    put16(bytes, offset, value & 0xFFFF);
    put16(bytes, offset + 2, value >> 16);
}

// A structure of length bytes, all zero but its type and length.
QByteArray structure(quint16 type, int length) {
    QByteArray bytes(length, '\0');
    put16(bytes, 4, type);
    put16(bytes, 6, quint32(length));
    return bytes;
}

// The four header words as report lines.
QStringList headerLines(const QByteArray &bytes) {
    return {hex4(word16(bytes, 0)), hex4(word16(bytes, 2)), hex4(word16(bytes, 4)), hex4(word16(bytes, 6))};
}

// Flag i of table from bit i of word, for i = 0 ... last.
void storeBits(std::array<quint16, ioTableSize> &table, quint32 word, quint16 last) {
    const int top = qMin<int>(last, ioTableSize - 1);
    for (int i = 0; i <= top; ++i)
        table[i] = (word & bitOfIndex[i]) ? 1 : 0;
}

} // namespace

QString hex4(quint32 value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }
QString hex8(quint32 value) { return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper(); }

quint16 word16(const QByteArray &bytes, int offset) {
    if (offset < 0 || offset + 2 > bytes.size())
        return 0;
    return quint16(quint8(bytes[offset]) | (quint8(bytes[offset + 1]) << 8));
}

quint32 word32(const QByteArray &bytes, int offset) {
    if (offset < 0 || offset + 4 > bytes.size())
        return 0;
    return quint32(word16(bytes, offset)) | (quint32(word16(bytes, offset + 2)) << 16);
}

std::optional<Request> buildRequest(const QString &structtype, quint32 value1, quint32 value2,
                                    const QString &optionText) {
    const quint32 v1 = value1 & 0xFFFF;
    const quint32 v2 = value2 & 0xFFFF;
    Request r;
    QString title;
    QStringList body; // the field lines after the header
    if (structtype == QLatin1String("options")) {
        const quint32 option = hexToUInt(optionText); // may throw: before any line
        r.bytes = structure(typeOptions, 16);
        put32(r.bytes, 8, 1);
        put32(r.bytes, 12, option);
        title = QStringLiteral("Options");
        body = {hex8(1), hex8(option)};
    } else if (structtype == QLatin1String("registerrequest")) {
        r.bytes = structure(typeRegisterRequest, 8);
        title = QStringLiteral("RegisterRequest");
    } else if (structtype == QLatin1String("readregister")) {
        r.bytes = structure(typeReadRegister, 8);
        title = QStringLiteral("ReadRegister");
    } else if (structtype == QLatin1String("readallcounter")) {
        r.bytes = structure(typeReadAllCounter, 8);
        title = QStringLiteral("ReadAllCounter");
    } else if (structtype == QLatin1String("clearallcounter")) {
        r.bytes = structure(typeClearAllCounter, 8);
        title = QStringLiteral("ClearAllCounter");
    } else if (structtype == QLatin1String("setbit")) {
        r.bytes = structure(typeSetBit, 12);
        put16(r.bytes, 8, v1);
        put16(r.bytes, 10, v2);
        title = QStringLiteral("SetBit");
        body = {hex4(v1), hex4(v2)};
    } else if (structtype == QLatin1String("readcounter") ||
               structtype == QLatin1String("readclearcounter")) {
        // Both report under the same title; only the type tells them apart.
        r.bytes = structure(
            structtype == QLatin1String("readcounter") ? typeReadCounter : typeReadClearCounter, 10);
        put16(r.bytes, 8, v1);
        title = QStringLiteral("Readcounter");
        body = {hex4(v1)};
    } else if (structtype == QLatin1String("writeregister")) {
        r.bytes = structure(typeWriteRegister, 12);
        put16(r.bytes, 8, 1); // the count of words that follow
        put16(r.bytes, 10, v1);
        title = QStringLiteral("Writeregister");
        body = {hex4(1), hex4(v1)};
    } else {
        return std::nullopt;
    }
    r.reportLines << QStringLiteral("BINARY -> send struct ") + title;
    r.reportLines << headerLines(r.bytes) << body;
    return r;
}

QString md5Hex(const QString &text) {
    // One byte per character, never an encoding: the device hashes bytes.
    QByteArray bytes(text.size(), '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = char(text[i].unicode() & 0xFF);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray keyRequest() { return structure(typeKeyRequest, 8); }

QByteArray login(const QString &response) {
    QByteArray bytes = structure(typeLogin, 40);
    const QByteArray text = response.toLatin1().left(32);
    bytes.replace(8, text.size(), text);
    return bytes;
}

QString loginResponse(const QString &password, const QByteArray &keyBytes) {
    return md5Hex(password + QString::fromLatin1(keyBytes)).toUpper();
}

Decoded decode(const QByteArray &structure, IoState &io, quint16 lastInput, quint16 lastOutput,
               const QString &password) {
    QByteArray buf = structure.left(bufferSize);
    const qsizetype received = buf.size();
    buf.append(QByteArray(bufferSize - received, '\0'));

    Decoded d;
    const QStringList header = headerLines(buf);
    auto receive = [&](const char *name) {
        d.reportLines << QStringLiteral("BINARY <- receive struct ") + QLatin1String(name);
        d.reportLines << header;
    };

    switch (word16(buf, 4)) {
    case typeAuthRequired:
        d.answer = keyRequest();
        receive("AuthRequired");
        d.reportLines << QString();
        d.answerLines << QStringLiteral("BINARY <- Send struct KeyRequest") << headerLines(d.answer);
        break;
    case typeKey: {
        const quint32 length = word32(buf, 8);
        // Only the key bytes this structure holds: a length beyond them
        // (up to 0xFFFFFFFF) must not read past it.
        const qsizetype present = qBound(qsizetype(0), received - 12, qsizetype(bufferSize - 12));
        const qsizetype used = qMin<qsizetype>(present, qsizetype(length));
        const QString response = loginResponse(password, buf.mid(12, used));
        d.answer = login(response);
        receive("Key");
        d.reportLines << hex8(length);
        for (int line = 0; line < 4; ++line) {
            QString dump;
            for (int i = 0; i < 16; ++i)
                dump += QStringLiteral("%1 ")
                            .arg(quint8(buf[12 + 16 * line + i]), 2, 16, QLatin1Char('0'))
                            .toUpper();
            d.reportLines << dump;
        }
        d.reportLines << QString();
        d.answerLines << QStringLiteral("BINARY <- Send struct Login") << headerLines(d.answer) << response;
        break;
    }
    case typeAuthOK:
        receive("AuthOK");
        d.reportLines << QString();
        break;
    case typeAuthFail:
        receive("AuthFail");
        d.closeClient = true;
        break;
    case typeWriteRegister: {
        const quint16 inputs = word16(buf, 10);
        storeBits(io.inputs, inputs, lastInput);
        d.reportLines << QStringLiteral("BINARY <- receive  struct WriteRegister") << header
                      << hex4(word16(buf, 8)) << hex4(inputs);
        d.refresh = true;
        break;
    }
    case typeWriteRegister32: {
        const quint32 inputs = word32(buf, 12);
        storeBits(io.inputs, inputs, lastInput);
        d.reportLines << QStringLiteral("BINARY <- receive  struct WriteRegister") << header
                      << hex4(word32(buf, 8)) << hex8(inputs);
        d.refresh = true;
        break;
    }
    case typeRegState: {
        const quint16 inputs = word16(buf, 10), outputs = word16(buf, 12);
        storeBits(io.inputs, inputs, lastInput);
        storeBits(io.outputs, outputs, lastOutput);
        receive("RegState");
        d.reportLines << hex4(inputs) << hex4(outputs);
        d.refresh = true;
        break;
    }
    case typeRegState32: {
        const quint32 inputs = word32(buf, 12), outputs = word32(buf, 16);
        storeBits(io.inputs, inputs, lastInput);
        storeBits(io.outputs, outputs, lastOutput);
        receive("RegState");
        d.reportLines << hex8(inputs) << hex8(outputs);
        d.refresh = true;
        break;
    }
    case typeCounter: {
        const quint16 n = word16(buf, 8);
        const quint32 value = word32(buf, 10);
        if (n < ioTableSize) // a number past the table stores nothing
            io.counters[n] = value;
        receive("Counter");
        d.reportLines << hex4(n) << hex8(value);
        d.refresh = true;
        break;
    }
    case typeAllCounter: {
        receive("AllCounter");
        const int top = qMin<int>(lastInput, ioTableSize - 1);
        for (int i = 0; i <= top; ++i) {
            io.counters[i] = word32(buf, 10 + 4 * i);
            d.reportLines << hex8(io.counters[i]);
        }
        d.refresh = true;
        break;
    }
    case typeDiagnoses:
        receive("Diagnoses");
        d.reportLines << hex8(word32(buf, 8)) << hex8(word32(buf, 12)) << hex8(word32(buf, 16))
                      << hex8(word32(buf, 20));
        break;
    default: d.reportLines << QStringLiteral("unknowen Structure Received") << QString(); break;
    }
    return d;
}

// ---- framing ------------------------------------------------------------------

void StructureStream::append(const QByteArray &bytes) {
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    const qsizetype room = maxBuffered - buffered();
    if (room > 0)
        m_buffer.append(bytes.left(room));
}

std::optional<QByteArray> StructureStream::next() {
    const qsizetype have = buffered();
    if (have < minLength)
        return std::nullopt;
    const quint16 length = word16(m_buffer, int(m_start + 6));
    if (length < minLength || length > maxLength) {
        // Garbage or a device out of step: what is here is one structure.
        QByteArray bytes = m_buffer.mid(m_start, bufferSize);
        clear();
        return bytes;
    }
    if (have < length)
        return std::nullopt;
    QByteArray bytes = m_buffer.mid(m_start, qMin<int>(length, bufferSize));
    m_start += length;
    if (m_start == m_buffer.size())
        clear();
    return bytes;
}

QList<QByteArray> splitDatagram(const QByteArray &datagram) {
    QList<QByteArray> out;
    qsizetype pos = 0;
    while (pos < datagram.size()) {
        const qsizetype rest = datagram.size() - pos;
        const int length = rest >= minLength ? word16(datagram, int(pos + 6)) : 0;
        if (length >= minLength && length <= maxLength && length <= rest) {
            out << datagram.mid(pos, qMin(length, bufferSize));
            pos += length;
            continue;
        }
        if (pos == 0 || rest >= minLength)
            out << datagram.mid(pos, bufferSize);
        break;
    }
    return out;
}

} // namespace binary
