#pragma once

namespace keldor {

class Exchange;
struct UnitData;

// Learns the channel count: max_channel and device_variant from the controller version and,
// from version "1.03" on, the variant code 0xA3.
bool check_devicetype(Exchange &exchange, UnitData &unit);

} // namespace keldor
