#include "core/features/channels/setsearch.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/link/exchange.h"
#include "core/model/channellists.h"
#include "core/model/channelview.h"
#include "core/model/tunerinfo.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

namespace keldor {

namespace {

constexpr qint16 autoLoLow = 9750;
constexpr qint16 autoLoHigh = 10600;
constexpr qint16 autoLoSwitch = 11700;

qint16 whole(const QString &text)
{
    return wholeNumber16(text).value_or(0);
}

// The oscillator the headend takes in the automatic mode, for a transponder frequency.
qint16 autoLo(qint16 inFrequency)
{
    return inFrequency < autoLoSwitch ? autoLoLow : autoLoHigh;
}

bool isAuto(const QString &lo)
{
    return lo.toUpper() == QLatin1String("AUTO");
}

bool resetServiceList(Exchange &exchange, quint8 ch)
{
    return setParameter(exchange, ch, param::selectChannel, qint64{ch}) &&
           setParameter(exchange, ch, param::selectionStart, qint64{0}) &&
           setParameter(exchange, ch, param::selectionEnd, qint64{0}) &&
           setParameter(exchange, ch, param::selectionCommit, qint64{0}) &&
           setParameter(exchange, ch, param::listString, QByteArray(2, '\0'));
}

bool sendInput(Exchange &exchange, UnitData &unit, int channel, const InputSettings &settings)
{
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    if (compareText(unit.identity.fpgaVersion, "1.05") > 0 &&
        compareText(unit.identity.controllerVersion, "1.03") > 0 && !resetServiceList(exchange, ch))
        return false;

    if (!unit.polarisationSupported) {
        record.polarisation = 0;
    } else {
        if (!setParameter(exchange, ch, param::polarisation, qint64{settings.polarisation}))
            return false;
        record.polarisation = static_cast<quint8>(settings.polarisation);
    }
    if (!setParameter(exchange, ch, param::inFrequency, settings.inFrequency))
        return false;
    record.inFrequency = whole(settings.inFrequency);

    if (isAuto(settings.lo)) {
        if (!setParameter(exchange, ch, param::loMode, qint64{0}))
            return false;
        record.loMode = 0;
        const qint16 lo = autoLo(record.inFrequency);
        if (!setParameter(exchange, ch, param::loFrequency, qint64{lo}))
            return false;
        record.loFrequency = lo;
    } else {
        if (!setParameter(exchange, ch, param::loMode, qint64{1}))
            return false;
        record.loMode = 1;
        if (!setParameter(exchange, ch, param::loFrequency, settings.lo))
            return false;
        record.loFrequency = whole(settings.lo);
    }

    if (!setParameter(exchange, ch, param::inSymbolrate, settings.inSymbolrate))
        return false;
    record.inSymbolrate = whole(settings.inSymbolrate);
    return setParameter(exchange, ch, param::inputDone, qint64{0}) &&
           setParameter(exchange, ch, param::apply, qint64{0});
}

} // namespace

bool setChannel(Exchange &exchange, UnitData &unit, int channel, const OutputSettings &settings)
{
    // A QAM box without a selection (the headend reported a code the list doesn't have) would
    // otherwise stop the Set halfway, after the frequency was already sent.
    if (settings.qamCode < 0 || settings.qamCode >= lists::qam().size()) {
        exchange.ui().message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                              QStringLiteral("Please select a QAM order!"));
        return false;
    }
    const auto ch = static_cast<quint8>(channel);
    ChannelRecord &record = unit.channel(channel);
    if (!setParameter(exchange, ch, param::selectChannel, qint64{ch}))
        return false;
    if (!setParameter(exchange, ch, param::outFrequency, settings.outFrequency))
        return false;
    record.outFrequency = static_cast<float>(parseNumber(settings.outFrequency).value_or(0));
    if (!setParameter(exchange, ch, param::qam, qint64{settings.qamCode}))
        return false;
    record.qam = static_cast<quint8>(settings.qamCode);
    if (!setParameter(exchange, ch, param::outSymbolrate, settings.outSymbolrate))
        return false;
    record.outSymbolrate = whole(settings.outSymbolrate);
    if (!setParameter(exchange, ch, param::spectrum, qint64{settings.spectrum}))
        return false;
    record.spectrum = static_cast<quint8>(settings.spectrum);
    if (!setParameter(exchange, ch, param::opmode, qint64{settings.opmode}))
        return false;
    record.opmode = static_cast<quint8>(settings.opmode);
    if (!setParameter(exchange, ch, param::attenuation, qint64{settings.attenuation}))
        return false;
    record.attenuation = static_cast<quint8>(settings.attenuation);
    const qint64 on = settings.outputOn ? 1 : 0;
    if (!setParameter(exchange, ch, param::outputOn, on))
        return false;
    record.outputOn = static_cast<quint8>(on);
    if (!setParameter(exchange, ch, param::bandwidth, qint64{settings.bandwidth}))
        return false;
    record.bandwidth = static_cast<quint8>(settings.bandwidth);
    // The headend applies the settings on the apply write; a Set whose fields all arrived has
    // succeeded.
    setParameter(exchange, ch, param::apply, qint64{0});
    return true;
}

bool searchChannel(Exchange &exchange, UnitData &unit, ChannelView &view, int channel,
                   const InputSettings &settings)
{
    view.setPagesEnabled(false);
    view.setServiceListEnabled(channel, false);
    view.setStatus(channel, QStringLiteral("Searching..."), true);
    const bool done =
        sendInput(exchange, unit, channel, settings) && readTunerState(exchange, unit, channel);
    if (done)
        showTunerState(unit, channel, view);
    view.setPagesEnabled(true);
    return done;
}

ChannelRecord editedRecord(const ChannelRecord &shown, const InputSettings &input,
                           const OutputSettings &output)
{
    ChannelRecord r = shown;
    const auto take16 = [](qint16 &field, const QString &text) {
        if (text != formatWhole(field))
            field = whole(text);
    };
    const auto take8 = [](quint8 &field, int position) {
        if (position >= 0)
            field = static_cast<quint8>(position);
    };
    take8(r.polarisation, input.polarisation);
    take16(r.inFrequency, input.inFrequency);
    const bool loEdited = input.lo != loText(shown.loMode, shown.loFrequency);
    if (isAuto(input.lo)) {
        // The automatic oscillator follows the transponder as the headend's would.
        r.loMode = 0;
        if (loEdited || r.inFrequency != shown.inFrequency)
            r.loFrequency = autoLo(r.inFrequency);
    } else if (loEdited) {
        r.loMode = 1;
        r.loFrequency = whole(input.lo);
    }
    take16(r.inSymbolrate, input.inSymbolrate);

    if (output.outFrequency != formatFrequency(shown.outFrequency))
        r.outFrequency = static_cast<float>(parseNumber(output.outFrequency).value_or(0));
    if (output.qamCode < lists::qam().size())
        take8(r.qam, output.qamCode);
    take16(r.outSymbolrate, output.outSymbolrate);
    take8(r.spectrum, output.spectrum);
    take8(r.opmode, output.opmode);
    take8(r.attenuation, output.attenuation);
    if (output.outputOn != (shown.outputOn != 0))
        r.outputOn = output.outputOn ? 1 : 0;
    take8(r.bandwidth, output.bandwidth);
    return r;
}

} // namespace keldor
