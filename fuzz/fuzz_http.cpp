// The HTTP command mode's receive side: a response cut into chunks anywhere,
// the state line picked out of complete lines, and read by the reply parser.
#include "fuzzer.h"
#include "protocols/ascii/asciicodec.h"
#include "protocols/http/httpcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const quint16 lastInput = in.byte() % 16;
    const quint16 lastOutput = in.byte() % 16;
    IoState io;
    http::StateLineScanner scanner;
    const auto read = [&](const std::optional<QString> &line) {
        if (line)
            ascii::parseReply(*line, 0, io, lastInput, lastOutput);
    };
    while (!in.done()) {
        const QString chunk = QString::fromLatin1(in.take(1 + in.byte() % 64 * 8));
        http::receiveReport(chunk);
        read(scanner.feed(chunk));
        if (scanner.pending().size() > http::StateLineScanner::maxPending)
            __builtin_trap();
    }
    read(scanner.finish());
    return 0;
}
