#include "core/features/services/serviceeditor.h"

#include "core/common/textutil.h"
#include "core/link/exchange.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

namespace keldor {

ServiceListEditor::ServiceListEditor(Exchange &exchange, UnitData &unit, int channel)
    : m_exchange(exchange)
    , m_unit(unit)
    , m_channel(channel)
{}

QString ServiceListEditor::caption() const
{
    return QStringLiteral("Edit Servicelist CHANNEL") + numberText(m_channel + 1);
}

bool ServiceListEditor::fill()
{
    m_input.clear();
    m_output.clear();
    ChannelServices services;
    const bool complete = readServiceLists(m_exchange, m_channel, services);
    if (services.inputCount)
        m_inputCount = services.inputCount;
    m_input = services.input;
    if (services.selectionKnown)
        m_output = outputServices(services);
    return complete;
}

void ServiceListEditor::fillFromRecord()
{
    m_input.clear();
    m_output.clear();
    const ChannelRecord &record = m_unit.channel(m_channel);
    const int count = std::min<int>(record.serviceCount, serviceIdCapacity);
    for (int i = 0; i < count; ++i) {
        const qint16 id = record.serviceIds[static_cast<size_t>(i)];
        m_output.append({serviceIdText(id), id});
    }
}

void ServiceListEditor::addInput(int inputRow)
{
    m_modified = true;
    if (inputRow < 0 || inputRow >= m_input.size())
        return;
    const Service &service = m_input.at(inputRow);
    const bool present = std::any_of(m_output.cbegin(), m_output.cend(),
                                     [&](const Service &s) { return s.id == service.id; });
    if (present) {
        m_exchange.ui().message(
            UserInterface::Icon::Information, QStringLiteral("Info"),
            QStringLiteral("Service ") + service.name +
                QStringLiteral(" is already a member of the Outputservicelist!"));
        return;
    }
    m_output.append(service);
}

void ServiceListEditor::removeOutput(int outputRow)
{
    m_modified = true;
    if (outputRow >= 0 && outputRow < m_output.size())
        m_output.removeAt(outputRow);
}

void ServiceListEditor::addAll()
{
    m_modified = true;
    m_output = m_input;
}

void ServiceListEditor::removeAll()
{
    m_modified = true;
    m_output.clear();
}

ServiceListEditor::SaveResult ServiceListEditor::save()
{
    if (!m_modified)
        return SaveResult::Unchanged;
    const Selection selection = chooseSelection(m_input, m_output);
    // The record keeps at most 100 IDs; a longer selection would reach the headend but not the
    // settings file or a later full write, so it is not sent at all.
    if (selection.ids.size() > serviceIdCapacity) {
        m_exchange.ui().message(
            UserInterface::Icon::Exclamation, QStringLiteral("Info"),
            QStringLiteral("This selection lists") + numberText(selection.ids.size()) +
                QStringLiteral(" services, but a channel can keep at most 100.\rPlease pass or "
                               "drop fewer services; nothing was sent."));
        return SaveResult::Refused;
    }
    return send(selection);
}

ServiceListEditor::SaveResult ServiceListEditor::send(const Selection &selection)
{
    using namespace param;
    const auto channel = static_cast<quint8>(m_channel);
    ChannelRecord &record = m_unit.channel(m_channel);
    const auto write = [&](quint8 code, qint64 value) {
        return setParameter(m_exchange, channel, code, value);
    };

    // The record follows the headend step by step: after a failed write it holds the mode and
    // the IDs the headend has already taken, never its old count over new IDs.
    if (!write(selectionStart, selection.mode))
        return SaveResult::Failed;
    record.serviceMode = selection.mode;
    record.serviceCount = 0;
    for (qsizetype i = 0; i < selection.ids.size(); ++i) {
        if (!write(selectionId, selection.ids.at(i)))
            return SaveResult::Failed;
        record.serviceIds[static_cast<size_t>(i)] = selection.ids.at(i);
        record.serviceCount = static_cast<quint8>(i + 1);
    }

    if (!write(selectionEnd, 0) || !write(selectionCommit, 0) ||
        !setParameter(m_exchange, channel, listString, selection.listString()))
        return SaveResult::Failed;
    return SaveResult::Sent;
}

} // namespace keldor
