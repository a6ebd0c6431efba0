#include "core/model/tunerinfo.h"

#include "core/common/textutil.h"
#include "core/model/channellists.h"
#include "core/model/channelview.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

#include <cmath>
#include <limits>

namespace keldor {

namespace {

// The transport stream carries 204-byte Reed-Solomon packets for every 188 bytes of payload.
double withReedSolomon(float datarate)
{
    return static_cast<double>(datarate) * 204.0 / 188.0;
}

} // namespace

QString berText(qint32 errorsPer1e7)
{
    if (errorsPer1e7 <= 0)
        return QStringLiteral("0e-7");
    int exponent = static_cast<int>(std::floor(std::log10(static_cast<double>(errorsPer1e7))));
    double mantissa = roundHalfEven(errorsPer1e7 / std::pow(10.0, exponent) * 10.0) / 10.0;
    // 9999 rounds up to a mantissa of 10; one more power of ten keeps it a single digit.
    if (mantissa >= 10.0) {
        mantissa /= 10.0;
        ++exponent;
    }
    QString text = QString::number(mantissa, 'f', 1);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text + QStringLiteral("e-") + QString::number(7 - exponent);
}

QString snrText(qint32 tenths)
{
    return QString::number(static_cast<qint64>(std::round(tenths / 10.0)));
}

qint16 qamForBitsPerSymbol(double bits)
{
    if (bits > 8)
        return 6;
    if (bits > 7)
        return 5;
    if (bits > 6)
        return 4;
    if (bits > 5)
        return 3;
    if (bits > 4)
        return 2;
    return 1;
}

qint16 getMinQam(int bandwidthPosition, float datarate)
{
    // Bits per symbol with a roll-off of 0.15 in a 7 or 8 MHz channel.
    double bits = withReedSolomon(datarate);
    if (bandwidthPosition == 0)
        bits = bits * 1.15 / 7.0;
    else if (bandwidthPosition == 1)
        bits = bits * 1.15 / 8.0;
    return qamForBitsPerSymbol(bits);
}

qint16 getMinSymbol(int qamCode, float datarate)
{
    if (qamCode < 1 || qamCode > 5)
        return 0;
    const int bitsPerSymbol = qamCode + 3;
    const double rate = roundHalfEven(withReedSolomon(datarate) * 1000.0 / bitsPerSymbol - 2.0);
    // A garbled data-rate answer can be not a number; it sets no minimum, and converting it
    // would be undefined.
    if (std::isnan(rate))
        return 0;
    // A data rate no cable channel carries must not wrap around into a small minimum.
    if (rate > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (rate < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return static_cast<qint16>(rate);
}

bool readTunerState(Exchange &exchange, UnitData &unit, int channel)
{
    const auto ch = static_cast<quint8>(channel);
    const auto read = [&](quint8 code, ParamValue &value) {
        return readParameter(exchange, ch, code, 0, value);
    };
    ParamValue value;
    if (!read(param::tunerStatus, value))
        return false;
    TunerState state;
    state.status = value.toInt();
    float &dataRate = unit.channelDataRate.at(static_cast<size_t>(channel));
    if (state.status == tunerUnlocked) {
        if (!read(param::noSignal, value))
            return false;
        state.noSignal = value.toInt() != 0;
        dataRate = 0.0f;
    } else if (state.status == tunerLocked) {
        if (!read(param::dataRate, value))
            return false;
        dataRate = value.toFloat();
        if (!read(param::bitErrors, value))
            return false;
        state.bitErrors = value.toInt();
        if (!read(param::signalToNoise, value))
            return false;
        state.snrTenths = value.toInt();
    }
    unit.tuners.at(static_cast<size_t>(channel)) = state;
    return true;
}

void showTunerState(const UnitData &unit, int channel, ChannelView &view)
{
    const std::optional<TunerState> &state = unit.tuners.at(static_cast<size_t>(channel));
    const bool locked = state && state->status == tunerLocked;
    if (!state)
        view.setStatus(channel, QString(), true);
    else if (state->status == tunerUnlocked)
        view.setStatus(channel, lists::tunerStatus().at(state->noSignal ? 2 : tunerUnlocked),
                       false);
    else
        view.setStatus(channel, tunerStateText(state->status), locked);
    view.setBer(channel, locked ? berText(state->bitErrors) : QString());
    view.setSnr(channel, locked ? snrText(state->snrTenths) : QString());
    if (locked || !state)
        view.setSearchEnabled(channel, false);
    // A tuner in a state other than these two leaves the button as the window had it.
    if (locked || !state || state->status == tunerUnlocked)
        view.setServiceListEnabled(channel, locked || !state);
}

} // namespace keldor
