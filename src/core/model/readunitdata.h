#pragma once

#include <QByteArray>

#include <functional>

namespace keldor {

class ChannelView;
class Exchange;
class UserInterface;
struct DeviceIdentity;
struct UnitData;

// Whether the headend edits service lists: FPGA from "1.06", controller from "1.05", and never
// the 16-channel model (variant 3). Versions compare as plain texts.
bool serviceListsSupported(const QByteArray &fpgaVersion, const QByteArray &controllerVersion,
                           qint32 deviceVariant);

// What a read of the headend has finished: the identity block, one channel's settings and
// tuner, or one channel's service selection. Channel indices are 0-based.
enum class ReadStep { Identity, Channel, Selection };
using ReadProgress = std::function<void(ReadStep step, int channel)>;

// Reads what names the headend: device type, serial number, hardware, controller and FPGA
// versions, in that order.
bool readDeviceIdentity(Exchange &exchange, DeviceIdentity &identity);
// The identity block of a full read: the above, then whether the headend has polarisation.
bool readIdentity(Exchange &exchange, UnitData &unit);

// Reads the identity block and channels 0..maxChannel into the model; maxChannel comes from
// checkDeviceType. It shows nothing: progress hears of every finished step, so a window can
// show each channel as it arrives. A failed read ends it there: what was read keeps its new
// value, the rest its old one.
bool readUnitData(Exchange &exchange, UnitData &unit, const ReadProgress &progress = {});

// The one way a unit image reaches a channel window or its texts: the identity block (the
// service-list buttons go where a headend that was read has no lists), channels 0..maxChannel
// the way the full read leaves them, and the first page in front. A settings file opened with
// no headend shows no tuner state and every QAM order, with Set and Search resting. notices,
// when given, hears of a locked transponder that no QAM order can carry.
void showUnitData(const UnitData &unit, ChannelView &view, UserInterface *notices = nullptr);
// Its parts, for a window that shows a read as it arrives.
void showIdentity(const UnitData &unit, ChannelView &view);
void showChannel(const UnitData &unit, int channel, ChannelView &view,
                 UserInterface *notices = nullptr);

} // namespace keldor
