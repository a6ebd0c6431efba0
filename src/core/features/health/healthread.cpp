#include "core/features/health/healthread.h"

#include "core/features/diagnostics/diagnostics.h"
#include "core/features/diagnostics/diagnosticview.h"
#include "core/features/health/health.h"
#include "core/features/health/inventory.h"
#include "core/link/exchange.h"
#include "core/model/devicetype.h"
#include "core/model/readunitdata.h"
#include "core/model/tunerinfo.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

namespace keldor {

namespace {

// Keeps the figures of the diagnostic read that a check judges.
class HealthCollector : public DiagnosticView {
public:
    explicit HealthCollector(HealthReading &reading)
        : m_reading(reading)
    {}

    void setRowVisible(int, bool) override {}
    void setText(Field field, const QString &text, Tint) override
    {
        // The diagnostic read writes these as plain decimal numbers.
        const int value = text.toInt();
        switch (field) {
        case Field::ActualTemperature:
            m_reading.temperature = value;
            break;
        case Field::MaximumTemperature:
            m_reading.maximumTemperature = value;
            break;
        case Field::OperatingHours:
            m_reading.operatingHours = value;
            break;
        case Field::CriticalHours:
            m_reading.criticalHours = value;
            break;
        default:
            break;
        }
    }
    void setIcon(Column, int, State) override {}
    void setTuner(int row, State, int code, const QString &) override
    {
        ChannelHealth channel;
        channel.channel = row + 1;
        channel.tunerState = code;
        m_reading.channels.append(channel);
    }
    void setMixerClipping(State) override {}

private:
    HealthReading &m_reading;
};

bool readChannel(Exchange &exchange, ChannelHealth &channel)
{
    const auto ch = static_cast<quint8>(channel.channel - 1);
    ParamValue value;
    if (!readParameter(exchange, ch, param::readOutputOn, 0, value))
        return false;
    channel.outputOn = value.toInt() != 0;
    if (channel.tunerState == tunerUnlocked) {
        if (!readParameter(exchange, ch, param::noSignal, 0, value))
            return false;
        channel.noSignal = value.toInt() != 0;
    }
    if (channel.tunerState != tunerLocked)
        return true;
    if (!readParameter(exchange, ch, param::bitErrors, 0, value))
        return false;
    channel.bitErrors = value.toInt();
    if (!readParameter(exchange, ch, param::signalToNoise, 0, value))
        return false;
    channel.snrTenths = value.toInt();
    return true;
}

} // namespace

bool readHealth(Exchange &exchange, UnitData &unit, HealthReading &reading)
{
    reading = {};
    HealthCollector collector(reading);
    if (!readDiagnosticData(exchange, unit, collector))
        return false;
    for (ChannelHealth &channel : reading.channels) {
        exchange.deadline().enter(Stage::Channel, channel.channel - 1);
        if (!readChannel(exchange, channel))
            return false;
    }
    return true;
}

bool readInventory(Exchange &exchange, UnitData &unit, InventoryRecord &record)
{
    if (!checkDeviceType(exchange, unit))
        return false;
    if (!readDeviceIdentity(exchange, unit.identity))
        return false;
    record = inventoryRecord(record.headend, unit);
    return true;
}

} // namespace keldor
