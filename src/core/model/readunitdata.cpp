#include "core/model/readunitdata.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/link/exchange.h"
#include "core/model/channellists.h"
#include "core/model/channelview.h"
#include "core/model/tunerinfo.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

#include <algorithm>

namespace keldor {

namespace {

constexpr qint16 standardLoLow = 9750;
constexpr qint16 standardLoHigh = 10600;
constexpr qint32 sixteenChannelVariant = 3;
constexpr int noQamFits = 6;

using Field = ChannelView::DeviceField;

// A local oscillator other than the two standard ones becomes an entry of its own.
std::optional<QString> extraLoEntry(const ChannelRecord &record)
{
    if (record.loFrequency == standardLoLow || record.loFrequency == standardLoHigh)
        return std::nullopt;
    return formatWhole(record.loFrequency);
}

int lastChannel(const UnitData &unit)
{
    return std::min<int>(unit.maxChannel, channelCount - 1);
}

void report(const ReadProgress &progress, ReadStep step, int channel)
{
    if (progress)
        progress(step, channel);
}

bool readChannel(Exchange &exchange, UnitData &unit, int channel)
{
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    ParamValue value;
    const auto read = [&](quint8 code) {
        return readParameter(exchange, ch, code, 0, value);
    };

    if (!readTunerState(exchange, unit, channel))
        return false;
    if (unit.polarisationSupported) {
        if (!read(param::readPolarisation))
            return false;
        record.polarisation = static_cast<quint8>(value.toInt());
    }
    if (!read(param::readInFrequency))
        return false;
    record.inFrequency = static_cast<qint16>(value.toInt());
    if (!read(param::readLoFrequency))
        return false;
    record.loFrequency = static_cast<qint16>(value.toInt());
    if (!read(param::readLoMode))
        return false;
    record.loMode = static_cast<quint8>(value.toInt());
    if (!read(param::readInSymbolrate))
        return false;
    record.inSymbolrate = static_cast<qint16>(value.toInt());
    if (!read(param::readOutputOn))
        return false;
    record.outputOn = static_cast<quint8>(value.toInt());
    if (!read(param::readOpmode))
        return false;
    record.opmode = static_cast<quint8>(value.toInt());
    if (!read(param::readOutFrequency))
        return false;
    record.outFrequency = value.toFloat();
    if (!read(param::readBandwidth))
        return false;
    record.bandwidth = static_cast<quint8>(value.toInt());
    if (!read(param::readQam))
        return false;
    record.qam = static_cast<quint8>(value.toInt());
    if (!read(param::readOutSymbolrate))
        return false;
    record.outSymbolrate = static_cast<qint16>(value.toInt());
    if (!read(param::readSpectrum))
        return false;
    record.spectrum = static_cast<quint8>(value.toInt());
    if (!read(param::readAttenuation))
        return false;
    record.attenuation = static_cast<quint8>(value.toInt());
    return true;
}

} // namespace

bool serviceListsSupported(const QByteArray &fpgaVersion, const QByteArray &controllerVersion,
                           qint32 deviceVariant)
{
    return compareText(fpgaVersion, "1.06") >= 0 && compareText(controllerVersion, "1.05") >= 0 &&
           deviceVariant != sixteenChannelVariant;
}

bool readDeviceIdentity(Exchange &exchange, DeviceIdentity &identity)
{
    ParamValue value;
    const auto readText = [&](quint8 code, QByteArray &text) {
        if (!readParameter(exchange, 0, code, 0, value))
            return false;
        text = value.text;
        return true;
    };
    if (!readText(param::deviceType, identity.deviceType))
        return false;
    if (!readParameter(exchange, 0, param::serialNumber, 0, value))
        return false;
    identity.serialNumber = value.toInt();
    return readText(param::hardwareVersion, identity.hardwareVersion) &&
           readText(param::controllerVersion, identity.controllerVersion) &&
           readText(param::fpgaVersion, identity.fpgaVersion);
}

bool readIdentity(Exchange &exchange, UnitData &unit)
{
    if (!readDeviceIdentity(exchange, unit.identity))
        return false;
    unit.controllerVersion = unit.identity.controllerVersion;
    ParamValue value;
    if (!readParameter(exchange, 0, param::polarisationSupported, 0, value))
        return false;
    unit.polarisationSupported = value.toInt() != 0;
    unit.identity.fromHeadend = true;
    return true;
}

bool readUnitData(Exchange &exchange, UnitData &unit, const ReadProgress &progress)
{
    exchange.deadline().enter(Stage::Identity);
    if (!readIdentity(exchange, unit))
        return false;
    report(progress, ReadStep::Identity, 0);
    for (int channel = 0; channel <= lastChannel(unit); ++channel) {
        exchange.deadline().enter(Stage::Channel, channel);
        if (!readChannel(exchange, unit, channel))
            return false;
        report(progress, ReadStep::Channel, channel);
    }
    return true;
}

void showIdentity(const UnitData &unit, ChannelView &view)
{
    const DeviceIdentity &identity = unit.identity;
    view.setDeviceText(Field::DeviceType, fromCp1252(identity.deviceType));
    view.setDeviceText(Field::SerialNumber,
                       identity.fromHeadend ? QString::number(identity.serialNumber) : QString());
    view.setDeviceText(Field::HardwareVersion, fromCp1252(identity.hardwareVersion));
    view.setDeviceText(Field::ControllerVersion, fromCp1252(identity.controllerVersion));
    view.setDeviceText(Field::FpgaVersion, fromCp1252(identity.fpgaVersion));
    if (identity.fromHeadend &&
        !serviceListsSupported(identity.fpgaVersion, identity.controllerVersion,
                               unit.deviceVariant))
        view.hideServiceListButtons();
}

void showChannel(const UnitData &unit, int channel, ChannelView &view, UserInterface *notices)
{
    const ChannelRecord &record = unit.channel(channel);
    const std::optional<TunerState> &tuner = unit.tuners.at(static_cast<size_t>(channel));
    showTunerState(unit, channel, view);
    // A headend with a single input, and only a headend, shows "SAT".
    const bool inputs = unit.polarisationSupported || !unit.identity.fromHeadend;
    view.setPolarisation(channel, inputs ? std::optional<int>(record.polarisation) : std::nullopt);
    view.setInFrequencyText(channel, formatWhole(record.inFrequency));
    if (const auto entry = extraLoEntry(record))
        view.addLoEntry(channel, *entry);
    view.setLoText(channel, loText(record.loMode, record.loFrequency));
    view.setInSymbolrateText(channel, formatWhole(record.inSymbolrate));
    view.setOutputOn(channel, record.outputOn != 0);
    view.setOpmode(channel, record.opmode);
    view.setOutFrequencyText(channel, formatFrequency(record.outFrequency));
    view.setBandwidth(channel, record.bandwidth);

    // The QAM orders a bandwidth carries are known only for the bandwidths of the list.
    const bool judged = tuner && tuner->status == tunerLocked &&
                        !listEntry(lists::bandwidth(), record.bandwidth).isEmpty();
    const int minimum =
        getMinQam(record.bandwidth, unit.channelDataRate.at(static_cast<size_t>(channel)));
    if (judged && minimum == noQamFits) {
        if (notices) {
            notices->message(
                UserInterface::Icon::Critical, QStringLiteral("Error"),
                QStringLiteral("This transponder cannot be converted due to high datarate!"));
        }
        // The column still shows what the headend runs, so a Set doesn't send a guess.
        view.setQamList(channel, 0, record.qam);
    } else if (judged) {
        // A QAM order below the minimum isn't offered; the lowest one that carries the
        // transponder stands in, as when the bandwidth changes.
        view.setQamList(channel, minimum, std::max<int>(record.qam, minimum));
    } else {
        view.setQamList(channel, 0, record.qam);
    }
    view.setOutSymbolrateText(channel, formatWhole(record.outSymbolrate));
    view.setSpectrum(channel, record.spectrum);
    view.setAttenuation(channel, record.attenuation);
    view.setSetEnabled(channel, false);
}

void showUnitData(const UnitData &unit, ChannelView &view, UserInterface *notices)
{
    showIdentity(unit, view);
    for (int channel = 0; channel <= lastChannel(unit); ++channel)
        showChannel(unit, channel, view, notices);
    view.showFirstPage();
}

} // namespace keldor
