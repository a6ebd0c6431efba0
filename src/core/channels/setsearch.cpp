#include "channels/setsearch.h"

#include "channels/channellists.h"
#include "channels/channelview.h"
#include "common/textutil.h"
#include "common/userinterface.h"
#include "link/exchange.h"
#include "model/unitdata.h"
#include "protocol/parameters.h"
#include "protocol/tunerinfo.h"

namespace keldor {

namespace {

constexpr qint16 autoLoLow = 9750;
constexpr qint16 autoLoHigh = 10600;
constexpr qint16 autoLoSwitch = 11700;

qint16 whole(const QString &text)
{
    return whole_number16(text).value_or(0);
}

bool reset_service_list(Exchange &exchange, quint8 ch)
{
    return set_parameter(exchange, ch, 0x02, qint64{ch}) &&
           set_parameter(exchange, ch, 0x0E, qint64{0}) &&
           set_parameter(exchange, ch, 0x10, qint64{0}) &&
           set_parameter(exchange, ch, 0x11, qint64{0}) &&
           set_parameter(exchange, ch, 0xA0, QByteArray(2, '\0'));
}

bool send_input(Exchange &exchange, UnitData &unit, int channel, const InputSettings &settings)
{
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    if (compare_text(unit.identity.fpga_version, "1.05") > 0 &&
        compare_text(unit.identity.controller_version, "1.03") > 0 &&
        !reset_service_list(exchange, ch))
        return false;

    if (!unit.polarisation_supported) {
        record.polarisation = 0;
    } else {
        if (!set_parameter(exchange, ch, 0x64, qint64{settings.polarisation}))
            return false;
        record.polarisation = static_cast<quint8>(settings.polarisation);
    }
    if (!set_parameter(exchange, ch, 0x65, settings.in_frequency))
        return false;
    record.in_frequency = whole(settings.in_frequency);

    if (settings.lo.toUpper() == QLatin1String("AUTO")) {
        if (!set_parameter(exchange, ch, 0x88, qint64{0}))
            return false;
        record.lo_mode = 0;
        const qint16 lo = record.in_frequency < autoLoSwitch ? autoLoLow : autoLoHigh;
        if (!set_parameter(exchange, ch, 0x66, qint64{lo}))
            return false;
        record.lo_frequency = lo;
    } else {
        if (!set_parameter(exchange, ch, 0x88, qint64{1}))
            return false;
        record.lo_mode = 1;
        if (!set_parameter(exchange, ch, 0x66, settings.lo))
            return false;
        record.lo_frequency = whole(settings.lo);
    }

    if (!set_parameter(exchange, ch, 0x67, settings.in_symbolrate))
        return false;
    record.in_symbolrate = whole(settings.in_symbolrate);
    return set_parameter(exchange, ch, 0x68, qint64{0}) &&
           set_parameter(exchange, ch, 0x74, qint64{0});
}

} // namespace

bool set_channel(Exchange &exchange, UnitData &unit, int channel, const OutputSettings &settings)
{
    // A QAM box without a selection (the headend reported a code the list doesn't have) would
    // otherwise stop the Set halfway, after the frequency was already sent.
    if (settings.qam_code < 0 || settings.qam_code >= lists::qam().size()) {
        exchange.ui().message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                              QStringLiteral("Please select a QAM order!"));
        return false;
    }
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    if (!set_parameter(exchange, ch, 0x02, qint64{ch}))
        return false;
    if (!set_parameter(exchange, ch, 0x03, settings.out_frequency))
        return false;
    record.out_frequency = static_cast<float>(parse_number(settings.out_frequency).value_or(0));
    if (!set_parameter(exchange, ch, 0x06, qint64{settings.qam_code}))
        return false;
    record.qam = static_cast<quint8>(settings.qam_code);
    if (!set_parameter(exchange, ch, 0x07, settings.out_symbolrate))
        return false;
    record.out_symbolrate = whole(settings.out_symbolrate);
    if (!set_parameter(exchange, ch, 0x04, qint64{settings.spectrum}))
        return false;
    record.spectrum = static_cast<quint8>(settings.spectrum);
    if (!set_parameter(exchange, ch, 0x05, qint64{settings.opmode}))
        return false;
    record.opmode = static_cast<quint8>(settings.opmode);
    if (!set_parameter(exchange, ch, 0x08, qint64{settings.attenuation}))
        return false;
    record.attenuation = static_cast<quint8>(settings.attenuation);
    const qint64 on = settings.output_on ? 1 : 0;
    if (!set_parameter(exchange, ch, 0x73, on))
        return false;
    record.output_on = static_cast<quint8>(on);
    if (!set_parameter(exchange, ch, 0x75, qint64{settings.bandwidth}))
        return false;
    record.bandwidth = static_cast<quint8>(settings.bandwidth);
    // The headend applies the settings with 0x74; a Set whose fields all arrived has succeeded.
    set_parameter(exchange, ch, 0x74, qint64{0});
    return true;
}

bool search_channel(Exchange &exchange, UnitData &unit, ChannelView &view, int channel,
                    const InputSettings &settings)
{
    view.setPagesEnabled(false);
    view.setServiceListEnabled(channel, false);
    view.setStatus(channel, QStringLiteral("Searching..."), true);
    const bool done = send_input(exchange, unit, channel, settings) &&
                      read_tuner_info(exchange, unit, view, channel);
    view.setPagesEnabled(true);
    return done;
}

} // namespace keldor
