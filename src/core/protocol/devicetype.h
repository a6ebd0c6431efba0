#pragma once

namespace keldor {

class Exchange;
struct UnitData;

// Learns the channel count: maxChannel and deviceVariant from the controller version and,
// from version "1.03" on, the variant code 0xA3.
bool checkDeviceType(Exchange &exchange, UnitData &unit);

} // namespace keldor
