// The commands that compare settings before anything is written: diff, load and plan. A settings
// file alone needs no headend, so diff of two files and plan of a file run without a link.
#include "ctlcommand.h"
#include "ctlcommands.h"

#include "channels/channeltextsview.h"
#include "channels/frequencyplan.h"
#include "common/textutil.h"
#include "link/session.h"
#include "model/settingsfile.h"
#include "model/unitdiff.h"
#include "protocol/devicetype.h"
#include "protocol/fullwrite.h"
#include "protocol/headendsettings.h"
#include "protocol/readunitdata.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace keldor {

namespace {

const QString jsonOption = QStringLiteral("--json");
const QString channelsOption = QStringLiteral("--channels");
const QString yesOption = QStringLiteral("--yes");
const QString forceOption = QStringLiteral("--force");
const QString keepServicesOption = QStringLiteral("--keep-services");

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
    return parseArgs(QStringLiteral("diff"), args, {jsonOption, channelsOption});
}

CompareArgs planArgs(const QStringList &args)
{
    return parseArgs(QStringLiteral("plan"), args, {jsonOption, channelsOption});
}

CompareArgs loadArgs(const QStringList &args)
{
    return parseArgs(QStringLiteral("load"), args, {keepServicesOption, yesOption, forceOption});
}

QString checkChannelsOption(const CompareArgs &args, bool files)
{
    return args.channels && !files
               ? QStringLiteral("--channels is for files; a headend tells its own channel count")
               : QString();
}

QString checkDiff(const QStringList &raw)
{
    const CompareArgs args = diffArgs(raw);
    if (const QString problem = checkFiles(args, 2); !problem.isEmpty())
        return problem;
    if (args.files.isEmpty())
        return QStringLiteral("diff needs FILE or two files");
    return checkChannelsOption(args, args.files.size() == 2);
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
        const auto file =
            readFileOverHeadend(session.exchange, session.ui, args.files.at(0), before);
        if (!file)
            return ExitFailure;
        after = *file;
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
    } else {
        ChannelTextsView view;
        if (!checkDeviceType(session.exchange, unit) ||
            !readUnitData(session.exchange, unit, view, ReadNotices::Hidden))
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
    std::array<ChannelRecord, channelCount> scratch{};
    const auto read = readSettingsFile(args.files.at(0), scratch);
    const auto *format = std::get_if<SettingsFormat>(&read);
    if (args.has(keepServicesOption) && format && *format == SettingsFormat::Old)
        return QStringLiteral("--keep-services needs a current settings file; %1 is the old "
                              "240-byte form without service lists")
            .arg(args.files.at(0));
    return {};
}

void refuse(Session &session, const QString &why)
{
    session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                       why + QStringLiteral(" Nothing was sent."));
}

int load(Session &session, const QStringList &raw, QTextStream &out)
{
    const CompareArgs args = loadArgs(raw);
    UnitData headend;
    auto file = readFileOverHeadend(session.exchange, session.ui, args.files.at(0), headend);
    if (!file)
        return ExitFailure;
    const bool keep = args.has(keepServicesOption);
    if (!keep) {
        // What the write will send: every service passes.
        for (int ch = 0; ch < file->channelsInUse(); ++ch) {
            file->channel(ch).serviceCount = 0;
            file->channel(ch).serviceMode = 0;
        }
    }
    const UnitDiff changes = diffUnits(headend, *file);
    printDiff(out, changes, false, unchangedText);
    if (changes.isEmpty() && !args.has(forceOption))
        return ExitSuccess;
    out.flush();
    if (!args.has(yesOption)) {
        const auto answer =
            askAtTerminal(QStringLiteral("Write these settings to the headend? [y/N]"));
        if (!answer) {
            refuse(session, QStringLiteral("There is no terminal to confirm the write; add --yes "
                                           "to write without the question."));
            return ExitFailure;
        }
        if (!*answer) {
            refuse(session, QStringLiteral("The write was not confirmed."));
            return ExitFailure;
        }
    }
    if (!saveUnitData(session.exchange, *file, keep))
        return ExitFailure;
    out << "sent" << numberText(file->channelsInUse()) << " channels"
        << (keep ? " with their service lists" : ", every service passes") << '\n';
    return ExitSuccess;
}

} // namespace

bool worksOnFilesAlone(const QString &command, const QStringList &args)
{
    if (command == QLatin1String("diff"))
        return diffArgs(args).files.size() == 2;
    if (command == QLatin1String("plan"))
        return !planArgs(args).files.isEmpty();
    return false;
}

void addCompareCommands(CtlCommandTable &table)
{
    table[QStringLiteral("diff")] = {
        1, 5,
        QStringLiteral("diff FILE [--json]         what loading FILE would change on the headend\n"
                       "  diff A B [--json] [--channels N]  what B changes over A (no link)"),
        checkDiff, diff};
    table[QStringLiteral("load")] = {
        1, 4,
        QStringLiteral("load FILE [--keep-services] [--yes] [--force]  show what FILE changes,\n"
                       "                             confirm and send it with the full write"),
        checkLoad, load};
    table[QStringLiteral("plan")] = {
        0, 4,
        QStringLiteral("plan [FILE] [--json] [--channels N]  the outputs in the cable band and "
                       "their overlaps"),
        checkPlan, plan};
}

} // namespace keldor
