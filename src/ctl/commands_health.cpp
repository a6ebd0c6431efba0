#include "ctlcommand.h"

#include "consoleui.h"
#include "core/common/textutil.h"
#include "core/features/health/health.h"
#include "core/features/health/healthread.h"
#include "core/features/health/inventory.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include <QJsonDocument>

#include <variant>

namespace keldor {

namespace {

struct CheckArguments {
    HealthThresholds thresholds;
    bool prometheus = false;
    QString name;
    std::optional<milliseconds> timeout;
};

std::variant<CheckArguments, QString> checkArguments(const QStringList &args)
{
    CheckArguments parsed;
    for (qsizetype i = 0; i < args.size(); i += 2) {
        const QString &option = args.at(i);
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(option);
        const QString &value = args.at(i + 1);
        if (const auto problem =
                takeHealthOption(option, value, parsed.thresholds, parsed.prometheus)) {
            if (!problem->isEmpty())
                return *problem;
        } else if (option == QLatin1String("--name") && !value.isEmpty()) {
            // The name becomes a label value, which may hold no such character.
            if (const auto c = unprintableCharacter(value))
                return unprintableText(QStringLiteral("--name"), *c);
            parsed.name = value;
        } else if (option == QLatin1String("--timeout")) {
            parsed.timeout = parseDeadlineSeconds(value);
            if (!parsed.timeout)
                return QStringLiteral(
                    "--timeout needs a number of seconds above 0, at most a week");
        } else {
            return QStringLiteral("check takes --warn-temp, --crit-temp, --warn-snr, --crit-snr, "
                                  "--format, --name and --timeout, each with a value, or "
                                  "--version");
        }
    }
    const QString problem = thresholdProblem(parsed.thresholds);
    if (!problem.isEmpty())
        return problem;
    return parsed;
}

int printHealth(HealthReport report, const CheckArguments &arguments, QTextStream &out)
{
    report.headend = arguments.name;
    if (arguments.prometheus)
        out << prometheusText({report});
    else
        out << nagiosLine(report) << '\n';
    return int(report.status);
}

// A usage error has no format to speak in, so it always gets the status line.
int checkFailed(const QStringList &args, const QString &problem, QTextStream &out)
{
    const auto parsed = checkArguments(args);
    const auto *arguments = std::get_if<CheckArguments>(&parsed);
    return printHealth(unknownHealth(problem), arguments ? *arguments : CheckArguments{}, out);
}

int check(Session &session, const QStringList &args, QTextStream &out)
{
    const auto arguments = std::get<CheckArguments>(checkArguments(args));
    UnitData unit;
    HealthReading reading;
    if (readHealth(session.exchange, unit, reading))
        return printHealth(evaluateHealth(reading, arguments.thresholds), arguments, out);
    const OperationDeadline &deadline = session.exchange.deadline();
    const QString message =
        deadline.hasExpired() ? deadline.timedOutText() : lastConsoleMessage(session.ui);
    return printHealth(unknownHealth(message.isEmpty()
                                         ? QStringLiteral("the headend stopped answering")
                                         : message),
                       arguments, out);
}

int inventory(Session &session, const QStringList &args, QTextStream &out)
{
    UnitData unit;
    InventoryRecord record;
    if (const qsizetype name = args.indexOf(QLatin1String("--name")); name >= 0)
        record.headend = args.at(name + 1);
    if (!readInventory(session.exchange, unit, record))
        return ExitFailure;
    if (args.contains(QLatin1String("--json")))
        out << QJsonDocument(inventoryJson(record)).toJson(QJsonDocument::Indented);
    else if (args.contains(QLatin1String("--csv")))
        out << inventoryCsv({record});
    else
        out << inventoryTable({record});
    return ExitSuccess;
}

QString checkInventoryArguments(const QStringList &args)
{
    int formats = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--csv") || arg == QLatin1String("--json"))
            ++formats;
        else if (arg != QLatin1String("--name") || ++i >= args.size() || args.at(i).isEmpty())
            return QStringLiteral("inventory takes --csv or --json and --name NAME");
    }
    return formats > 1 ? QStringLiteral("inventory takes --csv or --json, not both") : QString();
}

} // namespace

std::optional<QString> takeHealthOption(const QString &option, const QString &value,
                                        HealthThresholds &thresholds, bool &prometheus)
{
    using Limit = std::pair<HealthRange *, PlainThreshold>;
    const std::map<QString, Limit> limits{
        {QStringLiteral("--warn-temp"), {&thresholds.warnTemperature, PlainThreshold::AlertAbove}},
        {QStringLiteral("--crit-temp"), {&thresholds.critTemperature, PlainThreshold::AlertAbove}},
        {QStringLiteral("--warn-snr"), {&thresholds.warnSnr, PlainThreshold::AlertBelow}},
        {QStringLiteral("--crit-snr"), {&thresholds.critSnr, PlainThreshold::AlertBelow}}};
    if (const auto limit = limits.find(option); limit != limits.end()) {
        const auto [range, plain] = limit->second;
        auto parsed = parseHealthRange(value, plain);
        if (const auto *problem = std::get_if<QString>(&parsed))
            return option + QStringLiteral(": ") + *problem;
        *range = std::get<HealthRange>(std::move(parsed));
        return QString();
    }
    if (option != QLatin1String("--format"))
        return std::nullopt;
    prometheus = value == QLatin1String("prometheus");
    return prometheus || value == QLatin1String("nagios")
               ? QString()
               : QStringLiteral("--format is nagios or prometheus");
}

void addHealthCommands(CtlCommandTable &table)
{
    table[QStringLiteral("check")] = {
        0,
        64,
        QStringLiteral(
            "check [--warn-temp RANGE] [--crit-temp RANGE] [--warn-snr RANGE]\n"
            "      [--crit-snr RANGE] [--format nagios|prometheus] [--name NAME]\n"
            "      [--timeout SECONDS] [--version]\n"
            "                             health as a monitoring plugin: exit 0 OK,\n"
            "                             1 WARNING, 2 CRITICAL, 3 UNKNOWN (usage errors\n"
            "                             and --version too); defaults 60/70 C, 9/6 dB\n"
            "                             RANGE: a plain number alerts on a temperature\n"
            "                             above it, on an S/N below it; START:END alerts\n"
            "                             outside it, @START:END inside it (ends included);\n"
            "                             START: has no end, ~:END no start, :END starts at 0;\n"
            "                             --timeout ends it UNKNOWN with the stage it was in"),
        [](const QStringList &a) {
            const auto parsed = checkArguments(a);
            const auto *problem = std::get_if<QString>(&parsed);
            return problem ? *problem : QString();
        },
        check,
        checkFailed,
        [](const QStringList &a) {
            const auto parsed = checkArguments(a);
            const auto *arguments = std::get_if<CheckArguments>(&parsed);
            return arguments ? arguments->timeout : std::nullopt;
        }};
    table[QStringLiteral("inventory")] = {
        0, 3,
        QStringLiteral("inventory [--csv | --json] [--name NAME]\n"
                       "                             device type, serial number, versions, "
                       "channels"),
        checkInventoryArguments, inventory};
}

} // namespace keldor
