#include "core/model/servicelists.h"

#include "core/common/textutil.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

namespace keldor {

namespace {

bool containsId(const QList<Service> &services, qint16 id)
{
    return std::any_of(services.cbegin(), services.cend(),
                       [id](const Service &s) { return s.id == id; });
}

} // namespace

QString serviceIdText(qint16 id)
{
    return QString::number(static_cast<quint16>(id));
}

bool readServiceLists(Exchange &exchange, int channel, ChannelServices &services, ListedIds ids)
{
    using namespace param;
    services = {};
    if (!setParameter(exchange, static_cast<quint8>(channel), selectChannel, qint64{channel}))
        return false;
    ParamValue value;
    if (!readParameter(exchange, 0, inputCount, 0, value))
        return false;
    services.inputCount = value.toInt();
    for (int i = 0; i < *services.inputCount; ++i) {
        ParamValue name;
        ParamValue id;
        if (!readParameter(exchange, 0, inputName, static_cast<quint8>(i), name) ||
            !readParameter(exchange, 0, inputId, static_cast<quint8>(i), id))
            return false;
        filterText(name.text);
        services.input.append({fromCp1252(name.text), static_cast<qint16>(id.toInt())});
    }
    if (!setParameter(exchange, static_cast<quint8>(channel), inputListDone, qint64{0}))
        return false;
    if (!readParameter(exchange, 0, selectionHeader, 0, value))
        return false;
    const auto header = static_cast<quint16>(value.toInt());
    services.mode = static_cast<quint8>(header >> 8);
    services.listedCount = header & 0xFF;
    services.selectionKnown = true;
    // Without input services there is nothing a listed ID could pick or drop.
    const bool needed = services.mode != servicemode::all && !services.input.isEmpty();
    const int count = ids == ListedIds::All ? qMin(services.listedCount, serviceIdCapacity)
                      : needed              ? services.listedCount
                                            : 0;
    for (int i = 0; i < count; ++i) {
        if (!readParameter(exchange, 0, listedId, static_cast<quint8>(i), value))
            return false;
        services.listedIds.append(static_cast<qint16>(value.toInt()));
    }
    return true;
}

QList<Service> outputServices(const ChannelServices &services)
{
    QList<Service> output;
    if (services.mode == servicemode::all)
        return services.input;
    if (services.mode == servicemode::listed) {
        for (const qint16 id : services.listedIds) {
            const auto found = std::find_if(services.input.cbegin(), services.input.cend(),
                                            [id](const Service &s) { return s.id == id; });
            if (found != services.input.cend())
                output.append(*found);
        }
        return output;
    }
    output = services.input;
    for (const qint16 id : services.listedIds) {
        const auto found = std::find_if(output.begin(), output.end(),
                                        [id](const Service &s) { return s.id == id; });
        if (found != output.end())
            output.erase(found);
    }
    return output;
}

QByteArray Selection::listString() const
{
    QByteArray bytes;
    bytes.append(static_cast<char>(mode));
    bytes.append(static_cast<char>(ids.size()));
    for (const qint16 id : ids) {
        const auto word = static_cast<quint16>(id);
        bytes.append(static_cast<char>(word >> 8));
        bytes.append(static_cast<char>(word & 0xFF));
    }
    return bytes;
}

Selection chooseSelection(const QList<Service> &input, const QList<Service> &output)
{
    Selection selection;
    const auto inputs = input.size();
    const auto outputs = output.size();
    if (outputs == inputs)
        return selection;
    // Real division: five services with two wanted list the two, with three the other two.
    if (static_cast<double>(inputs) / 2.0 >= static_cast<double>(outputs)) {
        selection.mode = servicemode::listed;
        for (const Service &s : output)
            selection.ids.append(s.id);
        return selection;
    }
    selection.mode = servicemode::allButListed;
    for (const Service &s : input) {
        if (!containsId(output, s.id))
            selection.ids.append(s.id);
    }
    return selection;
}

} // namespace keldor
