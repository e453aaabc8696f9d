#pragma once
// The device's binary structure protocol. Every structure starts with an
// 8-byte header of four little-endian 16-bit words: two zero words, the
// structure type and the structure's length in bytes (header included). All
// integers are little-endian.
//
// Everything here is pure: building a request with its report lines, cutting
// a received byte stream or datagram into structures, and decoding one
// structure into IoState with its report lines and the login answer.
#include "core/iostate.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace binary {

// Structure types.
enum : quint16 {
    typeReadRegister = 0x0001,
    typeWriteRegister = 0x0008,
    typeSetBit = 0x0009,
    typeRegisterRequest = 0x0021,
    typeRegState = 0x0031,
    typeReadCounter = 0x00B0,
    typeReadAllCounter = 0x00B1,
    typeCounter = 0x00B4,
    typeAllCounter = 0x00B5,
    typeReadClearCounter = 0x00C0,
    typeClearAllCounter = 0x00C1,
    typeDiagnoses = 0x00D0,
    typeWriteRegister32 = 0x0108,
    typeRegState32 = 0x0131,
    typeOptions = 0x01F0,
    typeLogin = 0x8001,
    typeKeyRequest = 0x8002,
    typeKey = 0x8003,
    typeAuthRequired = 0x8004,
    typeAuthOK = 0x8005,
    typeAuthFail = 0x8006,
};

// The decoder reads every field at its fixed offset within this many bytes;
// bytes a structure does not have read as zero.
constexpr int bufferSize = 128;

// Upper-case hexadecimal, zero-padded: at least 4 digits, exactly 8.
QString hex4(quint32 value);
QString hex8(quint32 value);

quint16 word16(const QByteArray &bytes, int offset); // 0 past the end
quint32 word32(const QByteArray &bytes, int offset); // 0 past the end

struct Request {
    QByteArray bytes;        // exactly as many as the length field says
    QStringList reportLines; // title, then one line per field
};

// The request a structtype names ("setbit", "readcounter", ...), with the low
// 16 bits of value1 and value2 where the structure uses them. optionText is
// the option field's text, read as hexadecimal for "options" only; a text that
// does not convert throws EConvertError. An unknown structtype gives nothing.
std::optional<Request> buildRequest(const QString &structtype, quint32 value1, quint32 value2,
                                    const QString &optionText);

// MD5 (RFC 1321) of the text's characters taken as bytes, one per character
// (the low 8 bits of its code), as 32 lower-case hexadecimal digits.
QString md5Hex(const QString &text);

// The login's answers: KeyRequest (8 bytes) and Login (40 bytes: the header
// and the 32 characters of response).
QByteArray keyRequest();
QByteArray login(const QString &response);
// The login response to a Key: the upper-case MD5 of the password followed by
// the key bytes, one character per byte.
QString loginResponse(const QString &password, const QByteArray &keyBytes);

struct Decoded {
    QStringList reportLines;  // what was received
    QByteArray answer;        // KeyRequest or Login, to send before any line
    QStringList answerLines;  // what was sent: written after reportLines, only when it went out
    bool refresh = false;     // the display shows IoState anew
    bool closeClient = false; // AuthFail: the client connection ends after the lines
};

// Decodes one structure: structure holds its bytes (at most bufferSize are
// looked at; missing ones read as zero). Inputs and outputs are written up to
// lastInput and lastOutput. The structure may be anything a device sends.
Decoded decode(const QByteArray &structure, IoState &io, quint16 lastInput, quint16 lastOutput,
               const QString &password);

// Lengths a structure of this protocol can have; any other length field is
// taken for garbage.
constexpr int minLength = 8;
constexpr int maxLength = 1024;

// The receive buffer of one TCP connection: cuts the byte stream into
// structures by their length fields.
//  - With a plausible length L (minLength to maxLength), a structure is
//    complete once L bytes are there; its first bufferSize bytes are decoded
//    and all L consumed.
//  - With an implausible length, whatever is buffered is taken as one
//    structure and the buffer emptied, so that the stream can fall into step
//    again with the next piece.
class StructureStream {
public:
    // A device that sends without end must not make the buffer grow: bytes
    // beyond this many waiting are dropped.
    static constexpr qsizetype maxBuffered = 64 * 1024;

    void append(const QByteArray &bytes);
    // The next complete structure (at most bufferSize bytes), if any.
    std::optional<QByteArray> next();
    void clear() {
        m_buffer.clear();
        m_start = 0;
    }
    qsizetype buffered() const { return m_buffer.size() - m_start; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // bytes already consumed at the front
};

// The structures of one datagram, by the same rule as StructureStream. What
// is left at the end that is no complete structure is taken as one when it
// is the datagram's first or holds a header; a shorter tail is dropped.
// Nothing carries over to the next datagram.
QList<QByteArray> splitDatagram(const QByteArray &datagram);

} // namespace binary
