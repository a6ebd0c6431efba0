#pragma once

#include <QList>

namespace keldor {

class Exchange;
struct UnitData;

// Learns the channel count: maxChannel and deviceVariant from the controller version and,
// from version "1.03" on, the variant code 0xA3.
bool checkDeviceType(Exchange &exchange, UnitData &unit);

// The channel counts of the headend models.
inline const QList<int> headendModels{8, 10, 12, 16};
// Sets maxChannel and deviceVariant as checkDeviceType finds them on a headend with that many
// channels, for a settings file prepared without one. false, unit unchanged, for any other count.
bool setHeadendModel(UnitData &unit, int channels);

} // namespace keldor
