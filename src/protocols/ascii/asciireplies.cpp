#include "protocols/ascii/asciireplies.h"

#include "app/tform1.h"

void AsciiReplies::splitReceiveData(const QString &receivestring) {
    for (const QString &reply : asciiReceiveBuffer.feed(receivestring))
        ASCIIreplytoIOState(reply);
}

void AsciiReplies::ASCIIreplytoIOState(const QString &receivestring) {
    const ascii::ReplyOutcome out =
        ascii::parseReply(receivestring, f.currentMode, f.io, f.lastInput, f.lastOutput);
    if (out.reportLine)
        f.writereport(*out.reportLine);
    if (out.refresh)
        f.IOstateToDisplay();
}
