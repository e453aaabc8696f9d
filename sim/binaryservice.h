#pragma once
// The device side of the binary structure protocol (TCP 49153, UDP 45889).
// Every structure starts with four little-endian 16-bit words: two zero
// words, the type and the length in bytes, header included.
//
// Requests and what the device answers:
//   ReadRegister 0001, RegisterRequest 0021          RegState (0031; 0131 on a
//   Writeregister 0008 (count, word)                  24-channel device, whose
//   SetBit 0009 (mask, states)                        words are 32 bits wide)
//   Readcounter 00B0 (n)                             Counter 00B4 (n, value)
//   read-and-clear 00C0 (n)                          Counter with the value, then 0
//   ReadAllCounter 00B1, ClearAllCounter 00C1        AllCounter 00B5 (after clearing)
//   Options 01F0 (1, option)                         Diagnoses 00D0 (option, article,
//                                                      inputs, outputs)
//   KeyRequest 8002                                  Key 8003 (length 16, key bytes)
//   Login 8001 (32 characters)                       AuthOK 8005 or AuthFail 8006
// With a password set, a session must log in first: any other request gets
// AuthRequired 8004. The login is the upper-case hexadecimal MD5 of the
// password's bytes followed by the key's bytes. A RegisterRequest made before
// the login is answered with the state after AuthOK.
#include "session.h"

#include <QByteArray>
#include <optional>

namespace sim {

class DeviceModel;

namespace bin {

quint16 word16(const QByteArray &bytes, int offset); // 0 past the end
quint32 word32(const QByteArray &bytes, int offset);
// A structure of type with the body after the header.
QByteArray structure(quint16 type, const QByteArray &body = {});
QByteArray le16(quint32 value);
QByteArray le32(quint32 value);

// Takes one structure from the front of stream by its length field, or
// nothing while it is incomplete. A length below 8 or above 1024 cannot be a
// structure: everything buffered is taken (and refused by the session).
std::optional<QByteArray> takeStructure(QByteArray &stream);

// The login the device expects for password and key.
QByteArray expectedLogin(const QString &password, const QByteArray &key);

} // namespace bin

class BinarySession : public Session {
public:
    // announce: the device speaks first when the connection opens (as the
    // client of a tool that listens): AuthRequired with a password, otherwise
    // its state.
    BinarySession(DeviceModel &model, bool announce = false) : m_model(model), m_announce(announce) {}
    QList<QByteArray> feed(QByteArray &input) override;
    QByteArray greeting() override;
    // A length field of 0, which no structure can have.
    QByteArray withWrongLength(const QByteArray &reply) const override;

    // One structure's answer (empty: none); changes the model and the login.
    QByteArray reply(const QByteArray &request);
    bool loggedIn() const { return m_loggedIn || needsNoLogin(); }
    QByteArray key() const { return m_key; }

private:
    bool needsNoLogin() const;
    QByteArray state() const;
    QByteArray counter(int n, quint32 value) const;
    QByteArray allCounters() const;

    DeviceModel &m_model;
    bool m_announce;
    bool m_loggedIn = false;
    bool m_registered = false;
    QByteArray m_key;
};

} // namespace sim
