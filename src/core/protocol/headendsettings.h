#pragma once

namespace keldor {

class Exchange;
struct UnitData;

// Everything a full write would replace, as the headend holds it now: the channel count, the
// channels of the full read and, where the headend keeps them, the service selections. It only
// reads, so a comparison before a write leaves the headend as it was. The first failed exchange
// ends it with false.
bool readHeadendSettings(Exchange &exchange, UnitData &unit);

} // namespace keldor
