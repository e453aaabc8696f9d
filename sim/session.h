#pragma once
// The seam between a protocol's device side and the sockets that carry it.
//
// A Session is "request bytes in, reply bytes out" over the device model: it
// owns no socket, timer or thread, so every protocol is tested with tables of
// bytes. The adapters (tcpadapter, udpadapter) make one Session per TCP
// connection, or per UDP sender, and pass it everything that arrives.
#include <QByteArray>
#include <QList>
#include <functional>
#include <memory>

namespace sim {

class DeviceModel;

class Session {
public:
    virtual ~Session() = default;

    // Takes the complete requests from the front of input and returns their
    // replies in order, one entry per reply (an entry may be empty: a request
    // the device does not answer). What stays in input is the start of a
    // request still on its way. A UDP adapter passes each datagram on its own
    // and drops what is left.
    virtual QList<QByteArray> feed(QByteArray &input) = 0;

    // Bytes the device sends as soon as a connection opens; most protocols
    // wait for the peer to speak first.
    virtual QByteArray greeting() { return {}; }

    // True once the device ends the connection after the replies already
    // handed out (an HTTP response with "Connection: close", a reset).
    virtual bool wantsClose() const { return false; }

    // The reply with its length information made wrong, for the fault
    // "wrong-length". Protocols with length fields override it; for the
    // others a reply one byte short is the nearest thing.
    virtual QByteArray withWrongLength(const QByteArray &reply) const { return reply.left(reply.size() - 1); }
};

using SessionFactory = std::function<std::unique_ptr<Session>()>;

} // namespace sim
