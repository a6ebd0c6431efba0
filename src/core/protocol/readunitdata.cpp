#include "protocol/readunitdata.h"

#include "channels/channellists.h"
#include "channels/channelview.h"
#include "common/textutil.h"
#include "common/userinterface.h"
#include "link/exchange.h"
#include "model/unitdata.h"
#include "protocol/parameters.h"
#include "protocol/tunerinfo.h"

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

bool readIdentity(Exchange &exchange, UnitData &unit, ChannelView &view)
{
    ParamValue value;
    if (!readParameter(exchange, 0, 0x79, 0, value))
        return false;
    unit.identity.deviceType = value.text;
    view.setDeviceText(Field::DeviceType, fromCp1252(value.text));
    if (!readParameter(exchange, 0, 0x7A, 0, value))
        return false;
    unit.identity.serialNumber = value.toInt();
    view.setDeviceText(Field::SerialNumber, QString::number(value.toInt()));
    if (!readParameter(exchange, 0, 0x7B, 0, value))
        return false;
    unit.identity.hardwareVersion = value.text;
    view.setDeviceText(Field::HardwareVersion, fromCp1252(value.text));
    if (!readParameter(exchange, 0, 0x78, 0, value))
        return false;
    unit.identity.controllerVersion = value.text;
    unit.controllerVersion = value.text;
    view.setDeviceText(Field::ControllerVersion, fromCp1252(value.text));
    if (!readParameter(exchange, 0, 0x01, 0, value))
        return false;
    unit.identity.fpgaVersion = value.text;
    view.setDeviceText(Field::FpgaVersion, fromCp1252(value.text));
    if (!readParameter(exchange, 0, 0x76, 0, value))
        return false;
    unit.polarisationSupported = value.toInt() != 0;
    return true;
}

bool readChannel(Exchange &exchange, UnitData &unit, ChannelView &view, int channel,
                 ReadNotices notices)
{
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    ParamValue value;
    const auto read = [&](quint8 code) {
        return readParameter(exchange, ch, code, 0, value);
    };

    view.setSnr(channel, QString());
    view.setBer(channel, QString());
    bool locked = false;
    if (!readTunerInfo(exchange, unit, view, channel, &locked))
        return false;

    if (unit.polarisationSupported) {
        if (!read(0x56))
            return false;
        record.polarisation = static_cast<quint8>(value.toInt());
        view.setPolarisation(channel, record.polarisation);
    } else {
        view.setPolarisation(channel, std::nullopt);
    }
    if (!read(0x52))
        return false;
    record.inFrequency = static_cast<qint16>(value.toInt());
    view.setInFrequencyText(channel, formatWhole(record.inFrequency));
    if (!read(0x53))
        return false;
    record.loFrequency = static_cast<qint16>(value.toInt());
    if (const auto entry = extraLoEntry(record))
        view.addLoEntry(channel, *entry);
    if (!read(0x87))
        return false;
    record.loMode = static_cast<quint8>(value.toInt());
    view.setLoText(channel, loText(record.loMode, record.loFrequency));
    if (!read(0x54))
        return false;
    record.inSymbolrate = static_cast<qint16>(value.toInt());
    view.setInSymbolrateText(channel, formatWhole(record.inSymbolrate));
    if (!read(0x57))
        return false;
    record.outputOn = static_cast<quint8>(value.toInt());
    view.setOutputOn(channel, record.outputOn != 0);
    if (!read(0x72))
        return false;
    record.opmode = static_cast<quint8>(value.toInt());
    view.setOpmode(channel, record.opmode);
    if (!read(0x51))
        return false;
    record.outFrequency = value.toFloat();
    view.setOutFrequencyText(channel, formatFrequency(record.outFrequency));
    if (!read(0x58))
        return false;
    record.bandwidth = static_cast<quint8>(value.toInt());
    view.setBandwidth(channel, record.bandwidth);

    if (!read(0x59))
        return false;
    record.qam = static_cast<quint8>(value.toInt());
    const int minimum = getMinQam(record.bandwidth, unit.channelDataRate.at(ch));
    if (locked && minimum == noQamFits) {
        if (notices == ReadNotices::Shown) {
            exchange.ui().message(
                UserInterface::Icon::Critical, QStringLiteral("Error"),
                QStringLiteral("This transponder cannot be converted due to high datarate!"));
        }
        // The column still shows what the headend runs, so a Set doesn't send a guess.
        view.setQamList(channel, 0, record.qam);
    } else if (locked) {
        // A QAM order below the minimum isn't offered; the lowest one that carries the
        // transponder stands in, as when the bandwidth changes.
        view.setQamList(channel, minimum, std::max<int>(record.qam, minimum));
    } else {
        view.setQamList(channel, 0, record.qam);
    }

    if (!read(0x55))
        return false;
    record.outSymbolrate = static_cast<qint16>(value.toInt());
    view.setOutSymbolrateText(channel, formatWhole(record.outSymbolrate));
    if (!read(0x71))
        return false;
    record.spectrum = static_cast<quint8>(value.toInt());
    view.setSpectrum(channel, record.spectrum);
    if (!read(0x70))
        return false;
    record.attenuation = static_cast<quint8>(value.toInt());
    view.setAttenuation(channel, record.attenuation);
    view.setSetEnabled(channel, false);
    return true;
}

} // namespace

bool serviceListsSupported(const QByteArray &fpgaVersion, const QByteArray &controllerVersion,
                           qint32 deviceVariant)
{
    return compareText(fpgaVersion, "1.06") >= 0 && compareText(controllerVersion, "1.05") >= 0 &&
           deviceVariant != sixteenChannelVariant;
}

bool readUnitData(Exchange &exchange, UnitData &unit, ChannelView &view, ReadNotices notices)
{
    if (!readIdentity(exchange, unit, view))
        return false;
    if (!serviceListsSupported(unit.identity.fpgaVersion, unit.identity.controllerVersion,
                               unit.deviceVariant))
        view.hideServiceListButtons();
    const int last = std::min<int>(unit.maxChannel, channelCount - 1);
    for (int channel = 0; channel <= last; ++channel) {
        if (!readChannel(exchange, unit, view, channel, notices))
            return false;
    }
    view.showFirstPage();
    return true;
}

void showChannelTable(const UnitData &unit, ChannelView &view)
{
    const int last = std::min<int>(unit.maxChannel, channelCount - 1);
    for (int channel = 0; channel <= last; ++channel) {
        const ChannelRecord &record = unit.channel(channel);
        view.setStatus(channel, QString(), true);
        view.setBer(channel, QString());
        view.setSnr(channel, QString());
        view.setPolarisation(channel, record.polarisation);
        view.setInFrequencyText(channel, formatWhole(record.inFrequency));
        if (const auto entry = extraLoEntry(record))
            view.addLoEntry(channel, *entry);
        view.setLoText(channel, loText(record.loMode, record.loFrequency));
        view.setInSymbolrateText(channel, formatWhole(record.inSymbolrate));
        view.setOutputOn(channel, record.outputOn != 0);
        view.setOpmode(channel, record.opmode);
        view.setOutFrequencyText(channel, formatFrequency(record.outFrequency));
        view.setBandwidth(channel, record.bandwidth);
        view.setQamList(channel, 0, record.qam);
        view.setOutSymbolrateText(channel, formatWhole(record.outSymbolrate));
        view.setSpectrum(channel, record.spectrum);
        view.setAttenuation(channel, record.attenuation);
        view.setSetEnabled(channel, false);
        view.setSearchEnabled(channel, false);
        view.setServiceListEnabled(channel, true);
    }
    view.showFirstPage();
}

} // namespace keldor
