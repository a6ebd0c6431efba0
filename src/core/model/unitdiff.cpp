#include "core/model/unitdiff.h"

#include "core/common/textutil.h"
#include "core/model/channellists.h"
#include "core/model/servicelists.h"

#include <QJsonObject>

#include <array>
#include <functional>

namespace keldor {

namespace {

// A field of the record as the full write sends it: what the window shows, and the raw value
// that decides whether it changes.
struct DiffField {
    QString label;
    std::function<QString(const ChannelRecord &)> text;
    std::function<QString(const ChannelRecord &)> raw;
};

QString whole(qint64 value, const char *unit)
{
    // The window leaves a zero field empty; in a comparison the zero has to be readable.
    const QString text = formatWhole(value);
    return (text.isEmpty() ? QStringLiteral("0") : text) + QLatin1String(unit);
}

// A value the headend held that none of the program's lists has: kept and sent as it is.
QString outsideLists(quint8 value)
{
    return QString::number(value) + QStringLiteral(" (not in this program's lists)");
}

QString entry(const QStringList &list, quint8 position)
{
    const QString text = listEntry(list, position);
    return text.isEmpty() ? outsideLists(position) : text;
}

QString serviceModeText(quint8 mode)
{
    switch (mode) {
    case servicemode::all:
        return QStringLiteral("every service passes");
    case servicemode::listed:
        return QStringLiteral("only the listed services pass");
    case servicemode::allButListed:
        return QStringLiteral("every service but the listed ones passes");
    default:
        return outsideLists(mode);
    }
}

// The fields whose value is a position in one of the channel window's lists, or a mode.
struct ListField {
    const char *label;
    quint8 ChannelRecord::*field;
    const QStringList &(*entries)();
};
const std::array<ListField, 6> listFields{{
    {"Input", &ChannelRecord::polarisation, lists::polarisation},
    {"Mode", &ChannelRecord::opmode, lists::opmode},
    {"Bandwidth", &ChannelRecord::bandwidth, lists::bandwidth},
    {"QAM", &ChannelRecord::qam, lists::qam},
    {"Spectrum", &ChannelRecord::spectrum, lists::spectrum},
    {"Attenuation", &ChannelRecord::attenuation, lists::attenuation},
}};

template<typename T> std::function<QString(const ChannelRecord &)> rawOf(T ChannelRecord::*member)
{
    return [member](const ChannelRecord &r) {
        return QString::number(r.*member);
    };
}

const QList<DiffField> &diffFields()
{
    static const QList<DiffField> fields{
        {"Input",
         [](const ChannelRecord &r) { return entry(lists::polarisation(), r.polarisation); },
         rawOf(&ChannelRecord::polarisation)},
        {"Input Frequency", [](const ChannelRecord &r) { return whole(r.inFrequency, " MHz"); },
         rawOf(&ChannelRecord::inFrequency)},
        {"LO",
         [](const ChannelRecord &r) {
             return r.loMode == 0 ? QStringLiteral("AUTO") : whole(r.loFrequency, " MHz");
         },
         [](const ChannelRecord &r) {
             return QStringLiteral("%1 MHz, mode %2").arg(r.loFrequency).arg(r.loMode);
         }},
        {"Input Symbol Rate", [](const ChannelRecord &r) { return whole(r.inSymbolrate, " kSym"); },
         rawOf(&ChannelRecord::inSymbolrate)},
        {"Output", [](const ChannelRecord &r) { return QString(r.outputOn ? "on" : "off"); },
         rawOf(&ChannelRecord::outputOn)},
        {"Mode", [](const ChannelRecord &r) { return entry(lists::opmode(), r.opmode); },
         rawOf(&ChannelRecord::opmode)},
        {"Output Frequency",
         [](const ChannelRecord &r) {
             // The window leaves the 0 before the separator out; a diff line needs it.
             const QString text = formatFrequency(r.outFrequency);
             return (text.at(0).isDigit() || text.at(0) == '-' ? text : '0' + text) + " MHz";
         },
         [](const ChannelRecord &r) {
             return QString::number(r.outFrequency, 'g', 9);
         }},
        {"Bandwidth", [](const ChannelRecord &r) { return entry(lists::bandwidth(), r.bandwidth); },
         rawOf(&ChannelRecord::bandwidth)},
        {"QAM", [](const ChannelRecord &r) { return entry(lists::qam(), r.qam); },
         rawOf(&ChannelRecord::qam)},
        {"Output Symbol Rate",
         [](const ChannelRecord &r) { return whole(r.outSymbolrate, " kSym"); },
         rawOf(&ChannelRecord::outSymbolrate)},
        {"Spectrum", [](const ChannelRecord &r) { return entry(lists::spectrum(), r.spectrum); },
         rawOf(&ChannelRecord::spectrum)},
        {"Attenuation",
         [](const ChannelRecord &r) { return entry(lists::attenuation(), r.attenuation); },
         rawOf(&ChannelRecord::attenuation)},
        {"Service Mode", [](const ChannelRecord &r) { return serviceModeText(r.serviceMode); },
         rawOf(&ChannelRecord::serviceMode)},
    };
    return fields;
}

QList<qint16> listedIds(const ChannelRecord &record)
{
    const int count = std::min<int>(record.serviceCount, serviceIdCapacity);
    return {record.serviceIds.cbegin(), record.serviceIds.cbegin() + count};
}

QList<qint16> missingFrom(const QList<qint16> &ids, const QList<qint16> &other)
{
    QList<qint16> missing;
    for (const qint16 id : ids) {
        if (!other.contains(id) && !missing.contains(id))
            missing.append(id);
    }
    return missing;
}

QJsonArray idsJson(const QList<qint16> &ids)
{
    QJsonArray out;
    for (const qint16 id : ids)
        out.append(static_cast<quint16>(id));
    return out;
}

ChannelChange diffChannel(int channel, const ChannelRecord &before, const ChannelRecord &after)
{
    ChannelChange change;
    change.channel = channel;
    for (const DiffField &f : diffFields()) {
        const QString rawBefore = f.raw(before);
        const QString rawAfter = f.raw(after);
        if (rawBefore == rawAfter)
            continue;
        FieldChange field{f.label, f.text(before), f.text(after)};
        if (field.before == field.after) {
            field.before += QStringLiteral(" [%1]").arg(rawBefore);
            field.after += QStringLiteral(" [%1]").arg(rawAfter);
        }
        change.fields.append(field);
    }
    const QList<qint16> idsBefore = listedIds(before);
    const QList<qint16> idsAfter = listedIds(after);
    change.servicesAdded = missingFrom(idsAfter, idsBefore);
    change.servicesRemoved = missingFrom(idsBefore, idsAfter);
    // The list order is the order of the output services, so a new order alone is a change.
    if (idsBefore != idsAfter && change.servicesAdded.isEmpty() && change.servicesRemoved.isEmpty())
        change.fields.append(
            {QStringLiteral("Service Order"), serviceIdsText(idsBefore), serviceIdsText(idsAfter)});
    return change;
}

} // namespace

UnitDiff diffUnits(const UnitData &before, const UnitData &after)
{
    UnitDiff diff;
    for (int ch = 0; ch < after.channelsInUse(); ++ch) {
        ChannelChange change = diffChannel(ch, before.channel(ch), after.channel(ch));
        if (!change.fields.isEmpty() || !change.servicesAdded.isEmpty() ||
            !change.servicesRemoved.isEmpty())
            diff.channels.append(change);
    }
    return diff;
}

QString diffText(const UnitDiff &diff)
{
    QString text;
    for (const ChannelChange &change : diff.channels) {
        text += QStringLiteral("Channel") + numberText(change.channel + 1) + QLatin1Char('\n');
        for (const FieldChange &f : change.fields)
            text += QStringLiteral("  %1: %2 -> %3\n").arg(f.field, f.before, f.after);
        if (!change.servicesAdded.isEmpty())
            text +=
                QStringLiteral("  services added: ") + serviceIdsText(change.servicesAdded) + '\n';
        if (!change.servicesRemoved.isEmpty())
            text += QStringLiteral("  services removed: ") +
                    serviceIdsText(change.servicesRemoved) + '\n';
    }
    return text;
}

QStringList valuesOutsideLists(const UnitData &unit)
{
    QStringList found;
    for (int ch = 0; ch < unit.channelsInUse(); ++ch) {
        const ChannelRecord &record = unit.channel(ch);
        const QString channel = QStringLiteral("Channel") + numberText(ch + 1) + QLatin1Char(' ');
        for (const ListField &f : listFields) {
            if (listEntry(f.entries(), record.*f.field).isEmpty())
                found.append(channel + QLatin1String(f.label) + QStringLiteral(": ") +
                             QString::number(record.*f.field));
        }
        const quint8 mode = record.serviceMode;
        if (mode != servicemode::all && mode != servicemode::listed &&
            mode != servicemode::allButListed)
            found.append(channel + QStringLiteral("Service Mode: ") + QString::number(mode));
    }
    return found;
}

QString serviceIdsText(const QList<qint16> &ids)
{
    QStringList texts;
    for (const qint16 id : ids)
        texts.append(serviceIdText(id));
    return texts.join(QStringLiteral(", "));
}

QJsonArray diffJson(const UnitDiff &diff)
{
    QJsonArray channels;
    for (const ChannelChange &change : diff.channels) {
        QJsonArray fields;
        for (const FieldChange &f : change.fields)
            fields.append(
                QJsonObject{{"field", f.field}, {"before", f.before}, {"after", f.after}});
        channels.append(QJsonObject{{"channel", change.channel + 1},
                                    {"fields", fields},
                                    {"servicesAdded", idsJson(change.servicesAdded)},
                                    {"servicesRemoved", idsJson(change.servicesRemoved)}});
    }
    return channels;
}

} // namespace keldor
