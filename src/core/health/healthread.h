#pragma once

#include <QString>

#include <functional>

namespace keldor {

class Exchange;
struct HealthReading;
struct InventoryRecord;
struct UnitData;

// Everything a health check judges: what the diagnostic window reads, then for every channel
// in use its output switch and, from a locked tuner, bit errors and S/N, or from an unlocked
// one whether it has a signal at all. False when a read failed; the read has reported it.
// stage hears where the read is as it moves on: "identity" for the headend's own figures, then
// "channel N" for each channel in use, so a read that stops can say where.
using HealthStage = std::function<void(const QString &stage)>;
bool readHealth(Exchange &exchange, UnitData &unit, HealthReading &reading,
                const HealthStage &stage = {});

// The identity block and the channel count into unit and record; record.headend stays.
bool readInventory(Exchange &exchange, UnitData &unit, InventoryRecord &record);

} // namespace keldor
