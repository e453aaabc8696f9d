#include "identservice.h"

#include "devicemodel.h"

#include <QtEndian>

namespace sim {

namespace {

template <typename T> void put(QByteArray &rec, int offset, T value) {
    qToLittleEndian(value, rec.data() + offset);
}

void putText(QByteArray &rec, int offset, int size, const QByteArray &text) {
    const QByteArray t = text.left(size);
    std::copy(t.begin(), t.end(), rec.begin() + offset);
}

} // namespace

qint64 IdentService::ean(quint16 article) {
    const QByteArray digits = "4250781" + QByteArray::number(article).rightJustified(5, '0');
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (digits.at(i) - '0') * (i % 2 ? 3 : 1);
    return (digits + QByteArray::number((10 - sum % 10) % 10)).toLongLong();
}

QByteArray IdentService::record(const DeviceModel &model, quint16 webPort, const IdentAddresses &addresses) {
    QByteArray rec(recordSize, '\0');
    const DeviceKind &k = model.kind();
    put<quint16>(rec, 0, 0x0103);
    put<quint16>(rec, 2, recordSize);
    put<quint32>(rec, 4, k.device40 ? 0x04000C00 : 0x03070200);
    put<quint64>(rec, 8, 0x0000004B00000000ull + k.article);
    put<quint64>(rec, 16, 0x0000000000000102ull);
    put<quint64>(rec, 24, 0x0000000000000204ull);
    put<quint64>(rec, 32, 0x0000000000000001ull);
    put<quint16>(rec, 40, webPort);
    putText(rec, 44, 48, "KORVO " + QByteArray(k.name));
    put<quint32>(rec, 92, 0x00000001);
    put<qint64>(rec, 96, ean(k.article));
    putText(rec, 104, 64, "Korvo I/O " + QByteArray::number(k.article));
    putText(rec, 168, 48, "korvosim");
    put<quint64>(rec, 216, k.device40 ? 0x0004000000000C00ull : 0x0003000700000200ull);
    putText(rec, 260, 6, addresses.mac);
    put<quint32>(rec, 266, addresses.ip);
    put<quint32>(rec, 270, addresses.gateway);
    put<quint32>(rec, 274, addresses.netmask);
    return rec;
}

QList<QByteArray> IdentSession::feed(QByteArray &input) {
    const QByteArray request = input;
    input.clear();
    if (!request.startsWith("Version"))
        return {QByteArray()}; // not a question this service answers
    return {IdentService::record(m_model, m_webPort(), m_addresses)};
}

QByteArray IdentSession::withWrongLength(const QByteArray &reply) const {
    QByteArray out = reply;
    if (out.size() >= 4)
        qToLittleEndian<quint16>(quint16(out.size() + 1), out.data() + 2);
    return out;
}

} // namespace sim
