// The ASCII receive side: a stream cut into NUL-ended replies at arbitrary
// places (and each piece cut alone, as the TCP server takes it), each reply
// read into the I/O picture for a mode and a device type.
#include "fuzzer.h"
#include "protocols/ascii/asciicodec.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const quint16 mode = in.byte() % 12;
    const quint16 lastInput = in.byte() % 16;
    const quint16 lastOutput = in.byte() % 16;
    IoState io;
    ascii::ReplyStream stream;
    while (!in.done()) {
        const size_t piece = 1 + in.byte() % 64 * 16;
        const QString text = QString::fromLatin1(in.take(piece));
        for (const QString &reply : stream.feed(text))
            ascii::parseReply(reply, mode, io, lastInput, lastOutput);
        // Cut alone, a piece gives back every character it holds.
        const QStringList alone = ascii::cutPiece(text);
        if (alone.join(QString()) != text)
            __builtin_trap();
        for (const QString &reply : alone)
            ascii::parseReply(reply, mode, io, lastInput, lastOutput);
        if (stream.buffered().size() > ascii::ReplyStream::maxBuffered)
            __builtin_trap();
    }
    return 0;
}
