#include "protocols/modbus/modbuscodec.h"

namespace modbus {

namespace {

void put16(QByteArray &b, quint16 v) {
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
}

quint8 byteAt(const QByteArray &b, qsizetype i) { return quint8(b.at(i)); }

quint16 be16(const QByteArray &b, qsizetype i) { return quint16(byteAt(b, i) << 8 | byteAt(b, i + 1)); }

quint32 be32(const QByteArray &b, qsizetype i) { return quint32(be16(b, i)) << 16 | be16(b, i + 2); }

QString hex(quint32 v, int digits) { return QString::number(v, 16).toUpper().rightJustified(digits, u'0'); }

// Function, start address, quantity (or coil value) and the optional byte
// count with its data: the PDU after the unit identifier.
QByteArray pdu(quint8 function, quint16 address, quint16 quantity, const QByteArray &data = {},
               bool withByteCount = false) {
    QByteArray p;
    p.append(char(function));
    put16(p, address);
    put16(p, quantity);
    if (withByteCount) {
        p.append(char(data.size()));
        p.append(data);
    }
    return p;
}

const QString rule = QStringLiteral("--------------------------------------"); // 38 hyphens

} // namespace

std::optional<QByteArray> buildRequest(const QString &func, const QString &method, qint64 value, quint16 tid,
                                       quint16 lastInput, quint16 lastOutput, const IoState &io) {
    const bool get = method == QLatin1String("get");
    const bool set = method == QLatin1String("set");
    const quint16 inputs = quint16(qMin<int>(lastInput, ioShown - 1) + 1);
    const quint16 outputs = quint16(qMin<int>(lastOutput, ioShown - 1) + 1);
    // Addresses are 16-bit on the wire; an index outside the map wraps there
    // like the device's own arithmetic would.
    const auto at = [value](quint16 base, int step) { return quint16(base + step * value); };

    QByteArray p;
    if (func == QLatin1String("inputs") && get) {
        p = pdu(4, inputsRegister, 1);
    } else if (func == QLatin1String("outputs") && get) {
        p = pdu(3, outputsRegister, 1);
    } else if (func == QLatin1String("outputs") && set) {
        // One bit per coil, output 0 in the least significant bit of the
        // first byte; as many bytes as the coils need.
        const int bytes = (outputs + 7) / 8;
        QByteArray data;
        data.append(char(value & 0xFF));
        if (bytes > 1)
            data.append(char((value >> 8) & 0xFF));
        p = pdu(15, coilBase, outputs, data, true);
    } else if (func == QLatin1String("output") && set) {
        // A toggle: on when the tool shows the output off, off when on. An
        // index outside the table has no known state and is switched on.
        const bool on = value >= 0 && value < ioTableSize && io.outputs[size_t(value)] != 0;
        p = pdu(5, at(coilBase, 1), on ? 0x0000 : 0xFF00);
    } else if (func == QLatin1String("counter") && get) {
        p = pdu(3, at(counterBase, 2), 2);
    } else if (func == QLatin1String("counter") && set) {
        p = pdu(16, at(counterBase, 2), 2, QByteArray(4, '\0'), true);
    } else if (func == QLatin1String("counters") && get) {
        p = pdu(4, counterBase, quint16(2 * inputs));
    } else if (func == QLatin1String("counters") && set) {
        p = pdu(16, counterBase, quint16(2 * inputs), QByteArray(4 * inputs, '\0'), true);
    } else {
        return std::nullopt;
    }

    QByteArray adu;
    adu.reserve(7 + p.size());
    put16(adu, tid);
    put16(adu, 0); // protocol identifier: Modbus
    put16(adu, quint16(1 + p.size()));
    adu.append(char(unitId));
    adu.append(p);
    return adu;
}

QStringList frameReport(const QString &prefix, const QByteArray &frame) {
    const qsizetype n = frame.size();
    const auto field16 = [&](qsizetype i) {
        return i + 2 <= n ? hex(be16(frame, i), 4) : QStringLiteral("--");
    };
    const auto field8 = [&](qsizetype i) { return i < n ? hex(byteAt(frame, i), 2) : QStringLiteral("--"); };

    QStringList out;
    out.reserve(10);
    out << prefix << rule << QStringLiteral("TID: ") + field16(0) << QStringLiteral("PID: ") + field16(2)
        << QStringLiteral("Len: ") + field16(4) << QStringLiteral("UID: ") + field8(6)
        << QStringLiteral("FCd: ") + field8(7);

    // The bytes after the function code that the length announces, as far as
    // they were received.
    qsizetype count = 0;
    if (n >= 6) {
        const int length = be16(frame, 4);
        count = qBound<qsizetype>(0, qMin<qsizetype>(length - 2, n - 8), n);
    }
    QString dump;
    dump.reserve(int(count * 3 + count / 16 * 2));
    for (qsizetype i = 0; i < count; ++i) {
        dump += hex(byteAt(frame, 8 + i), 2);
        dump += u' ';
        if (i % 16 == 15)
            dump += QStringLiteral("\r\n");
    }
    out << dump << rule + QStringLiteral("\r\n");
    return out;
}

ReplyOutcome applyReply(const QByteArray &frame, IoState &io, quint16 lastInput, quint16 lastOutput,
                        quint16 counterIndex) {
    ReplyOutcome out;
    const qsizetype n = frame.size();
    if (n < 8)
        return out; // no function code
    const int length = be16(frame, 4);
    const quint8 function = byteAt(frame, 7);
    const int inputs = qMin<int>(lastInput, ioShown - 1) + 1;
    const int outputs = qMin<int>(lastOutput, ioShown - 1) + 1;

    // Read responses: the byte count at byte 8, then the data from byte 9.
    // Only data that both the byte count covers and the frame holds counts.
    const auto dataBytes = [&]() -> qsizetype {
        if (n < 9)
            return 0;
        return qMin<qsizetype>(byteAt(frame, 8), n - 9);
    };

    switch (function) {
    case 3:
        if (length < 7) {
            if (dataBytes() < 2)
                break;
            const quint16 word = be16(frame, 9);
            for (int i = 0; i < outputs; ++i)
                io.outputs[size_t(i)] = quint16((word >> i) & 1);
            out.refresh = true;
        } else {
            if (dataBytes() < 4 || counterIndex >= ioTableSize)
                break;
            io.counters[counterIndex] = be32(frame, 9);
            out.refresh = true;
        }
        break;
    case 4:
        if (length <= 5) {
            if (dataBytes() < 2)
                break;
            const quint16 word = be16(frame, 9);
            for (int i = 0; i < inputs; ++i)
                io.inputs[size_t(i)] = quint16((word >> i) & 1);
            out.refresh = true;
        } else {
            // Whole counters only: a half counter would show a wrong value.
            const int covered = int(qMin<qsizetype>(inputs, dataBytes() / 4));
            for (int i = 0; i < covered; ++i)
                io.counters[size_t(i)] = be32(frame, 9 + 4 * i);
            out.refresh = covered > 0;
        }
        break;
    case 5:
        if (n >= 10 && be16(frame, 8) < 0x1030)
            out.followUp = FollowUp{QStringLiteral("outputs"), QStringLiteral("get"), 0};
        break;
    case 15:
        if (n >= 10 && be16(frame, 8) == coilBase)
            out.followUp = FollowUp{QStringLiteral("outputs"), QStringLiteral("get"), 0};
        break;
    case 16:
        if (n < 12)
            break;
        // One counter is two registers; more means all of them.
        if (byteAt(frame, 11) < 3)
            out.followUp = FollowUp{QStringLiteral("counter"), QStringLiteral("get"), counterIndex};
        else
            out.followUp = FollowUp{QStringLiteral("counters"), QStringLiteral("get"), 0};
        break;
    default: break; // exception responses (bit 7 set), functions 1 and 2, anything else
    }
    return out;
}

QList<QByteArray> AduStream::feed(const QByteArray &received) {
    m_buffer.append(received);
    QList<QByteArray> out;
    qsizetype pos = 0;
    while (m_buffer.size() - pos >= 6) {
        const int length = be16(m_buffer, pos + 4);
        if (length < minLength || length > maxLength) {
            // No frame can be cut from this: hand out everything as one
            // response and start afresh with the next bytes.
            out << m_buffer.mid(pos);
            pos = m_buffer.size();
            break;
        }
        if (m_buffer.size() - pos < 6 + length)
            break; // the rest of this ADU is still on its way
        out << m_buffer.mid(pos, 6 + length);
        pos += 6 + length;
    }
    m_buffer.remove(0, pos);
    return out;
}

} // namespace modbus
