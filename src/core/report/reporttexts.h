#pragma once

#include "report/rtfreport.h"

namespace keldor {

class ChannelTextsView;
class Exchange;
struct UnitData;

// The report's texts as the channel window would show them after a full read.
ReportTexts reportTexts(const ChannelTextsView &view);

// Learns the channel count and reads the whole headend, for callers without a channel window.
bool readReportTexts(Exchange &exchange, UnitData &unit, ReportTexts &texts);

} // namespace keldor
