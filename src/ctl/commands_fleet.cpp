#include "consoleui.h"
#include "ctlcommand.h"
#include "ctlcommandline.h"
#include "ctldescription.h"
#include "fleet.h"
#include "fleetjob.h"

#include "core/features/health/health.h"
#include "core/features/health/healthread.h"
#include "core/features/health/inventory.h"
#include "core/features/shell/programfolder.h"
#include "core/features/update/backup.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "core/protocol/session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>

#include <unistd.h>

namespace keldor {

namespace {

// What a fleet command takes besides the options every one of them takes.
struct FleetSyntax {
    qsizetype positional = 0;
    QStringList valued;
    QStringList flags;
};

const QString timeoutOption = QStringLiteral("--timeout");
const QString runTimeoutOption = QStringLiteral("--run-timeout");
const QStringList commonValued{QStringLiteral("--directory"),
                               QStringLiteral("--list"),
                               QStringLiteral("--only"),
                               QStringLiteral("--jobs"),
                               timeoutOption,
                               runTimeoutOption};
const QString jsonFlag = QStringLiteral("--json");
const QString maxBackupAgeOption = QStringLiteral("--max-backup-age");
const QString backupDirOption = QStringLiteral("--backup-dir");
constexpr int defaultJobs = 8;
constexpr int mostJobs = 256;

struct FleetCommandDef {
    FleetSyntax syntax;
    std::function<PreparedFleetJob(const FleetRequest &, const Timing &)> prepare;
};

std::variant<FleetRequest, QString> parseRequest(const QStringList &arguments,
                                                 const std::map<QString, FleetCommandDef> &defs)
{
    FleetRequest request;
    if (arguments.isEmpty())
        return QStringLiteral("fleet needs a command: backup, inventory or check");
    request.command = arguments.first();
    const auto def = defs.find(request.command);
    if (def == defs.end()) {
        const QString hint = closestNameHint(request.command, fleetCommandNames());
        return QStringLiteral("unknown fleet command %1").arg(request.command) +
               (hint.isEmpty() ? hint : QLatin1Char('\n') + hint);
    }
    const CheckedWords checked =
        checkCommandWords(QStringLiteral("fleet ") + request.command, arguments.mid(1));
    if (!checked.problem.isEmpty())
        return checked.problem;
    const FleetSyntax &syntax = def->second.syntax;
    for (qsizetype i = 0; i < checked.words.size(); ++i) {
        const QString &arg = checked.words.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            request.positional.append(arg);
        } else if (arg == jsonFlag || syntax.flags.contains(arg)) {
            request.options.insert(arg, {});
        } else if (commonValued.contains(arg) || syntax.valued.contains(arg)) {
            if (i + 1 >= checked.words.size() ||
                checked.words.at(i + 1).startsWith(QLatin1String("--")))
                return QStringLiteral("%1 needs a value").arg(arg);
            request.options.insert(arg, checked.words.at(++i));
        } else {
            return QStringLiteral("fleet %1 takes no option %2").arg(request.command, arg);
        }
    }
    if (request.positional.size() != syntax.positional)
        return QStringLiteral("wrong number of arguments for fleet %1").arg(request.command);
    if (request.options.contains(QStringLiteral("--directory")) &&
        request.options.contains(QStringLiteral("--list")))
        return QStringLiteral("choose one of --directory and --list");
    return request;
}

FleetMembers loadMembers(const FleetRequest &request)
{
    FleetMembers members;
    if (const QString list = request.options.value(QStringLiteral("--list")); !list.isEmpty()) {
        members = readFleetList(list);
    } else {
        members = readStationDirectory(request.options.value(
            QStringLiteral("--directory"), programFile(QStringLiteral("headend.mdb"))));
    }
    const auto *all = std::get_if<QList<FleetMember>>(&members);
    const QString only = request.options.value(QStringLiteral("--only"));
    if (!all || only.isEmpty())
        return members;
    return selectFleetMembers(*all, only.split(QLatin1Char(','), Qt::SkipEmptyParts));
}

// The records that were read, in the fleet's order.
QList<InventoryRecord> inventoryRecords(const QList<FleetOutcome> &outcomes)
{
    QList<InventoryRecord> records;
    for (const FleetOutcome &outcome : outcomes) {
        if (outcome.ok)
            records.append(std::any_cast<InventoryRecord>(outcome.result));
    }
    return records;
}

PreparedFleetJob prepareInventory(const FleetRequest &request, const Timing &)
{
    const bool csv = request.options.contains(QStringLiteral("--csv"));
    if (csv && request.options.contains(jsonFlag))
        return QStringLiteral("fleet inventory takes --csv or --json, not both");
    // A CSV goes on into other programs, so failures stay off stdout there.
    return FleetJob{[](Session &session, const FleetMember &member) {
                        UnitData unit;
                        InventoryRecord record;
                        record.headend = member.name;
                        if (!readInventory(session.exchange, unit, record))
                            return FleetOutcome{};
                        return FleetOutcome{true, {}, inventoryJson(record), record};
                    },
                    [csv](const QList<FleetMember> &members, const QList<FleetOutcome> &outcomes,
                          QTextStream &out, QTextStream &err) {
                        const QList<InventoryRecord> records = inventoryRecords(outcomes);
                        if (!records.isEmpty())
                            out << (csv ? inventoryCsv(records) : inventoryTable(records));
                        QTextStream &notes = csv ? err : out;
                        for (qsizetype i = 0; i < members.size(); ++i) {
                            if (!outcomes.at(i).ok)
                                notes << members.at(i).name << " (" << members.at(i).address()
                                      << ") FAILED: " << outcomes.at(i).message << '\n';
                        }
                        notes << "inventory of " << records.size() << " of " << members.size()
                              << " headends, " << members.size() - records.size() << " failed\n";
                    }};
}

QJsonObject healthJson(const HealthReport &report)
{
    QJsonObject figures;
    for (const HealthFigure &figure : report.figures)
        figures.insert(figure.label, figure.value ? QJsonValue(*figure.value) : QJsonValue());
    return {{QStringLiteral("status"), healthStatusName(report.status)},
            {QStringLiteral("exit_status"), int(report.status)},
            {QStringLiteral("summary"), report.summary},
            {QStringLiteral("figures"), figures}};
}

// A headend whose last successful backup in dir is older than hours (or that has none) is
// at least a WARNING.
void judgeBackupAge(HealthReport &report, const QString &dir, double hours)
{
    const auto age = hoursSinceBackup(dir, report.headend);
    if (age && *age <= hours)
        return;
    report.status = std::max(report.status, HealthStatus::Warning);
    report.summary += age ? QStringLiteral(", last successful backup %1 h ago").arg(int(*age))
                          : QStringLiteral(", no successful backup");
}

PreparedFleetJob prepareCheck(const FleetRequest &request, const Timing &)
{
    HealthThresholds thresholds;
    bool prometheus = false;
    std::optional<double> maxBackupAge;
    const QString backupDir = request.options.value(backupDirOption);
    if (request.options.contains(maxBackupAgeOption)) {
        const auto hours = wholeNumber(request.options.value(maxBackupAgeOption), 1, 1000000);
        if (!hours || backupDir.isEmpty())
            return QStringLiteral("--max-backup-age needs a number of hours, 1 or more, and "
                                  "--backup-dir DIR");
        maxBackupAge = *hours;
    }
    for (auto option = request.options.cbegin(); option != request.options.cend(); ++option) {
        if (option.key() == maxBackupAgeOption || option.key() == backupDirOption)
            continue;
        const auto problem = takeHealthOption(option.key(), option.value(), thresholds, prometheus);
        if (problem && !problem->isEmpty())
            return *problem;
    }
    if (const QString problem = thresholdProblem(thresholds); !problem.isEmpty())
        return problem;

    return FleetJob{
        [thresholds, maxBackupAge, backupDir](Session &session, const FleetMember &member) {
            UnitData unit;
            HealthReading reading;
            if (!readHealth(session.exchange, unit, reading))
                return FleetOutcome{};
            HealthReport report = evaluateHealth(reading, thresholds);
            report.headend = member.name;
            if (maxBackupAge)
                judgeBackupAge(report, backupDir, *maxBackupAge);
            const QString line = nagiosLine(report).section(QStringLiteral(" | "), 0, 0);
            return FleetOutcome{report.status == HealthStatus::Ok, line, healthJson(report),
                                report};
        },
        [prometheus](const QList<FleetMember> &members, const QList<FleetOutcome> &outcomes,
                     QTextStream &out, QTextStream &) {
            QList<HealthReport> reports;
            std::array<int, 4> counts{};
            for (qsizetype i = 0; i < members.size(); ++i) {
                const FleetOutcome &outcome = outcomes.at(i);
                // A headend out of reach has no report of its own: its message is the reason.
                HealthReport report = outcome.result.has_value()
                                          ? std::any_cast<HealthReport>(outcome.result)
                                          : unknownHealth(outcome.message);
                report.headend = members.at(i).name;
                ++counts[size_t(report.status)];
                reports.append(report);
            }
            if (prometheus) {
                out << prometheusText(reports);
                return;
            }
            qsizetype width = 4;
            for (const FleetMember &member : members)
                width = std::max(width, member.name.size());
            for (const HealthReport &report : reports)
                out << report.headend.leftJustified(width) << "  "
                    << nagiosLine(report).section(QStringLiteral(" | "), 0, 0) << '\n';
            out << members.size() << " headends: " << counts[0] << " OK, " << counts[1]
                << " WARNING, " << counts[2] << " CRITICAL, " << counts[3] << " UNKNOWN\n";
        },
        [](const FleetOutcome &outcome) {
            return outcome.result.has_value() ? outcome.data
                                              : healthJson(unknownHealth(outcome.message));
        }};
}

const std::map<QString, FleetCommandDef> &fleetCommands()
{
    static const std::map<QString, FleetCommandDef> commands{
        {QStringLiteral("backup"), {{1, backupValuedOptions(), backupFlags()}, prepareBackup}},
        {QStringLiteral("inventory"), {{0, {}, {QStringLiteral("--csv")}}, prepareInventory}},
        {QStringLiteral("check"),
         {{0,
           {QStringLiteral("--warn-temp"), QStringLiteral("--crit-temp"),
            QStringLiteral("--warn-snr"), QStringLiteral("--crit-snr"), QStringLiteral("--format"),
            maxBackupAgeOption, backupDirOption},
           {}},
          prepareCheck}},
    };
    return commands;
}

bool isTerminal(QTextStream &stream)
{
    const auto *keeper = dynamic_cast<LastLineKeeper *>(stream.device());
    const auto *file = qobject_cast<QFile *>(keeper ? keeper->passesTo() : stream.device());
    return file && ::isatty(file->handle()) == 1;
}

} // namespace

std::optional<int> wholeNumber(const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok && value >= lowest && value <= highest ? std::optional(value) : std::nullopt;
}

void printOutcomes(const QList<FleetMember> &members, const QList<FleetOutcome> &outcomes,
                   QTextStream &out, const QString &done)
{
    qsizetype nameWidth = 4, addressWidth = 7;
    for (const FleetMember &member : members) {
        nameWidth = std::max(nameWidth, member.name.size());
        addressWidth = std::max(addressWidth, member.address().size());
    }
    qsizetype failed = 0;
    for (qsizetype i = 0; i < members.size(); ++i) {
        const FleetOutcome &outcome = outcomes.at(i);
        failed += outcome.ok ? 0 : 1;
        out << members.at(i).name.leftJustified(nameWidth) << "  "
            << members.at(i).address().leftJustified(addressWidth) << "  "
            << (outcome.ok ? "ok      " : "FAILED  ") << outcome.message << '\n';
    }
    out << done.arg(members.size() - failed).arg(members.size()) << ", " << failed << " failed\n";
}

QString fleetHelp()
{
    return QStringLiteral(
        "\nfleet commands (no link option; the headend directory, or --list FILE with one\n"
        "\"NAME HOST:PORT [PROXY_HOST:PORT]\" a line):\n"
        "  fleet backup DIR [--keep K]  DIR/NAME/NAME-YYYYMMDD-HHMMSS.kdr and .rtf of each\n"
        "  fleet backup DIR --git [--on-change CMD] [--on-fail CMD]\n"
        "                               DIR/NAME/NAME.kdr and .rtf of each, changes committed\n"
        "  fleet inventory [--csv]      the inventory of each\n"
        "  fleet check [--warn-temp RANGE] [--crit-temp RANGE] [--warn-snr RANGE]\n"
        "              [--crit-snr RANGE] [--format nagios|prometheus]\n"
        "              [--max-backup-age HOURS --backup-dir DIR]\n"
        "                               the health of each (RANGE as in check) and a summary\n"
        "  fleet options: --directory FILE | --list FILE, --only NAME,..., --jobs N (8),\n"
        "                 --timeout SECONDS for each headend (300), --run-timeout SECONDS\n"
        "                 for the run (each headend its whole time-out, --jobs at a time),\n"
        "                 --json (one object a line); exit status 0 when every headend\n"
        "                 succeeded (check: was OK), 1 when any did not, 2 usage error\n");
}

int runFleetCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                    const Timing &timing)
{
    // Every line goes through the filter, on stderr too; only the progress line, which moves
    // the cursor itself, filters its texts one by one.
    TerminalFilter errFilter(err);
    QTextStream notes(&errFilter);
    const QString command = fleetCommands().count(arguments.value(0))
                                ? QStringLiteral("fleet ") + arguments.first()
                                : QStringLiteral("fleet");
    const auto usageError = [&](const QString &problem) {
        notes << usageErrorText(command, problem) << Qt::flush;
        return int(ExitUsage);
    };
    const auto parsed = parseRequest(arguments, fleetCommands());
    if (const auto *problem = std::get_if<QString>(&parsed))
        return usageError(*problem);
    const FleetRequest &request = std::get<FleetRequest>(parsed);

    const auto jobs = wholeNumber(
        request.options.value(QStringLiteral("--jobs"), QString::number(defaultJobs)), 1, mostJobs);
    if (!jobs)
        return usageError(QStringLiteral("--jobs needs a number 1..%1").arg(mostJobs));
    std::array<std::optional<milliseconds>, 2> limits;
    for (size_t i = 0; i < limits.size(); ++i) {
        const QString &option = i == 0 ? timeoutOption : runTimeoutOption;
        if (!request.options.contains(option))
            continue;
        limits[i] = parseDeadlineSeconds(request.options.value(option));
        if (!limits[i])
            return usageError(
                QStringLiteral("%1 needs a number of seconds above 0, at most a week").arg(option));
    }
    const FleetMembers loaded = loadMembers(request);
    if (const auto *problem = std::get_if<QString>(&loaded))
        return usageError(*problem);
    const QList<FleetMember> &members = std::get<QList<FleetMember>>(loaded);
    const auto prepared = fleetCommands().at(request.command).prepare(request, timing);
    if (const auto *problem = std::get_if<QString>(&prepared))
        return usageError(*problem);
    const FleetJob &job = std::get<FleetJob>(prepared);
    if (!job.refused.isEmpty()) {
        notes << "keldor-ctl: " << job.refused << '\n' << Qt::flush;
        return ExitFailure;
    }

    const int wanted = int(std::min<qsizetype>(*jobs, members.size()));
    const int running = jobsWithinFileLimit(wanted);
    if (running < wanted)
        notes << "keldor-ctl: the limit of open files lets only " << running << " of " << wanted
              << " headends run at once\n"
              << Qt::flush;
    FleetDeadlines deadlines;
    deadlines.member = limits[0].value_or(timing.fleetMemberLimit());
    deadlines.run = limits[1].value_or(fleetRunLimit(members.size(), running, deadlines.member));
    QList<FleetOutcome> outcomes =
        runFleet(members, job.work, timing, running, deadlines, err, isTerminal(err));
    if (job.finish)
        job.finish(members, outcomes);

    TerminalFilter filter(out);
    QTextStream filtered(&filter);
    if (request.options.contains(jsonFlag)) {
        for (qsizetype i = 0; i < members.size(); ++i) {
            const QJsonObject object{
                {QStringLiteral("name"), members.at(i).name},
                {QStringLiteral("address"), members.at(i).address()},
                {QStringLiteral("ok"), outcomes.at(i).ok},
                {QStringLiteral("message"), outcomes.at(i).message},
                {QStringLiteral("data"), outcomes.at(i).ok || !job.failedData
                                             ? outcomes.at(i).data
                                             : job.failedData(outcomes.at(i))}};
            filtered << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
        }
    } else {
        job.print(members, outcomes, filtered, notes);
    }
    filtered.flush();
    notes.flush();
    const bool allOk =
        std::all_of(outcomes.cbegin(), outcomes.cend(), [](const FleetOutcome &o) { return o.ok; });
    return allOk ? ExitSuccess : ExitFailure;
}

} // namespace keldor
