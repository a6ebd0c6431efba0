#pragma once

#include <QByteArray>

namespace keldor {

class ChannelView;
class Exchange;
struct UnitData;

// Whether the headend edits service lists: FPGA from "1.06", controller from "1.05", and never
// the 16-channel model (variant 3). Versions compare as plain texts.
bool serviceListsSupported(const QByteArray &fpgaVersion, const QByteArray &controllerVersion,
                           qint32 deviceVariant);

// Whether the read tells the operator about a transponder that no QAM order can carry. A read
// that no window shows (the backup before an update) keeps quiet.
enum class ReadNotices { Shown, Hidden };

// Reads the identity block and channels 0..maxChannel into the model and onto the view.
// maxChannel comes from checkDeviceType. A failed read ends it there: what was read keeps its
// new value, the rest its old one.
bool readUnitData(Exchange &exchange, UnitData &unit, ChannelView &view,
                  ReadNotices notices = ReadNotices::Shown);

// Shows channels 0..maxChannel of the model the way the full read shows them, for a settings file
// opened with no headend: no tuner state, every QAM order offered, Set and Search disabled and
// every service list viewable.
void showChannelTable(const UnitData &unit, ChannelView &view);

} // namespace keldor
