#pragma once
// The receive side every ASCII transport shares (and the HTTP command channel,
// which feeds one line of each response to the same parser).
#include "protocols/ascii/asciicodec.h"

#include <QString>

class TForm1;

class AsciiReplies {
public:
    explicit AsciiReplies(TForm1 &form) : f(form) {}

    // Cuts received text into NUL-ended replies and parses each; text after
    // the last NUL waits for the next call.
    void splitReceiveData(const QString &receivestring);
    // Reports one reply (in the socket modes), stores it in IoState and
    // refreshes the display; a reply that does not parse changes no more.
    void ASCIIreplytoIOState(const QString &receivestring);

    // Emptied by the TCP client and the UDP peer when a session starts.
    ascii::ReplyStream asciiReceiveBuffer;

private:
    TForm1 &f;
};
