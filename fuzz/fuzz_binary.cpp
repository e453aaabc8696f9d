// The binary protocol's receive side: a TCP stream cut into structures by
// their length fields at arbitrary chunk boundaries, and datagrams split by
// the same rule; every structure decoded, logins included.
#include "fuzzer.h"
#include "protocols/binary/binarycodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const bool udp = in.byte() & 1;
    const quint16 lastInput = in.byte() % 16;
    const quint16 lastOutput = in.byte() % 16;
    const QString password = QString::fromLatin1(in.take(in.byte() % 12));
    IoState io;
    binary::StructureStream stream;
    while (!in.done()) {
        const QByteArray piece = in.take(1 + in.byte() % 64 * 8);
        if (udp) {
            for (const QByteArray &s : binary::splitDatagram(piece))
                binary::decode(s, io, lastInput, lastOutput, password);
            continue;
        }
        stream.append(piece);
        while (const auto s = stream.next())
            binary::decode(*s, io, lastInput, lastOutput, password);
        if (stream.buffered() > binary::StructureStream::maxBuffered)
            __builtin_trap();
    }
    return 0;
}
