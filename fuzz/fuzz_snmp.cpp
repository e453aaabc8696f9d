// The SNMP channel's reading of a reply datagram at its fixed offsets.
#include "fuzzer.h"
#include "protocols/snmp/snmpcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const quint16 lastInput = in.byte() % 16;
    const quint16 lastOutput = in.byte() % 16;
    const QByteArray datagram = in.rest();
    IoState io;
    const snmp::Reply r = snmp::decodeReply(datagram, io, lastInput, lastOutput);
    if (r.entry)
        snmp::reportLines(*r.entry);
    return 0;
}
