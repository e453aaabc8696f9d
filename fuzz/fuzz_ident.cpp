// Identification: the reply record of any length and the version and
// unknown-device pages.
#include "discovery/identcodec.h"
#include "fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const int what = in.byte() % 3;
    const QByteArray bytes = in.rest();
    if (what == 0) {
        const ident::IdentificationReply r = ident::decodeReply(bytes);
        ident::articleType(r.articleNumber);
    } else {
        const QString page = QString::fromLatin1(bytes);
        ident::versionReportsBootFailure(page);
        if (ident::configPageValues(page).values.size() > ident::maxUnknownFields ||
            ident::singlePageValues(page).size() > ident::maxUnknownFields)
            __builtin_trap();
    }
    return 0;
}
