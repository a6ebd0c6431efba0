#pragma once

#include <QString>

namespace keldor {

class ChannelView;
class Exchange;
struct ChannelRecord;
struct UnitData;

// What a column's Set sends: the texts of its fields as they stand and the positions or codes
// of its selections.
struct OutputSettings {
    QString outFrequency;
    int qamCode = -1; // code of the selected QAM entry
    QString outSymbolrate;
    int spectrum = 0;
    int opmode = 0;
    int attenuation = 0;
    bool outputOn = false;
    int bandwidth = 0;
};

// What a column's Search sends.
struct InputSettings {
    int polarisation = 0; // position in the input list
    QString inFrequency;
    QString lo; // "AUTO" in any case, or MHz
    QString inSymbolrate;
};

// Writes the output settings of one channel, each field into the model once the headend
// acknowledged it. The first failed write ends it; the closing 0x74 write is not examined.
// Without a QAM code 0..5 nothing is sent.
bool setChannel(Exchange &exchange, UnitData &unit, int channel, const OutputSettings &settings);

// Tunes one channel's input, reads its tuner state into the model and shows it. The service
// list is reset first when the headend's versions (unit.identity, as the full read showed them)
// support it. The view's pages are disabled while it runs and enabled again afterwards, also
// after a failure, so the window stays usable; the status text then still reads "Searching...".
bool searchChannel(Exchange &exchange, UnitData &unit, ChannelView &view, int channel,
                   const InputSettings &settings);

// The record a column stands for when it is edited without a headend: a field that still shows
// what the record shows keeps the record's exact value, so a file saved unchanged keeps its
// bytes; a changed field is stored the way Set and Search store it.
ChannelRecord editedRecord(const ChannelRecord &shown, const InputSettings &input,
                           const OutputSettings &output);

} // namespace keldor
