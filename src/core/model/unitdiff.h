#pragma once

#include "core/model/unitdata.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace keldor {

// One field of a channel that a write would change, in the texts the channel window shows.
struct FieldChange {
    QString field;  // "Output Frequency", "QAM", "Output", ...
    QString before; // "346.00 MHz", "6900 kSym", "QAM-256", "on", ...
    QString after;

    bool operator==(const FieldChange &) const = default;
};

struct ChannelChange {
    int channel = 0; // 0-based; shown 1-based
    QList<FieldChange> fields;
    QList<qint16> servicesAdded; // service IDs, in list order
    QList<qint16> servicesRemoved;

    bool operator==(const ChannelChange &) const = default;
};

struct UnitDiff {
    QList<ChannelChange> channels; // only channels that change, ascending
    bool isEmpty() const { return channels.isEmpty(); }
};

// What writing `after` over `before` changes, over the channels a full write sends (channels
// 0..maxChannel of after). Every byte the write sends is compared, so a change that the window's
// texts can't tell apart still shows, with the value it holds in brackets.
UnitDiff diffUnits(const UnitData &before, const UnitData &after);

// One block per changed channel: "Channel 3", then "  Output Frequency: 346.00 MHz -> 354.00
// MHz", "  services added: 28106, 28107", "  services removed: ..."; empty when nothing changes.
QString diffText(const UnitDiff &diff);
QJsonArray diffJson(const UnitDiff &diff);
// The values of channels 0..maxChannel that no list of the program has, as a headend may hold
// them: "Channel 3 Bandwidth: 7", one a line. A full write sends them unchanged, so the question
// before it names them.
QStringList valuesOutsideLists(const UnitData &unit);
// "28106, 28107": service IDs, unsigned, as the diff lists them.
QString serviceIdsText(const QList<qint16> &ids);

inline const QString unchangedText = QStringLiteral("The headend already holds these settings");

} // namespace keldor
