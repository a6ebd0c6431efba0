#include "core/features/diagnostics/diagnostics.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/features/diagnostics/diagnosticview.h"
#include "core/link/exchange.h"
#include "core/model/channellists.h"
#include "core/model/devicetype.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

#include <array>
#include <optional>

namespace keldor {

namespace {

// Temperatures travel with 16 added, so that a byte carries down to -16 degrees.
constexpr int temperatureOffset = 16;

using Field = DiagnosticView::Field;
using Column = DiagnosticView::Column;
using State = DiagnosticView::State;

constexpr std::array<Field, 4> lockFields{Field::VcoLock, Field::SerdesLock, Field::OutPllLock,
                                          Field::DacLock};

// The status string names each bit by its position; a string cut short by the headend
// leaves the bits it doesn't hold unknown rather than guessed.
class StatusString {
public:
    explicit StatusString(const QByteArray &text)
        : m_text(text)
    {}

    std::optional<int> character(int position) const
    {
        if (position >= m_text.size())
            return std::nullopt;
        return static_cast<quint8>(m_text.at(position));
    }

    State bit(int position, int bit, State whenSet, State whenClear) const
    {
        const auto c = character(position);
        if (!c)
            return State::Unknown;
        return (*c >> bit) & 1 ? whenSet : whenClear;
    }

private:
    QByteArray m_text;
};

bool readValue(Exchange &exchange, quint8 channel, quint8 code, ParamValue &value)
{
    return readParameter(exchange, channel, code, 0, value);
}

void showLocks(const StatusString &status, DiagnosticView &view)
{
    const auto first = status.character(0);
    for (int bit = 0; bit < 4; ++bit) {
        const Field field = lockFields[static_cast<size_t>(bit)];
        if (!first)
            view.setText(field, QStringLiteral("UNKNOWN"), Tint::Black);
        else if ((*first >> bit) & 1)
            view.setText(field, QStringLiteral("LOCKED"), Tint::Green);
        else
            view.setText(field, QStringLiteral("UNLOCKED"), Tint::Red);
    }
    view.setText(Field::EyeValue, first ? numberText(*first >> 4) : QStringLiteral("?"),
                 Tint::Black);
}

// Only a lock is good and only "not locked" is bad; a failing tuner or a code nobody knows is
// no lock, but no plain "not locked" either, so the operator reads its name instead.
State tunerMark(int code)
{
    constexpr int unlocked = 0;
    constexpr int locked = 1;
    if (code == locked)
        return State::Good;
    return code == unlocked ? State::Bad : State::Unknown;
}

// Two characters serve the 16 rows of one column, the first rows 0..7, the second 8..15.
void showColumn(const StatusString &status, int firstCharacter, Column column, State whenSet,
                State whenClear, DiagnosticView &view)
{
    for (int row = 0; row < channelCount; ++row)
        view.setIcon(column, row,
                     status.bit(firstCharacter + row / 8, row % 8, whenSet, whenClear));
}

} // namespace

bool readDiagnosticData(Exchange &exchange, UnitData &unit, DiagnosticView &view)
{
    BusyCursor busy(exchange.ui());
    if (!checkDeviceType(exchange, unit))
        return false;
    exchange.deadline().enter(Stage::Diagnostics);
    const int rows = unit.channelsInUse();
    for (int row = 0; row < channelCount; ++row)
        view.setRowVisible(row, row < rows);

    ParamValue value;
    if (!readValue(exchange, 0, param::actualTemperature, value))
        return false;
    view.setText(Field::ActualTemperature, QString::number(value.toInt() - temperatureOffset),
                 Tint::Black);
    if (!readValue(exchange, 0, param::maximumTemperature, value))
        return false;
    view.setText(Field::MaximumTemperature, QString::number(value.toInt() - temperatureOffset),
                 Tint::Black);

    if (!readValue(exchange, 0, param::operatingHours, value))
        return false;
    view.setText(Field::OperatingHours, QString::number(value.toInt()), Tint::Black);
    if (!readValue(exchange, 0, param::criticalHours, value))
        return false;
    view.setText(Field::CriticalHours, QString::number(value.toInt()), Tint::Black);

    if (!readValue(exchange, 0, param::statusText, value))
        return false;
    const StatusString status(value.text);
    showLocks(status, view);

    for (int channel = 0; channel < rows; ++channel) {
        exchange.deadline().enter(Stage::Channel, channel);
        if (!readValue(exchange, static_cast<quint8>(channel), param::tunerStatus, value))
            return false;
        const int code = value.toInt();
        view.setTuner(channel, tunerMark(code), code, tunerStateText(code));
    }

    view.setMixerClipping(status.bit(1, 7, State::Bad, State::Good));
    showColumn(status, 2, Column::Clipping, State::Bad, State::Good, view);
    showColumn(status, 4, Column::AsiSync, State::Good, State::Bad, view);
    showColumn(status, 6, Column::Asi188, State::Good, State::Bad, view);
    return true;
}

bool setFan(Exchange &exchange, int option)
{
    if (option < 0 || option >= fanOptionCount) {
        exchange.ui().message(
            UserInterface::Icon::Critical, QStringLiteral("Error"),
            QStringLiteral("There is no fan option %1; nothing was sent.").arg(option + 1));
        return false;
    }
    return setParameter(exchange, 0, param::fan, qint64{option});
}

bool resetCounter(Exchange &exchange, DiagnosticView &view)
{
    if (!setParameter(exchange, 0, param::resetCountClear, qint64{0}))
        return false;
    ParamValue count;
    if (!readParameter(exchange, 0, param::resetCount, 0, count))
        return false;
    view.setText(Field::ResetCount, QString::number(count.toInt()), Tint::Black);
    return true;
}

} // namespace keldor
