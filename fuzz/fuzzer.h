#pragma once
// What every fuzzer shares: a reader over libFuzzer's input that hands out
// small choices (a mode, a device type, where to cut) and then the rest as
// the bytes a device sent.
#include "core/iostate.h"

#include <QByteArray>
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const uint8_t *data;
    size_t size;
    size_t pos = 0;

    FuzzInput(const uint8_t *d, size_t n) : data(d), size(n) {}
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    quint16 word() { return quint16(byte() | (byte() << 8)); }
    // The next n bytes (fewer at the end).
    QByteArray take(size_t n) {
        n = std::min(n, size - pos);
        QByteArray b(reinterpret_cast<const char *>(data + pos), qsizetype(n));
        pos += n;
        return b;
    }
    QByteArray rest() { return take(size - pos); }
    bool done() const { return pos >= size; }
};

// Some Qt text functions want an application object.
inline void ensureApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}
