#include "resetservice.h"

#include "devicemodel.h"

namespace sim {

QList<QByteArray> ResetSession::feed(QByteArray &input) {
    if (m_done) {
        input.clear();
        return {};
    }
    const qsizetype nul = input.indexOf('\0');
    if (nul < 0) {
        if (input.size() > 1024) { // no password is that long
            input.clear();
            m_done = true;
            m_note("no password end, closed");
        }
        return {};
    }
    const QString password = QString::fromLatin1(input.left(nul));
    input.clear();
    m_done = true;
    if (m_model.passwordMatches(password)) {
        m_model.restart();
        m_note("restart");
    } else {
        m_note("wrong password, no restart");
    }
    return {QByteArray()};
}

} // namespace sim
