#pragma once

namespace keldor {

class Exchange;
struct ReportTexts;
struct UnitData;

// keldor-ctl's own read of the device block and the channel records, with the texts that the
// channel window would show for them. Stands in for the shared full read.
bool read_channel_data(Exchange &exchange, UnitData &unit, ReportTexts &texts);

} // namespace keldor
