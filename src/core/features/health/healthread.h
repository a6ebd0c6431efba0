#pragma once

namespace keldor {

class Exchange;
struct HealthReading;
struct InventoryRecord;
struct UnitData;

// Everything a health check judges: what the diagnostic window reads, then for every channel
// in use its output switch and, from a locked tuner, bit errors and S/N, or from an unlocked
// one whether it has a signal at all. False when a read failed; the read has reported it.
bool readHealth(Exchange &exchange, UnitData &unit, HealthReading &reading);

// The identity block and the channel count into unit and record; record.headend stays.
bool readInventory(Exchange &exchange, UnitData &unit, InventoryRecord &record);

} // namespace keldor
