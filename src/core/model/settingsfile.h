#pragma once

#include "core/model/unitdata.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace keldor {

class UserInterface;

// The settings file: the 16 channel records packed little-endian, 248 bytes each. Files of the
// first program generation hold 12 records of 20 bytes without service lists.
constexpr qsizetype settingsRecordSize = 248;
constexpr qsizetype settingsFileSize = channelCount * settingsRecordSize; // 3968
constexpr qsizetype oldRecordSize = 20;
constexpr qsizetype oldRecordCount = 12;
constexpr qsizetype oldSettingsFileSize = oldRecordCount * oldRecordSize; // 240

enum class SettingsFormat { Current, Old };

QByteArray encodeSettingsRecord(const ChannelRecord &record);
QByteArray encodeSettings(const std::array<ChannelRecord, channelCount> &channels);

// Decodes a whole file image into channels. A current-format image replaces every record; an
// old one fills the first thirteen fields of channels 0..11. The service lists of every channel
// end up empty for an old image. A list position beyond the program's lists is kept as it is,
// as the headend held it. Nothing is changed when the image is not a settings file or a record
// read from it holds what no headend holds (an output frequency that is no number, more
// services than a record holds); the reason, naming the channel and the field, is returned
// instead.
std::optional<QString> decodeSettings(const QByteArray &image,
                                      std::array<ChannelRecord, channelCount> &channels);

// The name under which the chosen name is saved: ".kdr" is appended unless the name already
// ends in exactly ".kdr".
QString settingsFileName(const QString &chosen);
// The report written beside a settings file: its last four characters become ".rtf".
QString reportFileName(const QString &settingsFile);

// Writes the channel table completely to a temporary file beside path and only then puts it in
// place, so a failed save leaves an existing file as it was. Failures are shown to the operator.
// The name is remembered as the unit's settings file.
bool saveSettingsFile(UserInterface &ui, const QString &path, UnitData &unit);

// Reads a settings file into channels: its format, or the operator's message why it can't be
// used, in which case channels are unchanged. Only a regular file is read.
std::variant<SettingsFormat, QString>
readSettingsFile(const QString &path, std::array<ChannelRecord, channelCount> &channels);

// Loads a settings file into the channel table and remembers its name. A file that can't be
// read or is no settings file is refused with a message and leaves the table unchanged.
std::optional<SettingsFormat> loadSettingsFile(UserInterface &ui, const QString &path,
                                               UnitData &unit);

} // namespace keldor
