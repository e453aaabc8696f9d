#pragma once
// The one picture of the device that every mode writes into, and the
// catalogues of operating modes and device types.
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

// Room for 24 inputs, outputs and counters; devices use at most 16 of them.
constexpr int ioTableSize = 24;
constexpr int ioShown = 16;

struct IoState {
    std::array<quint16, ioTableSize> inputs{};  // 0 off, otherwise on
    std::array<quint16, ioTableSize> outputs{}; // 0 off, otherwise on
    std::array<quint32, ioTableSize> counters{};
    void clear() { *this = IoState{}; }
};

// bitOfIndex[i] is the mask word of input or output i: 2 to the power i.
extern const std::array<quint32, ioTableSize> bitOfIndex;

enum OperatingMode : quint16 {
    modeHttp = 0,
    modeRest = 1,
    modeTcpClient = 2,
    modeTcpServer = 3,
    modeUdpPeer = 4,
    modeBinaryClient = 5,
    modeBinaryServer = 6,
    modeBinaryUdp = 7,
    modeModbus = 8,
    modeSnmp = 9,
};
constexpr int modeCount = 10;
// currentMode when the mode selector holds typed text that is no item.
constexpr quint16 noMode = 65535;

// The mode selector's items, in index order. "TCP Client " ends with a blank.
QStringList operatingModeCaptions();

struct DeviceType {
    const char *caption;
    int inputsShown;
    int outputsShown;
    quint16 lastInput;
    quint16 lastOutput;
    const char *allOutputsMask;
    quint16 snmpDeviceNode;
    quint16 snmpDeviceNode40;
};
constexpr int deviceTypeCount = 12;
constexpr int deviceUnknown = 11; // "UNKOWN": a device that is not in the article table
extern const std::array<DeviceType, deviceTypeCount> deviceTypes;
QStringList deviceTypeCaptions();
