#pragma once

#include <QByteArray>

namespace keldor {

class Exchange;
struct ChannelRecord;
struct UnitData;

constexpr qsizetype bulkChannelFrameSize = 48;

// The 48-byte image of one channel in the bulk write, big-endian like every headend value.
QByteArray bulkChannelFrame(const ChannelRecord &record);
// The listed service IDs of a channel, two bytes each, high byte first.
QByteArray bulkServiceFrame(const ChannelRecord &record);

// Sends the channel table 0..maxChannel to the headend in one bulk transfer. keepServices
// false clears serviceCount and serviceMode of those channels first, so that every service
// passes. The first failed wait ends the transfer; the headend then holds a partly written table.
bool saveUnitData(Exchange &exchange, UnitData &unit, bool keepServices);

} // namespace keldor
