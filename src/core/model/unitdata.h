#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace keldor {

constexpr int channelCount = 16;
constexpr int serviceIdCapacity = 100;
constexpr int reservedBytes = 26;

// One channel of the headend, fields in the order the settings file and the bulk write use.
struct ChannelRecord {
    quint8 polarisation = 0;
    qint16 inFrequency = 0;
    qint16 loFrequency = 0;
    qint16 inSymbolrate = 0;
    float outFrequency = 0.0f;
    quint8 bandwidth = 0;
    quint8 qam = 0;
    qint16 outSymbolrate = 0;
    quint8 spectrum = 0;
    quint8 attenuation = 0;
    quint8 opmode = 0;
    quint8 outputOn = 0;
    quint8 loMode = 0;
    quint8 serviceCount = 0;
    quint8 serviceMode = 0;
    std::array<quint8, reservedBytes> reserved{};
    std::array<qint16, serviceIdCapacity> serviceIds{};

    bool operator==(const ChannelRecord &) const = default;
};

// The identity block that the full read shows; not part of the channel table.
struct DeviceIdentity {
    QByteArray deviceType;
    qint32 serialNumber = 0;
    QByteArray hardwareVersion;
    QByteArray controllerVersion;
    QByteArray fpgaVersion;
    // The whole block came from a headend; a settings file opened without one has none.
    bool fromHeadend = false;
};

// What a channel's tuner reported when the channel was last read.
struct TunerState {
    int status = 0;        // 0 unlocked, 1 locked, 12 I2C error, any other code unknown
    bool noSignal = false; // asked only while unlocked
    qint32 bitErrors = 0;  // per 10^7 bits, asked only while locked
    qint32 snrTenths = 0;  // asked only while locked
};

// The in-memory image of the connected headend.
struct UnitData {
    qint16 maxChannel = 11;
    qint32 deviceVariant = 0;
    QByteArray controllerVersion;
    bool polarisationSupported = false;
    std::array<ChannelRecord, channelCount> channels{};
    std::array<float, channelCount> channelDataRate{};
    // Nothing for a channel no read has reached, as in a settings file opened without a headend.
    std::array<std::optional<TunerState>, channelCount> tuners{};
    DeviceIdentity identity;
    QString settingsFileName;
    int currentChannel = 0;

    // Bounds-checked access: an index outside 0..15 is a programming error on our side or
    // a corrupt value from outside, and must never touch memory beyond the table.
    ChannelRecord &channel(int index) { return channels.at(static_cast<size_t>(index)); }
    const ChannelRecord &channel(int index) const
    {
        return channels.at(static_cast<size_t>(index));
    }
    int channelsInUse() const { return maxChannel + 1; }
};

} // namespace keldor
