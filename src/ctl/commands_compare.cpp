// The commands that compare settings before anything is written: diff, load and plan. A settings
// file alone needs no headend, so diff of two files and plan of a file run without a link.
#include "ctlcommand.h"
#include "ctlcommands.h"

#include "core/common/textutil.h"
#include "core/features/channels/frequencyplan.h"
#include "core/features/update/backup.h"
#include "core/model/devicetype.h"
#include "core/model/fullwrite.h"
#include "core/model/headendsettings.h"
#include "core/model/readunitdata.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdiff.h"
#include "core/protocol/session.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace keldor {

namespace {

const QString jsonOption = QStringLiteral("--json");
const QString channelsOption = QStringLiteral("--channels");
const QString yesOption = QStringLiteral("--yes");
const QString forceOption = QStringLiteral("--force");
const QString keepServicesOption = QStringLiteral("--keep-services");
const QString resetServicesOption = QStringLiteral("--reset-services");
const QString noVerifyOption = QStringLiteral("--no-verify");

struct CompareArgs {
    QStringList files;
    QStringList flags;
    int channels = 0; // 0: from the file's format
    QString problem;

    bool has(const QString &flag) const { return flags.contains(flag); }
};

CompareArgs parseArgs(const QString &command, const QStringList &args, const QStringList &allowed)
{
    CompareArgs parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            parsed.files.append(arg);
        } else if (!allowed.contains(arg)) {
            parsed.problem = QStringLiteral("%1 takes only %2").arg(command, allowed.join(", "));
        } else if (arg != channelsOption) {
            parsed.flags.append(arg);
        } else {
            const int count = args.value(++i).toInt();
            if (count != 8 && count != 10 && count != 12 && count != 16)
                parsed.problem = QStringLiteral("--channels must be 8, 10, 12 or 16");
            parsed.channels = count;
        }
    }
    return parsed;
}

// A settings file as a unit image: the format's own channel count unless --channels says.
std::variant<UnitData, QString> fileUnit(const QString &path, int channels)
{
    UnitData unit;
    const auto read = readSettingsFile(path, unit.channels);
    if (const auto *problem = std::get_if<QString>(&read))
        return QString(*problem).replace(QLatin1Char('\r'), QLatin1Char(' '));
    const bool old = std::get<SettingsFormat>(read) == SettingsFormat::Old;
    unit.maxChannel = static_cast<qint16>((channels ? channels
                                           : old    ? oldRecordCount
                                                    : channelCount) -
                                          1);
    return unit;
}

QString checkFiles(const CompareArgs &args, qsizetype most)
{
    if (!args.problem.isEmpty())
        return args.problem;
    if (args.files.size() > most)
        return QStringLiteral("too many files");
    for (const QString &file : args.files) {
        const auto unit = fileUnit(file, 0);
        if (const auto *problem = std::get_if<QString>(&unit))
            return *problem;
    }
    return {};
}

CompareArgs diffArgs(const QStringList &args)
{
    return parseArgs(QStringLiteral("diff"), args,
                     {jsonOption, channelsOption, keepServicesOption, resetServicesOption});
}

CompareArgs planArgs(const QStringList &args)
{
    return parseArgs(QStringLiteral("plan"), args, {jsonOption, channelsOption});
}

CompareArgs loadArgs(const QStringList &args)
{
    return parseArgs(
        QStringLiteral("load"), args,
        {keepServicesOption, resetServicesOption, yesOption, forceOption, noVerifyOption});
}

QString checkChannelsOption(const CompareArgs &args, bool files)
{
    return args.channels && !files
               ? QStringLiteral("--channels is for files; a headend tells its own channel count")
               : QString();
}

// The service options of diff and load: a file's selections are written unless it is of the
// old form, which has none, or --reset-services asks for every service to pass.
QString checkServiceOptions(const CompareArgs &args)
{
    if (args.has(keepServicesOption) && args.has(resetServicesOption))
        return QStringLiteral("--keep-services and --reset-services exclude each other");
    if (!args.has(keepServicesOption) || args.files.isEmpty())
        return {};
    std::array<ChannelRecord, channelCount> scratch{};
    const auto read = readSettingsFile(args.files.at(0), scratch);
    const auto *format = std::get_if<SettingsFormat>(&read);
    if (format && *format == SettingsFormat::Old)
        return QStringLiteral("--keep-services needs a current settings file; %1 is the old "
                              "240-byte form without service lists")
            .arg(args.files.at(0));
    return {};
}

QString checkDiff(const QStringList &raw)
{
    const CompareArgs args = diffArgs(raw);
    if (const QString problem = checkFiles(args, 2); !problem.isEmpty())
        return problem;
    if (args.files.isEmpty())
        return QStringLiteral("diff needs FILE or two files");
    const bool files = args.files.size() == 2;
    if (files && (args.has(keepServicesOption) || args.has(resetServicesOption)))
        return QStringLiteral("--keep-services and --reset-services are for FILE against the "
                              "headend");
    if (const QString problem = checkServiceOptions(args); !problem.isEmpty())
        return problem;
    return checkChannelsOption(args, files);
}

// The file as load sends it to the headend, which diff shows: nothing when the read or the
// file failed.
std::optional<FileOverHeadend> fileToSend(Session &session, const CompareArgs &args,
                                          Configuration &headend)
{
    auto file = readFileOverHeadend(session.exchange, session.ui, args.files.at(0), headend);
    if (file && args.has(resetServicesOption))
        resetSelections(file->unit);
    return file;
}

void printDiff(QTextStream &out, const UnitDiff &diff, bool json, const QString &unchanged)
{
    if (json)
        out << QJsonDocument(QJsonObject{{"equal", diff.isEmpty()}, {"channels", diffJson(diff)}})
                   .toJson(QJsonDocument::Indented);
    else
        out << (diff.isEmpty() ? unchanged + QLatin1Char('\n') : diffText(diff));
}

int diff(Session &session, const QStringList &raw, QTextStream &out)
{
    const CompareArgs args = diffArgs(raw);
    UnitData before;
    UnitData after;
    QString unchanged = QStringLiteral("The files hold the same settings");
    if (args.files.size() == 2) {
        // Both were checked before; only a file changed in between fails here.
        const auto a = fileUnit(args.files.at(0), args.channels);
        const auto b = fileUnit(args.files.at(1), args.channels);
        if (!std::holds_alternative<UnitData>(a) || !std::holds_alternative<UnitData>(b))
            return ExitFailure;
        before = std::get<UnitData>(a);
        after = std::get<UnitData>(b);
        // A file of the old form holds 12 channels; comparing more would list what it lacks.
        after.maxChannel =
            args.channels ? after.maxChannel : std::min(before.maxChannel, after.maxChannel);
    } else {
        Configuration headend;
        const auto file = fileToSend(session, args, headend);
        if (!file)
            return ExitFailure;
        before = headend.unit;
        after = file->unit;
        unchanged = unchangedText;
    }
    const UnitDiff changes = diffUnits(before, after);
    printDiff(out, changes, args.has(jsonOption), unchanged);
    return changes.isEmpty() ? ExitSuccess : ExitDifferent;
}

QString checkPlan(const QStringList &raw)
{
    const CompareArgs args = planArgs(raw);
    if (const QString problem = checkFiles(args, 1); !problem.isEmpty())
        return problem;
    return checkChannelsOption(args, !args.files.isEmpty());
}

int plan(Session &session, const QStringList &raw, QTextStream &out)
{
    const CompareArgs args = planArgs(raw);
    UnitData unit;
    if (!args.files.isEmpty()) {
        const auto file = fileUnit(args.files.at(0), args.channels);
        if (!std::holds_alternative<UnitData>(file))
            return ExitFailure;
        unit = std::get<UnitData>(file);
    } else if (!checkDeviceType(session.exchange, unit) || !readUnitData(session.exchange, unit)) {
        return ExitFailure;
    }
    const FrequencyPlan frequencies = frequencyPlan(unit);
    if (args.has(jsonOption))
        out << QJsonDocument(planJson(frequencies)).toJson(QJsonDocument::Indented);
    else
        out << planText(frequencies);
    return ExitSuccess;
}

QString checkLoad(const QStringList &raw)
{
    const CompareArgs args = loadArgs(raw);
    if (const QString problem = checkFiles(args, 1); !problem.isEmpty())
        return problem;
    if (args.files.isEmpty())
        return QStringLiteral("load needs FILE");
    return checkServiceOptions(args);
}

void refuse(Session &session, const QString &why)
{
    session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                       why + QStringLiteral(" Nothing was sent."));
}

bool confirmed(Session &session, const CompareArgs &args)
{
    if (args.has(yesOption))
        return true;
    const auto answer = askAtTerminal(QStringLiteral("Write these settings to the headend? [y/N]"));
    if (!answer) {
        refuse(session, QStringLiteral("There is no terminal to confirm the write; add --yes "
                                       "to write without the question."));
        return false;
    }
    if (!*answer)
        refuse(session, QStringLiteral("The write was not confirmed."));
    return *answer;
}

// Reads the headend again and compares it with what was sent.
int verify(Session &session, const UnitData &sent, const QString &backup, QTextStream &out)
{
    const std::optional<UnitDiff> differs = verifyWrite(session.exchange, sent, backup);
    if (!differs)
        return ExitFailure;
    if (differs->isEmpty()) {
        out << heldText << '\n';
        return ExitSuccess;
    }
    out << heldOtherwiseText << '\n' << diffText(*differs);
    session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Load Settings"),
                       QStringLiteral("The headend does not hold the settings that were sent. "
                                      "What it held before is saved in %1.")
                           .arg(QDir::toNativeSeparators(backup)));
    return ExitFailure;
}

int load(Session &session, const QStringList &raw, QTextStream &out)
{
    const CompareArgs args = loadArgs(raw);
    Configuration headend;
    const auto file = fileToSend(session, args, headend);
    if (!file)
        return ExitFailure;
    const UnitDiff changes = diffUnits(headend.unit, file->unit);
    printDiff(out, changes, false, unchangedText);
    if (changes.isEmpty() && !args.has(forceOption))
        return ExitSuccess;
    if (const QStringList outside = valuesOutsideLists(file->unit); !outside.isEmpty())
        out << "Sent as they are, though not in this program's lists:\n  "
            << outside.join(QStringLiteral("\n  ")) << '\n';
    out.flush();
    if (!confirmed(session, args))
        return ExitFailure;
    // What the headend holds now is kept before anything overwrites it.
    const BackupResult backup = writeBackup(headend, standardBackupFolder());
    if (backup.path.isEmpty()) {
        refuse(session,
               QStringLiteral("The headend's settings could not be saved first: ") + backup.error);
        return ExitFailure;
    }
    out << "backup: " << backup.path << '\n';
    const bool keep = !args.has(resetServicesOption) && file->format == SettingsFormat::Current;
    UnitData sent = file->unit;
    if (!saveUnitData(session.exchange, sent, keep))
        return ExitFailure;
    out << "sent" << numberText(sent.channelsInUse()) << " channels"
        << (keep ? " with their service lists" : ", every service passes") << '\n';
    out.flush();
    return args.has(noVerifyOption) ? ExitSuccess : verify(session, sent, backup.path, out);
}

} // namespace

bool worksOnFilesAlone(const QString &command, const QStringList &args)
{
    if (command == QLatin1String("diff"))
        return diffArgs(args).files.size() == 2;
    if (command == QLatin1String("plan"))
        return !planArgs(args).files.isEmpty();
    return command == QLatin1String("history");
}

void addCompareCommands(CtlCommandTable &table)
{
    table[QStringLiteral("diff")] = {
        1, 5,
        QStringLiteral("diff FILE [--json] [--keep-services | --reset-services]\n"
                       "                             what load FILE would change on the headend\n"
                       "  diff A B [--json] [--channels N]  what B changes over A (no link)"),
        checkDiff, diff};
    table[QStringLiteral("load")] = {
        1, 6,
        QStringLiteral("load FILE [--keep-services | --reset-services] [--yes] [--force] "
                       "[--no-verify]\n"
                       "                             show what FILE changes, confirm, save what "
                       "the headend holds,\n"
                       "                             send FILE with the full write and read it "
                       "back"),
        checkLoad, load};
    table[QStringLiteral("plan")] = {
        0, 4,
        QStringLiteral("plan [FILE] [--json] [--channels N]  the outputs in the cable band and "
                       "their overlaps"),
        checkPlan, plan};
}

} // namespace keldor
