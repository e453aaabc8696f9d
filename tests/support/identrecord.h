#pragma once
// Identification reply records for tests: the fields of the record a Korvo
// device sends from its identification service, little-endian.
#include <QByteArray>
#include <QtGlobal>

struct IdentRecord {
    QByteArray bytes = QByteArray(278, '\0');

    IdentRecord &put(int offset, quint64 value, int size) {
        for (int i = 0; i < size; ++i)
            bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
        return *this;
    }
    IdentRecord &text(int offset, const QByteArray &chars) {
        bytes.replace(offset, chars.size(), chars);
        return *this;
    }
    IdentRecord &wbmPort(quint16 port) { return put(40, port, 2); }
    IdentRecord &ean(qint64 ean) { return put(96, quint64(ean), 8); }
};

// A record of a device with this web port and EAN (check digit 5 appended
// to the article number: "4260123" + article + "5").
inline QByteArray deviceRecord(quint16 webPort, qint32 article) {
    return IdentRecord().wbmPort(webPort).ean(4260123000000LL + qint64(article) * 10 + 5).bytes;
}
