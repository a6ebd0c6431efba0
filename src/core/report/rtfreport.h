#pragma once

#include "channels/channellists.h"
#include "model/unitdata.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace keldor {

class Exchange;
struct ChannelServices;

// What the report prints: the texts of the channel window's device block and columns.
struct ReportTexts {
    DeviceTexts device;
    std::array<ChannelTexts, channelCount> channels;
};

// One row of the channel table: wide rows hold up to six columns, narrow rows up to four.
struct ReportRow {
    bool narrow = false;
    int first = 0; // channel index of the first column
    int count = 0;
};

// The rows for a headend: eight-channel models print two narrow rows, every other model wide
// rows of six and what remains (four channels) in a narrow row.
QList<ReportRow> reportRows(qint32 deviceVariant, int channelsInUse);

// Service lists are printed for FPGA versions above "1.05" and controller versions above "1.04"
// except on the 16-channel model.
bool reportHasServiceLists(const DeviceTexts &device, qint32 deviceVariant);

// The document parts, each line ending in CR LF.
QByteArray rtfDeviceHeader(const DeviceTexts &device);
QByteArray rtfChannelTable(const ReportTexts &texts, qint32 deviceVariant, int channelsInUse);
QByteArray rtfServiceList(int channel, const ChannelServices &services);

enum class ReportResult {
    Written,    // the whole report
    Incomplete, // a headend exchange failed while the service lists were read; the file holds
                // the lists read before it
    NotWritten, // the file could not be written; an existing report is unchanged
};

// Writes the configuration report to path, reading the service lists from the headend when its
// firmware has them. The file only replaces an existing one once it is complete.
ReportResult printRtf(Exchange &exchange, const QString &path, const ReportTexts &texts,
                      const UnitData &unit);

} // namespace keldor
