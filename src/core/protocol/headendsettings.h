#pragma once

#include "model/unitdata.h"

#include <QString>

#include <optional>

namespace keldor {

class Exchange;
class UserInterface;

// Everything a full write would replace, as the headend holds it now: the channel count, the
// channels of the full read and, where the headend keeps them, the service selections. It only
// reads, so a comparison before a write leaves the headend as it was. The first failed exchange
// ends it with false.
bool readHeadendSettings(Exchange &exchange, UnitData &unit);

// The settings file over what the headend holds now: what a full write of the file would leave
// on the headend, so the fields an old file lacks keep the headend's values. headend gets the
// image as read. Nothing when the read or the file failed; either has been reported.
std::optional<UnitData> readFileOverHeadend(Exchange &exchange, UserInterface &ui,
                                            const QString &path, UnitData &headend);

} // namespace keldor
