// The HTTP client's reading of WWW-Authenticate headers, and the answer it
// builds from whatever challenge it picked.
#include "fuzzer.h"
#include "net/digest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    QList<QByteArray> headers;
    while (!in.done())
        headers << in.take(1 + in.byte() % 200);
    if (const auto c = chooseChallenge(headers))
        authorizationValue(*c, QStringLiteral("admin"), QStringLiteral("pw"), "GET", "/rest/json", 1, "0123abcd");
    return 0;
}
