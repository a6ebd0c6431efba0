#include "ctlcommand.h"

#include "core/common/textutil.h"
#include "core/features/report/rtfreport.h"
#include "core/features/services/serviceeditor.h"
#include "core/model/devicetype.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include <QFileInfo>

namespace keldor {

namespace {

const QString overwriteOption = QStringLiteral("--overwrite");
const QString passOption = QStringLiteral("--pass");

QString modeText(quint8 mode)
{
    switch (mode) {
    case servicemode::all:
        return QStringLiteral("0 (every service passes)");
    case servicemode::listed:
        return QStringLiteral("1 (only the listed services pass)");
    default:
        return QString::number(mode) +
               QStringLiteral(" (every service but the listed ones passes)");
    }
}

// Service IDs as the operator knows them: 0..65535, decimal or 0x-hexadecimal.
std::optional<QList<quint16>> parseIds(const QString &text)
{
    QList<quint16> ids;
    if (text.trimmed().isEmpty())
        return ids;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto id = parseCode(part.trimmed(), 0xFFFF);
        if (!id || ids.contains(static_cast<quint16>(*id)))
            return std::nullopt;
        ids.append(static_cast<quint16>(*id));
    }
    return ids;
}

std::optional<int> parseChannel(const QString &text)
{
    const auto channel = parseCode(text, channelCount);
    return channel && *channel >= 1 ? channel : std::nullopt;
}

void printServices(QTextStream &out, const QString &heading, const QList<Service> &services)
{
    out << heading << " (" << services.size() << "):\n";
    for (const Service &s : services)
        out << "  " << QString::number(static_cast<quint16>(s.id)).rightJustified(5) << "  "
            << s.name << '\n';
}

// Empty when none of the paths is there or --overwrite, the only option after FILE, allows
// replacing them.
QString checkOverwrite(const QStringList &args, const QStringList &paths)
{
    if (args.size() == 2)
        return {};
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            return QStringLiteral("%1 exists; add --overwrite to replace it").arg(path);
    }
    return {};
}

QString checkSave(const QStringList &args)
{
    if (args.size() == 2 && args.at(1) != overwriteOption)
        return QStringLiteral("save takes only --overwrite after FILE");
    // The report is written beside the settings and replaces one of its name just the same.
    const QString path = settingsFileName(args.at(0));
    return checkOverwrite(args, {path, reportFileName(path)});
}

// The settings file and its report come from one read, so they hold the same.
int save(Session &session, const QStringList &args, QTextStream &out)
{
    Configuration config;
    ReadProgressWindow progress(session.ui, config.unit);
    if (!readConfiguration(session.exchange, config, progress.progress()))
        return ExitFailure;
    const QString path = settingsFileName(args.at(0));
    if (!saveSettingsFile(session.ui, path, config.unit))
        return ExitFailure;
    out << "settings: " << path << '\n';
    const QString report = reportFileName(path);
    if (!printRtf(session.ui, report, config))
        return ExitFailure;
    out << "report: " << report << '\n';
    return ExitSuccess;
}

QString checkReport(const QStringList &args)
{
    if (args.size() == 2 && args.at(1) != overwriteOption)
        return QStringLiteral("report takes only --overwrite after FILE");
    return checkOverwrite(args, {args.at(0)});
}

int report(Session &session, const QStringList &args, QTextStream &out)
{
    Configuration config;
    ReadProgressWindow progress(session.ui, config.unit);
    if (!readConfiguration(session.exchange, config, progress.progress()) ||
        !printRtf(session.ui, args.at(0), config))
        return ExitFailure;
    out << "report: " << args.at(0) << '\n';
    return ExitSuccess;
}

QString checkServices(const QStringList &args)
{
    if (!parseChannel(args.at(0)))
        return QStringLiteral("CHANNEL must be 1..16") + otherChannelCountHint(args.at(0), false);
    if (args.size() == 2 || (args.size() == 3 && args.at(1) != passOption))
        return QStringLiteral("services takes --pass ID,ID,... after CHANNEL");
    if (args.size() == 3 && !parseIds(args.at(2)))
        return QStringLiteral("--pass needs distinct service IDs 0..65535, separated by commas");
    return {};
}

int services(Session &session, const QStringList &args, QTextStream &out)
{
    UnitData unit;
    if (!checkDeviceType(session.exchange, unit))
        return ExitFailure;
    const int channel = *parseChannel(args.at(0)) - 1;
    if (channel > unit.maxChannel) {
        session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                           QStringLiteral("This headend has") + numberText(unit.channelsInUse()) +
                               QStringLiteral(" channels; nothing was changed."));
        return ExitFailure;
    }
    if (args.size() == 1) {
        ChannelServices read;
        if (!readServiceLists(session.exchange, channel, read))
            return ExitFailure;
        out << "channel" << numberText(channel + 1) << ", mode " << modeText(read.mode) << '\n';
        printServices(out, QStringLiteral("input services"), read.input);
        printServices(out, QStringLiteral("output services"), outputServices(read));
        return ExitSuccess;
    }

    ServiceListEditor editor(session.exchange, unit, channel);
    if (!editor.fill())
        return ExitFailure;
    editor.removeAll();
    const QList<quint16> wanted = *parseIds(args.at(2));
    for (const quint16 id : wanted) {
        const auto &input = editor.input();
        const auto found = std::find_if(input.cbegin(), input.cend(),
                                        [id](const Service &s) { return quint16(s.id) == id; });
        if (found == input.cend()) {
            session.ui.message(
                UserInterface::Icon::Critical, QStringLiteral("Error"),
                QStringLiteral("Service ID %1 is not in the input list of channel").arg(id) +
                    numberText(channel + 1) + QStringLiteral("; nothing was sent."));
            return ExitFailure;
        }
        editor.addInput(static_cast<int>(found - input.cbegin()));
    }
    if (editor.save() != ServiceListEditor::SaveResult::Sent)
        return ExitFailure;
    const ChannelRecord &record = unit.channel(channel);
    out << "sent mode " << modeText(record.serviceMode) << " with " << record.serviceCount
        << " listed IDs\n";
    return ExitSuccess;
}

} // namespace

void addFileCommands(CtlCommandTable &table)
{
    table[QStringLiteral("save")] = {
        1, 2,
        QStringLiteral(
            "save FILE [--overwrite]    read the headend, write FILE.kdr and its report"),
        checkSave, save};
    table[QStringLiteral("report")] = {
        1, 2, QStringLiteral("report FILE.rtf [--overwrite]  write the configuration report"),
        checkReport, report};
    table[QStringLiteral("services")] = {
        1, 3,
        QStringLiteral(
            "services CHANNEL [--pass ID,...]  show or set the services of channel 1..16"),
        checkServices, services};
}

} // namespace keldor
