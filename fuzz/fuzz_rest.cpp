// The REST channel's reading of a reply body: any text, any headings in any
// order, any numbers.
#include "fuzzer.h"
#include "protocols/rest/restcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const QString body = QString::fromUtf8(in.rest());
    IoState io;
    rest::receiveReport(body);
    rest::readReply(body, io);
    return 0;
}
