#pragma once

#include <QByteArray>

namespace keldor {

class Exchange;
struct ChannelRecord;
struct UnitData;

constexpr quint8 bulkWriteCode = 0x8A;
constexpr qsizetype bulkChannelFrameSize = 48;

// The 48-byte image of one channel in the bulk write, big-endian like every headend value.
QByteArray bulk_channel_frame(const ChannelRecord &record);
// The listed service IDs of a channel, two bytes each, high byte first.
QByteArray bulk_service_frame(const ChannelRecord &record);

// Sends the channel table 0..max_channel to the headend in one bulk transfer. keepServices
// false clears service_count and service_mode of those channels first, so that every service
// passes. The first failed wait ends the transfer; the headend then holds a partly written table.
bool save_unit_data(Exchange &exchange, UnitData &unit, bool keepServices);

} // namespace keldor
