#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace keldor {

constexpr int channelCount = 16;
constexpr int serviceIdCapacity = 100;
constexpr int reservedBytes = 26;

// One channel of the headend, fields in the order the settings file and the bulk write use.
struct ChannelRecord {
    quint8 polarisation = 0;
    qint16 in_frequency = 0;
    qint16 lo_frequency = 0;
    qint16 in_symbolrate = 0;
    float out_frequency = 0.0f;
    quint8 bandwidth = 0;
    quint8 qam = 0;
    qint16 out_symbolrate = 0;
    quint8 spectrum = 0;
    quint8 attenuation = 0;
    quint8 opmode = 0;
    quint8 output_on = 0;
    quint8 lo_mode = 0;
    quint8 service_count = 0;
    quint8 service_mode = 0;
    std::array<quint8, reservedBytes> reserved{};
    std::array<qint16, serviceIdCapacity> service_ids{};

    bool operator==(const ChannelRecord &) const = default;
};

// The identity block that the full read shows; not part of the channel table.
struct DeviceIdentity {
    QByteArray device_type;
    qint32 serial_number = 0;
    QByteArray hardware_version;
    QByteArray controller_version;
    QByteArray fpga_version;
};

// The in-memory image of the connected headend.
struct UnitData {
    qint16 max_channel = 11;
    qint32 device_variant = 0;
    QByteArray controller_version;
    bool polarisation_supported = false;
    std::array<ChannelRecord, channelCount> channels{};
    std::array<float, channelCount> channel_data_rate{};
    DeviceIdentity identity;
    QString settings_file_name;
    int current_channel = 0;

    // Bounds-checked access: an index outside 0..15 is a programming error on our side or
    // a corrupt value from outside, and must never touch memory beyond the table.
    ChannelRecord &channel(int index) { return channels.at(static_cast<size_t>(index)); }
    const ChannelRecord &channel(int index) const
    {
        return channels.at(static_cast<size_t>(index));
    }
    int channelsInUse() const { return max_channel + 1; }
};

} // namespace keldor
