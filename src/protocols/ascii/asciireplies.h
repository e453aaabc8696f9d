#pragma once
// The receive side every ASCII transport shares (and the HTTP command channel,
// which feeds one line of each response to the same parser).
#include "protocols/ascii/asciicodec.h"

#include <QObject>
#include <QString>
#include <deque>

class TForm1;

class AsciiReplies : public QObject {
    Q_OBJECT
public:
    explicit AsciiReplies(TForm1 &form);

    // Cuts received text into NUL-ended replies and parses each; text after
    // the last NUL waits for the next call.
    //
    // One piece may hold tens of thousands of replies (a 64 KiB datagram of
    // NUL bytes is 65,507 empty replies, each with its report line). Replies
    // are therefore worked through for at most a few milliseconds at a time;
    // the rest follow on the next passes of the event loop, in order and
    // before anything received later.
    void splitReceiveData(const QString &receivestring);
    // The TCP server's receive: one piece as it came, cut at its NULs only
    // (ascii::cutPiece), each reply worked through as above.
    void takePiece(const QString &piece);
    // Reports one reply (in the socket modes), stores it in IoState and
    // refreshes the display; a reply that does not parse changes no more.
    void ASCIIreplytoIOState(const QString &receivestring);
    // Forgets partial text and replies not yet worked through: a new session.
    void clearReceived();

    // Replies waiting to be worked through, at most this many: beyond it a
    // flooding device's oldest replies are dropped.
    static constexpr qsizetype maxBacklog = 256 * 1024;
    qsizetype backlog() const { return qsizetype(m_backlog.size()); }

    ascii::ReplyStream asciiReceiveBuffer;

private:
    // Reports and stores one reply; true when the display must be refreshed.
    bool store(const QString &receivestring);
    void enqueue(const QStringList &replies);
    void workThrough();

    TForm1 &f;
    std::deque<QString> m_backlog;
    quint16 m_backlogMode = 0; // the mode the waiting replies arrived in
    bool m_scheduled = false;
};
