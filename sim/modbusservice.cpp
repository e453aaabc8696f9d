#include "modbusservice.h"

#include "devicemodel.h"

#include <QtEndian>

namespace sim {

namespace {

constexpr quint16 coilBase = 0x1020;
constexpr quint16 inputsRegister = 0x2000;
constexpr quint16 outputsRegister = 0x2002;
constexpr quint16 counterBase = 0x5006;

constexpr quint8 illegalFunction = 1;
constexpr quint8 illegalAddress = 2;
constexpr quint8 illegalValue = 3;

quint16 be16(const QByteArray &b, qsizetype i) { return quint16(quint8(b[i]) << 8 | quint8(b[i + 1])); }

void put16(QByteArray &b, quint16 v) {
    b.append(char(v >> 8));
    b.append(char(v));
}

QByteArray exception(quint8 function, quint8 code) {
    QByteArray p;
    p.append(char(function | 0x80));
    p.append(char(code));
    return p;
}

} // namespace

bool ModbusService::counterRegister(quint16 address, int &counter, bool &high) const {
    if (address < counterBase)
        return false;
    const int offset = address - counterBase;
    counter = offset / 2;
    high = offset % 2 == 0;
    return counter < m_model.inputCount();
}

bool ModbusService::readRegister(bool input, quint16 address, quint16 &value) const {
    const quint32 bits = input ? m_model.inputs() : m_model.outputs();
    const int channels = input ? m_model.inputCount() : m_model.outputCount();
    const quint16 word = input ? inputsRegister : outputsRegister;
    if (address == word && channels > 0) {
        value = quint16(bits);
        return true;
    }
    if (address == word + 1 && channels > 16) {
        value = quint16(bits >> 16);
        return true;
    }
    int counter = 0;
    bool high = false;
    if (counterRegister(address, counter, high)) {
        const quint32 c = m_model.counter(counter);
        value = quint16(high ? c >> 16 : c);
        return true;
    }
    return false;
}

QByteArray ModbusService::pdu(const QByteArray &request) {
    const quint8 function = quint8(request[0]);
    const auto fixedSize = [&](int size) { return request.size() == size; };
    switch (function) {
    case 1: { // read coils
        if (!fixedSize(5))
            return exception(function, illegalValue);
        const quint16 start = be16(request, 1), count = be16(request, 3);
        if (count < 1 || count > 2000)
            return exception(function, illegalValue);
        if (start < coilBase || start + count > coilBase + m_model.outputCount())
            return exception(function, illegalAddress);
        QByteArray p;
        p.append(char(function));
        p.append(char((count + 7) / 8));
        const quint32 bits = m_model.outputs() >> (start - coilBase);
        for (int i = 0; i < (count + 7) / 8; ++i) {
            const int left = count - 8 * i;
            p.append(char((bits >> (8 * i)) & (left >= 8 ? 0xFF : (1u << left) - 1)));
        }
        return p;
    }
    case 3:
    case 4: { // read holding / input registers
        if (!fixedSize(5))
            return exception(function, illegalValue);
        const quint16 start = be16(request, 1), count = be16(request, 3);
        if (count < 1 || count > 125)
            return exception(function, illegalValue);
        QByteArray p;
        p.append(char(function));
        p.append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            quint16 value = 0;
            if (start + i > 0xFFFF || !readRegister(function == 4, quint16(start + i), value))
                return exception(function, illegalAddress);
            put16(p, value);
        }
        return p;
    }
    case 5: { // write single coil
        if (!fixedSize(5))
            return exception(function, illegalValue);
        const quint16 address = be16(request, 1), value = be16(request, 3);
        if (value != 0xFF00 && value != 0x0000)
            return exception(function, illegalValue);
        if (address < coilBase || address >= coilBase + m_model.outputCount())
            return exception(function, illegalAddress);
        m_model.setOutput(address - coilBase, value == 0xFF00);
        return request; // the echo
    }
    case 15: { // write multiple coils
        if (request.size() < 6)
            return exception(function, illegalValue);
        const quint16 start = be16(request, 1), count = be16(request, 3);
        const int bytes = quint8(request[5]);
        if (count < 1 || count > 1968 || bytes != (count + 7) / 8 || request.size() != 6 + bytes)
            return exception(function, illegalValue);
        if (start < coilBase || start + count > coilBase + m_model.outputCount())
            return exception(function, illegalAddress);
        quint32 state = 0;
        for (int i = 0; i < bytes; ++i)
            state |= quint32(quint8(request[6 + i])) << (8 * i);
        const quint32 mask = (count >= 32 ? 0xFFFFFFFFu : (1u << count) - 1) << (start - coilBase);
        m_model.setOutputs(mask, state << (start - coilBase));
        return request.left(5);
    }
    case 16: { // write multiple registers: the counters
        if (request.size() < 6)
            return exception(function, illegalValue);
        const quint16 start = be16(request, 1), count = be16(request, 3);
        const int bytes = quint8(request[5]);
        if (count < 1 || count > 123 || bytes != 2 * count || request.size() != 6 + bytes)
            return exception(function, illegalValue);
        int counter = 0;
        bool high = false;
        for (int i = 0; i < count; ++i)
            if (start + i > 0xFFFF || !counterRegister(quint16(start + i), counter, high))
                return exception(function, illegalAddress);
        for (int i = 0; i < count; ++i) {
            counterRegister(quint16(start + i), counter, high);
            const quint32 old = m_model.counter(counter);
            const quint32 word = be16(request, 6 + 2 * i);
            m_model.setCounter(counter, high ? (old & 0xFFFF) | word << 16 : (old & 0xFFFF0000u) | word);
        }
        return request.left(5);
    }
    default: return exception(function, illegalFunction);
    }
}

QByteArray ModbusService::reply(const QByteArray &adu) {
    if (adu.size() < 8 || be16(adu, 2) != 0)
        return {};
    const QByteArray p = pdu(adu.mid(7));
    QByteArray out = adu.left(4);
    put16(out, quint16(1 + p.size()));
    out.append(adu[6]);
    out.append(p);
    return out;
}

QList<QByteArray> ModbusSession::feed(QByteArray &input) {
    QList<QByteArray> replies;
    while (!m_close && input.size() >= 6) {
        const int length = be16(input, 4);
        if (length < 2 || length > 254) {
            m_close = true; // no way to find the next frame
            input.clear();
            break;
        }
        if (input.size() < 6 + length)
            break;
        replies << m_service.reply(input.left(6 + length));
        input.remove(0, 6 + length);
    }
    return replies;
}

QByteArray ModbusSession::withWrongLength(const QByteArray &reply) const {
    QByteArray out = reply;
    if (out.size() >= 6)
        qToBigEndian<quint16>(quint16(out.size() - 6 + 1), out.data() + 4);
    return out;
}

} // namespace sim
