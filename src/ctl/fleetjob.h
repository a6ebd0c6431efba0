#pragma once

#include "fleet.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>
#include <variant>

namespace keldor {

// A fleet command line taken apart.
struct FleetRequest {
    QString command;
    QStringList positional;
    QMap<QString, QString> options; // a flag has an empty value
};

// What a command does with each headend and how it prints the outcomes without --json.
struct FleetJob {
    FleetWork work;
    // The outcomes in the fleet's order on out; notes that must stay off out go to err.
    std::function<void(const QList<FleetMember> &, const QList<FleetOutcome> &, QTextStream &out,
                       QTextStream &err)>
        print;
    // The data of a headend that failed, for --json; nothing when it has none.
    std::function<QJsonObject(const FleetOutcome &)> failedData = {};
    // Runs on the main thread once every headend has finished, in the fleet's order, before
    // anything is printed; it may turn an outcome into a failure.
    std::function<void(const QList<FleetMember> &, QList<FleetOutcome> &)> finish = {};
    // Why the run can't start although its command line is sound (exit status 1).
    QString refused = {};
};

using PreparedFleetJob = std::variant<FleetJob, QString>;

// A whole number within lowest..highest.
std::optional<int> wholeNumber(const QString &text, int lowest, int highest);

// NAME, address, result and message in aligned columns, then one summary line.
void printOutcomes(const QList<FleetMember> &members, const QList<FleetOutcome> &outcomes,
                   QTextStream &out, const QString &done);

// fleet backup DIR [--keep K | --git [--on-change CMD] [--on-fail CMD]]
PreparedFleetJob prepareBackup(const FleetRequest &request, const Timing &timing);
QStringList backupValuedOptions();
QStringList backupFlags();

// The state the last backups left for a headend in its folder of dir: how many hours ago it
// was last backed up successfully, or nothing when it never was.
std::optional<double> hoursSinceBackup(const QString &dir, const QString &name);

} // namespace keldor
