// The settings file reader: any bytes as a file, every line read as a
// setting, and what was read written back.
#include "config/configfile.h"
#include "fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const QStringList lines = configFileLines(in.rest());
    QStringList written;
    for (const QString &line : lines) {
        readConfigLine(line);
        written << line;
    }
    configFileBytes(written);
    return 0;
}
