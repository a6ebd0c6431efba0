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

bool read_identity(Exchange &exchange, UnitData &unit, ChannelView &view)
{
    ParamValue value;
    if (!read_parameter(exchange, 0, 0x79, 0, value))
        return false;
    unit.identity.device_type = value.text;
    view.setDeviceText(Field::DeviceType, from_cp1252(value.text));
    if (!read_parameter(exchange, 0, 0x7A, 0, value))
        return false;
    unit.identity.serial_number = value.toInt();
    view.setDeviceText(Field::SerialNumber, QString::number(value.toInt()));
    if (!read_parameter(exchange, 0, 0x7B, 0, value))
        return false;
    unit.identity.hardware_version = value.text;
    view.setDeviceText(Field::HardwareVersion, from_cp1252(value.text));
    if (!read_parameter(exchange, 0, 0x78, 0, value))
        return false;
    unit.identity.controller_version = value.text;
    unit.controller_version = value.text;
    view.setDeviceText(Field::ControllerVersion, from_cp1252(value.text));
    if (!read_parameter(exchange, 0, 0x01, 0, value))
        return false;
    unit.identity.fpga_version = value.text;
    view.setDeviceText(Field::FpgaVersion, from_cp1252(value.text));
    if (!read_parameter(exchange, 0, 0x76, 0, value))
        return false;
    unit.polarisation_supported = value.toInt() != 0;
    return true;
}

bool read_channel(Exchange &exchange, UnitData &unit, ChannelView &view, int channel,
                  ReadNotices notices)
{
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    ParamValue value;
    const auto read = [&](quint8 code) {
        return read_parameter(exchange, ch, code, 0, value);
    };

    view.setSnr(channel, QString());
    view.setBer(channel, QString());
    bool locked = false;
    if (!read_tuner_info(exchange, unit, view, channel, &locked))
        return false;

    if (unit.polarisation_supported) {
        if (!read(0x56))
            return false;
        record.polarisation = static_cast<quint8>(value.toInt());
        view.setPolarisation(channel, record.polarisation);
    } else {
        view.setPolarisation(channel, std::nullopt);
    }
    if (!read(0x52))
        return false;
    record.in_frequency = static_cast<qint16>(value.toInt());
    view.setInFrequencyText(channel, format_whole(record.in_frequency));
    if (!read(0x53))
        return false;
    record.lo_frequency = static_cast<qint16>(value.toInt());
    if (record.lo_frequency != standardLoLow && record.lo_frequency != standardLoHigh)
        view.addLoEntry(channel, format_whole(record.lo_frequency));
    if (!read(0x87))
        return false;
    record.lo_mode = static_cast<quint8>(value.toInt());
    view.setLoText(channel, record.lo_mode == 0 ? QStringLiteral("AUTO")
                                                : format_whole(record.lo_frequency));
    if (!read(0x54))
        return false;
    record.in_symbolrate = static_cast<qint16>(value.toInt());
    view.setInSymbolrateText(channel, format_whole(record.in_symbolrate));
    if (!read(0x57))
        return false;
    record.output_on = static_cast<quint8>(value.toInt());
    view.setOutputOn(channel, record.output_on != 0);
    if (!read(0x72))
        return false;
    record.opmode = static_cast<quint8>(value.toInt());
    view.setOpmode(channel, record.opmode);
    if (!read(0x51))
        return false;
    record.out_frequency = value.toFloat();
    view.setOutFrequencyText(channel, format_frequency(record.out_frequency));
    if (!read(0x58))
        return false;
    record.bandwidth = static_cast<quint8>(value.toInt());
    view.setBandwidth(channel, record.bandwidth);

    if (!read(0x59))
        return false;
    record.qam = static_cast<quint8>(value.toInt());
    const int minimum = get_minqam(record.bandwidth, unit.channel_data_rate.at(ch));
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
    record.out_symbolrate = static_cast<qint16>(value.toInt());
    view.setOutSymbolrateText(channel, format_whole(record.out_symbolrate));
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

bool service_lists_supported(const QByteArray &fpgaVersion, const QByteArray &controllerVersion,
                             qint32 deviceVariant)
{
    return compare_text(fpgaVersion, "1.06") >= 0 && compare_text(controllerVersion, "1.05") >= 0 &&
           deviceVariant != sixteenChannelVariant;
}

bool read_unit_data(Exchange &exchange, UnitData &unit, ChannelView &view, ReadNotices notices)
{
    if (!read_identity(exchange, unit, view))
        return false;
    if (!service_lists_supported(unit.identity.fpga_version, unit.identity.controller_version,
                                 unit.device_variant))
        view.hideServiceListButtons();
    const int last = std::min<int>(unit.max_channel, channelCount - 1);
    for (int channel = 0; channel <= last; ++channel) {
        if (!read_channel(exchange, unit, view, channel, notices))
            return false;
    }
    view.showFirstPage();
    return true;
}

} // namespace keldor
