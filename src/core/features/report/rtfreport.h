#pragma once

#include "core/model/channellists.h"
#include "core/model/unitdata.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace keldor {

class UserInterface;
struct ChannelServices;
struct Configuration;

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

// The document parts, each line ending in CR LF.
QByteArray rtfDeviceHeader(const DeviceTexts &device);
// The serial number a report's device header names, as it was printed; nothing when the bytes
// hold no such header or it names none.
std::optional<QString> reportSerialNumber(const QByteArray &report);
QByteArray rtfChannelTable(const ReportTexts &texts, qint32 deviceVariant, int channelsInUse);
QByteArray rtfServiceList(int channel, const ChannelServices &services);

// The whole report of a configuration: device header, channel table and, where the selections
// were read, every channel's service list. Nothing is asked of a headend: the report shows
// what the settings file beside it holds, in the texts the channel window shows for it.
QByteArray renderReport(const Configuration &config);

// Writes the report to path. The file only replaces an existing one once it is complete; a
// failure is shown to the operator and gives false.
bool printRtf(UserInterface &ui, const QString &path, const Configuration &config);

} // namespace keldor
