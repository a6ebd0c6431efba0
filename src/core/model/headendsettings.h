#pragma once

#include "core/model/readunitdata.h"
#include "core/model/servicelists.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdata.h"
#include "core/model/unitdiff.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace keldor {

class Exchange;
class UserInterface;

// Everything a settings file and its report hold about a headend: the unit image with the
// identity, every channel's settings and tuner state and, where the headend keeps them, its
// service selections (mode, count, IDs in the channel records), and the input services it named
// on the way, which the report lists by name.
struct Configuration {
    UnitData unit;
    std::array<QList<Service>, channelCount> inputServices;
    // The selections in the records are the headend's own; without service lists they say
    // that every service passes, which is what such a headend does.
    bool selectionsRead = false;
};

// Whether a headend's service selections can be read: the report has always read them from FPGA
// versions above "1.05" and controller versions above "1.04", except on the 16-channel model.
bool selectionsReadable(const UnitData &unit);

// Reads a whole configuration: the device type check, the full read, then for every channel the
// model has the service selection through the sequence of the service list editor, every listed
// ID included. That sequence is not only reads: for each channel it sends code 2 (select the
// channel) and code 13 (input list read); neither changes a setting. It shows nothing: progress
// hears of each finished step. The first failed exchange ends it with false.
bool readConfiguration(Exchange &exchange, Configuration &config,
                       const ReadProgress &progress = {});
// What a configuration whose unit the full read has just filled still lacks: the selections and
// the input service names, read as above.
bool readSelections(Exchange &exchange, Configuration &config, const ReadProgress &progress = {});

// Shows a read's progress in the progress window while it lives: a step per channel, as
// "Reading Channel:  3" for its settings and "Reading Service List Channel:  3" for its
// selection. The window opens with the first step, when the channel count is known.
class ReadProgressWindow {
public:
    ReadProgressWindow(UserInterface &ui, const UnitData &unit)
        : m_ui(ui)
        , m_unit(unit)
    {}
    ~ReadProgressWindow();
    ReadProgressWindow(const ReadProgressWindow &) = delete;
    ReadProgressWindow &operator=(const ReadProgressWindow &) = delete;

    ReadProgress progress();

private:
    UserInterface &m_ui;
    const UnitData &m_unit;
    bool m_shown = false;
};

// The settings file over what the headend holds now: what a full write of the file would leave
// on the headend, so the fields an old file lacks keep the headend's values and an old file's
// selections are reset. headend gets the configuration as read. Nothing when the read or the
// file failed; either has been reported.
struct FileOverHeadend {
    UnitData unit;
    SettingsFormat format = SettingsFormat::Current;
};
std::optional<FileOverHeadend> readFileOverHeadend(Exchange &exchange, UserInterface &ui,
                                                   const QString &path, Configuration &headend);

// Every service passes on channels 0..maxChannel: what a full write sends when the selections
// are reset.
void resetSelections(UnitData &unit);

// What the headend, read after a full write, holds otherwise than was sent: the diff from what
// was sent to what it holds. Selections count only where they could be read back.
UnitDiff checkWrite(const UnitData &sent, const Configuration &held);

// What the operator reads after the check of a full write: all is there, or the fields that
// differ follow (diffText of checkWrite).
inline const QString heldText = QStringLiteral("The headend holds the loaded settings.");
inline const QString heldOtherwiseText =
    QStringLiteral("The headend holds otherwise than was sent (sent -> holds):");

// Tells the operator that a full write finished but what the headend holds is not known, and
// where the settings it held before are kept.
void showUncheckedWrite(UserInterface &ui, const QString &backup);

// Reads the whole configuration again after a full write and compares it with what was sent:
// what the headend holds otherwise, empty when it holds what was sent. A failed read is told
// the operator (showUncheckedWrite) and gives nothing.
std::optional<UnitDiff> verifyWrite(Exchange &exchange, const UnitData &sent,
                                    const QString &backup);

} // namespace keldor
