#pragma once
// The device side of Modbus TCP (Modbus Application Protocol over TCP/IP):
// an MBAP header (transaction, protocol 0, length, unit) before each PDU,
// all fields big-endian. Any unit identifier is answered.
//
// Register map (0-based protocol addresses):
//   coils 0x1020 + n                  output n: read (1), write single (5),
//                                     write multiple (15)
//   input register 0x2000             inputs 0..15 as one word, bit n = input n
//                 0x2001              inputs 16..23 (24-channel devices)
//   holding register 0x2002           outputs 0..15 as one word
//                    0x2003           outputs 16..23 (24-channel devices)
//   holding and input registers       counter n, high word first; read (3, 4),
//   0x5006 + 2n, 0x5007 + 2n          written (16): zeros clear it
//
// What the device lacks is answered with an exception (function | 0x80):
// 01 an unknown function, 02 an address it does not have, 03 a quantity,
// byte count or coil value the standard does not allow. A frame whose
// protocol identifier is not 0 is not Modbus and is dropped unanswered.
#include "session.h"

#include <QByteArray>

namespace sim {

class DeviceModel;

class ModbusService {
public:
    explicit ModbusService(DeviceModel &model) : m_model(model) {}

    // The response ADU to one request ADU (header and PDU), or nothing for a
    // frame the device drops. Writes change the model.
    QByteArray reply(const QByteArray &adu);

private:
    QByteArray pdu(const QByteArray &request);
    // The value of a register, or nothing where the device has none.
    bool readRegister(bool input, quint16 address, quint16 &value) const;
    bool counterRegister(quint16 address, int &counter, bool &high) const;

    DeviceModel &m_model;
};

// One TCP connection speaking Modbus: requests are framed by the MBAP
// length; a length no request can have ends the connection, since the
// stream can no longer be framed.
class ModbusSession : public Session {
public:
    explicit ModbusSession(DeviceModel &model) : m_service(model) {}
    QList<QByteArray> feed(QByteArray &input) override;
    bool wantsClose() const override { return m_close; }
    // The MBAP length one more than the bytes that follow it.
    QByteArray withWrongLength(const QByteArray &reply) const override;

private:
    ModbusService m_service;
    bool m_close = false;
};

} // namespace sim
