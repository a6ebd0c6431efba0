#pragma once

#include <QtGlobal>

namespace keldor {

class DiagnosticView;
class Exchange;
struct UnitData;

constexpr int fanOptionCount = 3;

// Reads temperatures, operating hours, the status string and every channel's tuner lock and
// shows them as they arrive. Stops at the first failed read (the read has reported it); what
// was shown before stays. Learns the channel count into unit on the way.
bool readDiagnosticData(Exchange &exchange, UnitData &unit, DiagnosticView &view);

// The fan option 0..2 (FAN1..FAN3), code 0x85.
bool setFan(Exchange &exchange, int option);

// Clears the headend's reset counter (0x99) and shows the count it reads back (0x9C).
bool resetCounter(Exchange &exchange, DiagnosticView &view);

} // namespace keldor
