// The Modbus client's receive side: a TCP stream cut into ADUs by the MBAP
// length at arbitrary chunk boundaries; every ADU dumped and decoded.
#include "fuzzer.h"
#include "protocols/modbus/modbuscodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const quint16 lastInput = in.byte() % 16;
    const quint16 lastOutput = in.byte() % 16;
    const quint16 counterIndex = in.byte();
    IoState io;
    modbus::AduStream stream;
    while (!in.done()) {
        for (const QByteArray &adu : stream.feed(in.take(1 + in.byte() % 64 * 8))) {
            modbus::frameReport(QStringLiteral("Modbus <-"), adu);
            modbus::applyReply(adu, io, lastInput, lastOutput, counterIndex);
        }
    }
    return 0;
}
