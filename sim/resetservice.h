#pragma once
// The reset port (TCP 8888): the peer sends the device password followed by
// one NUL byte. With the right password the device restarts its state; either
// way it then closes the connection. Nothing is ever answered. Bytes before a
// NUL wait for it.
#include "session.h"

namespace sim {

class DeviceModel;

class ResetSession : public Session {
public:
    // note is told what the device did ("restart", "wrong password").
    ResetSession(DeviceModel &model, std::function<void(const QString &)> note)
        : m_model(model), m_note(std::move(note)) {}
    QList<QByteArray> feed(QByteArray &input) override;
    bool wantsClose() const override { return m_done; }

private:
    DeviceModel &m_model;
    std::function<void(const QString &)> m_note;
    bool m_done = false;
};

} // namespace sim
