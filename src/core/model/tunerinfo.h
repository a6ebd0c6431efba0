#pragma once

#include <QString>

namespace keldor {

class ChannelView;
class Exchange;
struct UnitData;

// The states a channel's tuner status reports.
constexpr int tunerUnlocked = 0;
constexpr int tunerLocked = 1;

// The error-rate text for a count of bit errors per 10^7 bits: mantissa with one decimal,
// then the exponent (2345 -> "2.3e-4", 0 -> "0e-7").
QString berText(qint32 errorsPer1e7);
// The signal-to-noise text for a value in tenths of a dB: whole dB, halves away from zero.
QString snrText(qint32 tenths);

// The smallest QAM code whose bits per symbol exceed the need: 1 (QAM-16) .. 5 (QAM-256), 6 when
// nothing carries it. Comparisons are strict, so exactly 8 bits still fit QAM-256.
qint16 qamForBitsPerSymbol(double bits);
// The smallest QAM code for a transponder of datarate Mbit/s in a channel of the given
// bandwidth position (0 = 7 MHz, 1 = 8 MHz).
qint16 getMinQam(int bandwidthPosition, float datarate);
// The smallest output symbol rate in kSym/s that carries datarate with the QAM code; 0 for a
// code without a bits-per-symbol value.
qint16 getMinSymbol(int qamCode, float datarate);

// Reads the tuner state of one channel into unit.tuners and unit.channelDataRate. False when a
// read failed; the channel's state then stays as it was, its data rate is kept once read.
bool readTunerState(Exchange &exchange, UnitData &unit, int channel);

// Shows a channel's tuner state on its column: the status in black for a lock and for a channel
// without a reading, else in red; error rate and S/N while locked; the service list can be
// opened while locked and where no tuner was read.
void showTunerState(const UnitData &unit, int channel, ChannelView &view);

} // namespace keldor
