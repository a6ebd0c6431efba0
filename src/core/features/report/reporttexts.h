#pragma once

#include "core/features/report/rtfreport.h"

namespace keldor {

struct UnitData;

// The report's texts: what the channel window shows for the unit image, filled the one way a
// window is filled (showUnitData).
ReportTexts reportTexts(const UnitData &unit);

} // namespace keldor
