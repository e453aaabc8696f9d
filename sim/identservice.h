#pragma once
// The identification service on UDP port 8513: a request that starts with
// "Version" (the tool sends "Version 1.03") is answered by one datagram, the
// identification record of 278 bytes, all numbers little-endian:
//
//   offset size
//     0     2   record version (0x0103)       2   2  record length (278)
//     4     4   firmware version              8   8  serial number
//    16     8   hardware line number         24   8  software line number
//    32     8   update line                  40   2  WBM-Port: the web server port
//    42     2   (unused)                     44  48  system name, characters
//    92     4   system flags                 96   8  EAN-13, signed, whose five
//   104    64   device name, characters              digits before the check digit
//   168    48   location, characters                 are the article number
//   216     8   software version            224  36  (unused)
//   260     6   MAC address                 266   4  IP address
//   270     4   gateway                     274   4  subnet mask
//
// The three addresses are 32-bit numbers with the first number of the dotted
// form in the most significant byte, so byte 269 is the IP's first number.
#include "session.h"

#include <QByteArray>

namespace sim {

class DeviceModel;

struct IdentAddresses {
    quint32 ip = 0x7F000001; // 127.0.0.1
    quint32 gateway = 0;
    quint32 netmask = 0xFF000000;
    QByteArray mac = QByteArray::fromHex("00A0451F3C2E");
};

class IdentService {
public:
    static constexpr int recordSize = 278;

    // The EAN-13 of an article number: a fixed company prefix, the article
    // number and the check digit.
    static qint64 ean(quint16 article);

    // The record for the device as it stands; webPort is where it serves HTTP.
    static QByteArray record(const DeviceModel &model, quint16 webPort, const IdentAddresses &addresses);
};

// One sender of identification requests.
class IdentSession : public Session {
public:
    IdentSession(const DeviceModel &model, std::function<quint16()> webPort, IdentAddresses addresses)
        : m_model(model), m_webPort(std::move(webPort)), m_addresses(std::move(addresses)) {}
    QList<QByteArray> feed(QByteArray &input) override;
    // The record with its length field one more than it carries.
    QByteArray withWrongLength(const QByteArray &reply) const override;

private:
    const DeviceModel &m_model;
    std::function<quint16()> m_webPort;
    IdentAddresses m_addresses;
};

} // namespace sim
