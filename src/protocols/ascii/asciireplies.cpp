#include "protocols/ascii/asciireplies.h"

#include "app/tform1.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {
// How long one pass may spend on replies.
constexpr qint64 maxNanosPerPass = 4'000'000;
} // namespace

AsciiReplies::AsciiReplies(TForm1 &form) : f(form) {}

void AsciiReplies::splitReceiveData(const QString &receivestring) {
    enqueue(asciiReceiveBuffer.feed(receivestring));
}

void AsciiReplies::takePiece(const QString &piece) { enqueue(ascii::cutPiece(piece)); }

void AsciiReplies::enqueue(const QStringList &replies) {
    if (replies.isEmpty())
        return;
    if (m_backlog.empty())
        m_backlogMode = f.currentMode;
    m_backlog.insert(m_backlog.end(), replies.begin(), replies.end());
    while (qsizetype(m_backlog.size()) > maxBacklog)
        m_backlog.pop_front();
    if (!m_scheduled)
        workThrough();
}

void AsciiReplies::workThrough() {
    m_scheduled = false;
    // Replies that arrived in another mode are no longer wanted: the mode
    // switch has ended their session.
    if (m_backlogMode != f.currentMode) {
        m_backlog.clear();
        return;
    }
    // Each reply is reported and stored, but the display, whose in-between
    // states nobody could see, is refreshed once for the lot.
    QElapsedTimer clock;
    clock.start();
    bool refresh = false;
    for (int n = 0; !m_backlog.empty(); ++n) {
        if ((n & 255) == 255 && clock.nsecsElapsed() >= maxNanosPerPass)
            break;
        const QString reply = std::move(m_backlog.front());
        m_backlog.pop_front();
        refresh |= store(reply);
    }
    if (refresh)
        f.IOstateToDisplay();
    if (!m_backlog.empty()) {
        m_scheduled = true;
        QTimer::singleShot(0, this, [this] { workThrough(); });
    }
}

void AsciiReplies::clearReceived() {
    asciiReceiveBuffer.clear();
    m_backlog.clear();
}

void AsciiReplies::ASCIIreplytoIOState(const QString &receivestring) {
    if (store(receivestring))
        f.IOstateToDisplay();
}

bool AsciiReplies::store(const QString &receivestring) {
    const ascii::ReplyOutcome out =
        ascii::parseReply(receivestring, f.currentMode, f.io, f.lastInput, f.lastOutput);
    if (out.reportLine)
        f.writereport(*out.reportLine);
    return out.refresh;
}
