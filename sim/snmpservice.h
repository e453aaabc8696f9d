#pragma once
// The device side of SNMPv1 (RFC 1157, BER after X.690) on UDP port 161.
//
// Community "vormil". The device's objects lie under the enterprise subtree
// 1.3.6.1.4.1.6839.1.2.<node>; the node names the device generation, and the
// simulated device answers under whichever node a request names.
//   2.2.0        login state, INTEGER 0 or 1           get
//   2.1.0        login, OCTET STRING password           set
//   2.3.0        logout, INTEGER 1                      set
//   1.4.0        inputs, OCTET STRING of 4 bytes        get
//   1.6.0        outputs, OCTET STRING of 4 bytes       get
//   1.7.0        outputs, OCTET STRING of 8 bytes       set: mask, then states
//   1.5.1.2.n    output n (from 1): get gives 4 bytes, the state last; set INTEGER
//   1.3.1.2.n    counter n, OCTET STRING of 4 bytes     get
//   1.3.1.3.n    counter n, read and clear              get
// Words are 32-bit big-endian. A response is a GetResponse with the request's
// own request-id and bindings: a set is answered with the values it set.
// Changing outputs needs a login (per sender); reading does not. Errors:
// noSuchName for an object the device does not have (or a set without a
// login), badValue for a wrong password or a value of the wrong type or size,
// readOnly for a set of a read-only object. A message that is not SNMPv1
// with the community, or does not parse, is not answered.
#include "session.h"

#include <QByteArray>
#include <optional>

namespace sim {

class DeviceModel;

class SnmpService {
public:
    explicit SnmpService(DeviceModel &model) : m_model(model) {}

    // The response to one datagram, or nothing when the device stays silent.
    std::optional<QByteArray> reply(const QByteArray &datagram);

    bool loggedIn() const { return m_loggedIn; }

private:
    DeviceModel &m_model;
    bool m_loggedIn = false;
};

// One UDP sender speaking SNMP: each datagram is one request.
class SnmpSession : public Session {
public:
    explicit SnmpSession(DeviceModel &model) : m_service(model) {}
    QList<QByteArray> feed(QByteArray &input) override;
    // The message's outer length made one too large.
    QByteArray withWrongLength(const QByteArray &reply) const override;

private:
    SnmpService m_service;
};

} // namespace sim
