#include "core/iostate.h"

const std::array<quint32, ioTableSize> bitOfIndex = [] {
    std::array<quint32, ioTableSize> bits{};
    for (int i = 0; i < ioTableSize; ++i)
        bits[i] = quint32(1) << i;
    return bits;
}();

QStringList operatingModeCaptions() {
    return {QStringLiteral("HTTP"),
            QStringLiteral("REST"),
            QStringLiteral("TCP Client "),
            QStringLiteral("TCP Server"),
            QStringLiteral("UDP Peer"),
            QStringLiteral("TCP Binary Client"),
            QStringLiteral("TCP Binary Server"),
            QStringLiteral("UDP Binary Peer"),
            QStringLiteral("Modbus TCP"),
            QStringLiteral("SNMP")};
}

// Type 8 is used with 16 inputs and outputs although its mask covers 24
// outputs; types 9 and 10 are output-only boxes.
const std::array<DeviceType, deviceTypeCount> deviceTypes = {{
    {"1In/1Out", 1, 1, 0, 0, "1", 48, 48},
    {"2In/2Out", 2, 2, 1, 1, "3", 13, 52},
    {"4In/Out", 4, 4, 3, 3, "F", 13, 55},
    {"6In/6Out", 6, 6, 5, 5, "003F", 24, 24},
    {"12In/6Rel", 12, 6, 11, 5, "003F", 19, 51},
    {"12In/12Out", 12, 12, 11, 11, "0FFF", 4, 49},
    {"12In/8Rel", 12, 8, 11, 7, "00FF", 4, 49},
    {"16In/Out", 16, 16, 15, 15, "FFFF", 4, 57},
    {"24I/24Out", 16, 16, 15, 15, "00FFFFFF", 14, 14},
    {"2Out", 0, 2, 0, 1, "3", 54, 54},
    {"8Out", 0, 8, 0, 7, "00FF", 53, 53},
    {"UNKOWN", 0, 0, 0, 0, "0000", 0, 0},
}};

QStringList deviceTypeCaptions() {
    QStringList captions;
    for (const auto &t : deviceTypes)
        captions << QString::fromLatin1(t.caption);
    return captions;
}
