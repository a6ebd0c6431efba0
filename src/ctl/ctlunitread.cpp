#include "ctlunitread.h"

#include "channels/channellists.h"
#include "common/textutil.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/parameters.h"
#include "report/rtfreport.h"

#include <cmath>

namespace keldor {

namespace {

constexpr int tunerLocked = 1;

class Reader {
public:
    Reader(Exchange &exchange, quint8 channel)
        : m_exchange(exchange)
        , m_channel(channel)
    {}

    bool ok() const { return m_ok; }
    ParamValue operator()(quint8 code)
    {
        ParamValue value;
        if (m_ok)
            m_ok = read_parameter(m_exchange, m_channel, code, 0, value);
        return value;
    }

private:
    Exchange &m_exchange;
    quint8 m_channel;
    bool m_ok = true;
};

// "2.3e-4" for 2345 errors in 10^7 bits, "0e-7" for none.
QString error_rate_text(qint32 errors)
{
    int exponent = 0;
    double mantissa = 0;
    if (errors > 0) {
        exponent = static_cast<int>(std::floor(std::log10(static_cast<double>(errors))));
        mantissa = errors / std::pow(10.0, exponent);
    }
    return QString::number(std::round(mantissa * 10.0) / 10.0) + QStringLiteral("e-") +
           QString::number(7 - exponent);
}

bool read_tuner_texts(Reader &read, ChannelTexts &texts, float &dataRate)
{
    int status = read(0x60).toInt();
    if (status > 12)
        status = 9;
    dataRate = 0;
    if (status == 0) {
        texts.status = read(0x63).toInt() != 0 ? QStringLiteral("No Signal")
                                               : QStringLiteral("Tuner unlocked");
    } else if (status == tunerLocked) {
        dataRate = read(0x69).toFloat();
        texts.status = lists::tunerStatus().at(tunerLocked);
        texts.ber = error_rate_text(read(0x61).toInt());
        texts.snr = QString::number(qRound(read(0x62).toInt() / 10.0));
    } else {
        texts.status =
            status == 12 ? QStringLiteral("I2C NOACKE") : QStringLiteral("Status Unknown");
    }
    return read.ok();
}

bool read_channel(Exchange &exchange, const UnitData &unit, int ch, ChannelRecord &r,
                  ChannelTexts &t, float &dataRate)
{
    Reader read(exchange, static_cast<quint8>(ch));
    if (!read_tuner_texts(read, t, dataRate))
        return false;
    if (unit.polarisation_supported) {
        r.polarisation = static_cast<quint8>(read(0x56).toInt());
        t.polarisation = list_entry(lists::polarisation(), r.polarisation);
    } else {
        t.polarisation = QStringLiteral("SAT");
    }
    r.in_frequency = static_cast<qint16>(read(0x52).toInt());
    r.lo_frequency = static_cast<qint16>(read(0x53).toInt());
    r.lo_mode = static_cast<quint8>(read(0x87).toInt());
    r.in_symbolrate = static_cast<qint16>(read(0x54).toInt());
    r.output_on = static_cast<quint8>(read(0x57).toInt());
    r.opmode = static_cast<quint8>(read(0x72).toInt());
    r.out_frequency = read(0x51).toFloat();
    r.bandwidth = static_cast<quint8>(read(0x58).toInt());
    r.qam = static_cast<quint8>(read(0x59).toInt());
    r.out_symbolrate = static_cast<qint16>(read(0x55).toInt());
    r.spectrum = static_cast<quint8>(read(0x71).toInt());
    r.attenuation = static_cast<quint8>(read(0x70).toInt());
    if (!read.ok())
        return false;

    t.in_frequency = format_whole(r.in_frequency);
    t.lo = r.lo_mode == 0 ? QStringLiteral("AUTO") : format_whole(r.lo_frequency);
    t.in_symbolrate = format_whole(r.in_symbolrate);
    t.output_on = r.output_on != 0;
    t.opmode = list_entry(lists::opmode(), r.opmode);
    t.out_frequency = format_frequency(r.out_frequency);
    t.bandwidth = list_entry(lists::bandwidth(), r.bandwidth);
    t.qam = list_entry(lists::qam(), r.qam);
    t.out_symbolrate = format_whole(r.out_symbolrate);
    t.spectrum = list_entry(lists::spectrum(), r.spectrum);
    t.attenuation = list_entry(lists::attenuation(), r.attenuation);
    return true;
}

} // namespace

bool read_channel_data(Exchange &exchange, UnitData &unit, ReportTexts &texts)
{
    if (!check_devicetype(exchange, unit))
        return false;
    Reader read(exchange, 0);
    unit.identity.device_type = read(0x79).text;
    unit.identity.serial_number = read(0x7A).toInt();
    unit.identity.hardware_version = read(0x7B).text;
    unit.identity.controller_version = read(0x78).text;
    unit.identity.fpga_version = read(0x01).text;
    unit.polarisation_supported = read(0x76).toInt() != 0;
    if (!read.ok())
        return false;
    unit.controller_version = unit.identity.controller_version;
    texts.device = {
        from_cp1252(unit.identity.device_type), QString::number(unit.identity.serial_number),
        from_cp1252(unit.identity.hardware_version), from_cp1252(unit.identity.controller_version),
        from_cp1252(unit.identity.fpga_version)};

    for (int ch = 0; ch < unit.channelsInUse() && ch < channelCount; ++ch) {
        if (!read_channel(exchange, unit, ch, unit.channel(ch), texts.channels[ch],
                          unit.channel_data_rate[ch]))
            return false;
    }
    return true;
}

} // namespace keldor
