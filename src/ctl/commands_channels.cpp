#include "ctlcommand.h"

#include "core/common/textutil.h"
#include "core/features/channels/inputrules.h"
#include "core/features/channels/outputrules.h"
#include "core/features/channels/setsearch.h"
#include "core/model/channeltextsview.h"
#include "core/model/devicetype.h"
#include "core/model/headendsettings.h"
#include "core/model/readunitdata.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace keldor {

namespace {

// The options of output and tune after the channel number: value options and switches.
struct ChannelOptions {
    int channel = 0; // 0-based
    std::map<QString, QString> values;
    QStringList switches;

    bool has(const QString &name) const { return values.count(name) > 0; }
    QString value(const QString &name) const { return values.at(name); }
};

// Options whose values must be one of a list's entries, with that list.
const std::map<QString, const QStringList *> &listOptions()
{
    static const std::map<QString, const QStringList *> options{
        {"--qam", &lists::qam()},
        {"--spectrum", &lists::spectrum()},
        {"--opmode", &lists::opmode()},
        {"--attenuation", &lists::attenuation()},
        {"--bandwidth", &lists::bandwidth()},
        {"--input", &lists::polarisation()}};
    return options;
}

std::variant<ChannelOptions, QString> parseChannelOptions(const QStringList &args,
                                                          const QStringList &valueNames,
                                                          const QStringList &switchNames)
{
    ChannelOptions options;
    bool ok = false;
    options.channel = args.value(0).toInt(&ok) - 1;
    if (!ok || options.channel < 0 || options.channel >= channelCount)
        return QStringLiteral("CHANNEL is the channel number as on screen, 1..16") +
               otherChannelCountHint(args.value(0), false);
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &name = args.at(i);
        if (switchNames.contains(name)) {
            options.switches.append(name);
            continue;
        }
        if (!valueNames.contains(name) || i + 1 >= args.size())
            return QStringLiteral("unknown or incomplete option %1").arg(name);
        const QString value = args.at(++i);
        const auto list = listOptions().find(name);
        if (list != listOptions().end() && !list->second->contains(value))
            return QStringLiteral("%1 takes one of: %2")
                .arg(name, list->second->join(QStringLiteral(", ")));
        options.values[name] = value;
    }
    if (options.switches.size() > 1)
        return QStringLiteral("give either --on or --off");
    return options;
}

// The full read and the channel window's view of it, which the rules work on.
bool readHeadend(Session &session, UnitData &unit, ChannelTextsView &view)
{
    if (!checkDeviceType(session.exchange, unit) || !readUnitData(session.exchange, unit))
        return false;
    showUnitData(unit, view, &session.ui);
    return true;
}

bool channelPresent(Session &session, const UnitData &unit, int channel)
{
    if (channel <= unit.maxChannel)
        return true;
    session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                       QStringLiteral("This headend has %1 channels; there is no CHANNEL%2.")
                           .arg(unit.channelsInUse())
                           .arg(numberText(channel + 1)));
    return false;
}

// Shows what a rule said; true when it refused, so the command sends nothing.
bool showRefusal(Session &session, const RuleOutcome &outcome)
{
    for (const RuleMessage &m : outcome.messages)
        session.ui.message(m.icon, m.title, m.text, m.buttons);
    return outcome.refused();
}

QJsonObject channelJson(const UnitData &unit, const ChannelTextsView &view, int i)
{
    const ChannelRecord &r = unit.channel(i);
    const ChannelTexts &t = view.texts(i);
    QJsonArray ids;
    for (int s = 0; s < qMin<int>(r.serviceCount, serviceIdCapacity); ++s)
        ids.append(r.serviceIds.at(static_cast<size_t>(s)));
    const QByteArray reserved(reinterpret_cast<const char *>(r.reserved.data()), reservedBytes);
    return QJsonObject{
        {"channel", i + 1},
        {"polarisation", r.polarisation},
        {"in_frequency", r.inFrequency},
        {"lo_frequency", r.loFrequency},
        {"in_symbolrate", r.inSymbolrate},
        {"out_frequency", static_cast<double>(r.outFrequency)},
        {"bandwidth", r.bandwidth},
        {"qam", r.qam},
        {"out_symbolrate", r.outSymbolrate},
        {"spectrum", r.spectrum},
        {"attenuation", r.attenuation},
        {"opmode", r.opmode},
        {"output_on", r.outputOn},
        {"lo_mode", r.loMode},
        {"service_count", r.serviceCount},
        {"service_mode", r.serviceMode},
        {"reserved", QString::fromLatin1(reserved.toHex())},
        {"service_ids", ids},
        {"status", t.status},
        {"data_rate", static_cast<double>(unit.channelDataRate.at(static_cast<size_t>(i)))},
        {"ber", t.ber},
        {"snr", t.snr}};
}

void printTable(const QList<QStringList> &rows, QTextStream &out)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.append(0);
            widths[c] = qMax(widths[c], row.at(c).size());
        }
    }
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += row.at(c).leftJustified(widths.at(c) + 2);
        out << line.trimmed() << '\n';
    }
}

int read(Session &session, const QStringList &args, QTextStream &out)
{
    Configuration config;
    if (!readConfiguration(session.exchange, config))
        return ExitFailure;
    const UnitData &unit = config.unit;
    ChannelTextsView view;
    showUnitData(unit, view, &session.ui);
    const DeviceTexts &d = view.device();
    QJsonArray channels;
    for (int i = 0; i <= unit.maxChannel; ++i)
        channels.append(channelJson(unit, view, i));

    if (args.contains(QLatin1String("--json"))) {
        const QJsonObject json{{"device_type", d.deviceType},
                               {"serial_number", unit.identity.serialNumber},
                               {"hardware_version", d.hardwareVersion},
                               {"controller_version", d.controllerVersion},
                               {"fpga_version", d.fpgaVersion},
                               {"polarisation_supported", unit.polarisationSupported},
                               {"device_variant", unit.deviceVariant},
                               {"max_channel", unit.maxChannel},
                               {"channels", channels}};
        out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        return ExitSuccess;
    }

    printTable({{"device_type:", d.deviceType},
                {"serial_number:", d.serialNumber},
                {"hardware_version:", d.hardwareVersion},
                {"controller_version:", d.controllerVersion},
                {"fpga_version:", d.fpgaVersion},
                {"polarisation_supported:", unit.polarisationSupported ? "yes" : "no"},
                {"device_variant:", QString::number(unit.deviceVariant)},
                {"max_channel:", QString::number(unit.maxChannel)}},
               out);
    out << '\n';
    const QStringList columns{"channel", "status",         "data_rate",     "ber",
                              "snr",     "polarisation",   "in_frequency",  "lo_frequency",
                              "lo_mode", "in_symbolrate",  "out_frequency", "bandwidth",
                              "qam",     "out_symbolrate", "spectrum",      "attenuation",
                              "opmode",  "output_on",      "service_count", "service_mode"};
    QList<QStringList> rows{columns};
    for (const QJsonValue &channel : channels) {
        const QJsonObject o = channel.toObject();
        QStringList row;
        for (const QString &key : columns) {
            const QJsonValue v = o.value(key);
            row.append(v.isString() ? (v.toString().isEmpty() ? QStringLiteral("-") : v.toString())
                                    : QString::number(v.toDouble(), 'g', 9));
        }
        rows.append(row);
    }
    printTable(rows, out);
    return ExitSuccess;
}

const QStringList outputValueOptions{"--frequency", "--qam",         "--symbolrate", "--spectrum",
                                     "--opmode",    "--attenuation", "--bandwidth"};
const QStringList outputSwitches{"--on", "--off"};
const QStringList tuneValueOptions{"--input", "--frequency", "--lo", "--symbolrate"};

int output(Session &session, const QStringList &args, QTextStream &)
{
    const ChannelOptions options =
        std::get<ChannelOptions>(parseChannelOptions(args, outputValueOptions, outputSwitches));
    const int ch = options.channel;
    UnitData unit;
    ChannelTextsView view;
    if (!readHeadend(session, unit, view) || !channelPresent(session, unit, ch))
        return ExitFailure;

    const ChannelRecord &record = unit.channel(ch);
    const float rate = unit.channelDataRate.at(static_cast<size_t>(ch));
    int firstQam = view.state(ch).qamFirstCode;
    OutputSettings s;
    s.outFrequency = view.texts(ch).outFrequency;
    s.qamCode = view.state(ch).qamCode;
    s.outSymbolrate = view.texts(ch).outSymbolrate;
    s.spectrum = record.spectrum;
    s.opmode = record.opmode;
    s.attenuation = record.attenuation;
    s.outputOn = record.outputOn != 0;
    s.bandwidth = record.bandwidth;

    if (options.has("--bandwidth")) {
        s.bandwidth = static_cast<int>(lists::bandwidth().indexOf(options.value("--bandwidth")));
        const RuleOutcome outcome = bandwidthRule(
            s.bandwidth, s.qamCode >= 0 ? s.qamCode : firstQam, s.outSymbolrate, rate);
        if (showRefusal(session, outcome))
            return ExitFailure;
        if (outcome.qamList) {
            firstQam = outcome.qamList->firstCode;
            s.qamCode = outcome.qamList->selectedCode;
        }
        s.outSymbolrate = outcome.outSymbolrateText.value_or(s.outSymbolrate);
    }
    if (options.has("--qam")) {
        s.qamCode = static_cast<int>(lists::qam().indexOf(options.value("--qam")));
        if (s.qamCode < firstQam) {
            session.ui.message(
                UserInterface::Icon::Critical, QStringLiteral("Error"),
                QStringLiteral("%1 cannot carry this transponder; the lowest QAM order is %2.")
                    .arg(options.value("--qam"), lists::qam().at(firstQam)));
            return ExitFailure;
        }
        const RuleOutcome outcome = qamRule(s.outSymbolrate, s.qamCode, rate);
        if (showRefusal(session, outcome))
            return ExitFailure;
        s.outSymbolrate = outcome.outSymbolrateText.value_or(s.outSymbolrate);
    }
    if (options.has("--symbolrate")) {
        s.outSymbolrate = options.value("--symbolrate");
        if (showRefusal(session, outputSymbolrateRule(s.outSymbolrate, s.qamCode, rate)))
            return ExitFailure;
    }
    if (options.has("--frequency")) {
        QList<OutputSpan> spans;
        for (int i = 0; i <= unit.maxChannel; ++i)
            spans.append({view.texts(i).outFrequency, view.texts(i).outSymbolrate});
        spans[ch] = {options.value("--frequency"), s.outSymbolrate};
        const RuleOutcome outcome = outputFrequencyRule(spans, ch);
        if (showRefusal(session, outcome))
            return ExitFailure;
        s.outFrequency = outcome.fieldText.value_or(options.value("--frequency"));
    }
    if (options.has("--spectrum"))
        s.spectrum = static_cast<int>(lists::spectrum().indexOf(options.value("--spectrum")));
    if (options.has("--opmode"))
        s.opmode = static_cast<int>(lists::opmode().indexOf(options.value("--opmode")));
    if (options.has("--attenuation"))
        s.attenuation =
            static_cast<int>(lists::attenuation().indexOf(options.value("--attenuation")));
    if (!options.switches.isEmpty())
        s.outputOn = options.switches.first() == QLatin1String("--on");

    return setChannel(session.exchange, unit, ch, s) ? ExitSuccess : ExitFailure;
}

int tune(Session &session, const QStringList &args, QTextStream &out)
{
    const ChannelOptions options =
        std::get<ChannelOptions>(parseChannelOptions(args, tuneValueOptions, {}));
    const int ch = options.channel;
    UnitData unit;
    ChannelTextsView view;
    if (!readHeadend(session, unit, view) || !channelPresent(session, unit, ch))
        return ExitFailure;

    InputSettings s;
    s.polarisation = unit.channel(ch).polarisation;
    s.inFrequency = view.texts(ch).inFrequency;
    s.lo = view.texts(ch).lo;
    s.inSymbolrate = view.texts(ch).inSymbolrate;

    if (options.has("--input")) {
        if (!unit.polarisationSupported) {
            session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                               QStringLiteral("This headend has a single satellite input; --input "
                                              "cannot be used."));
            return ExitFailure;
        }
        s.polarisation = static_cast<int>(lists::polarisation().indexOf(options.value("--input")));
    }
    if (options.has("--lo")) {
        s.lo = options.value("--lo");
        if (showRefusal(session, loRule(s.lo, view.state(ch).loEntries)))
            return ExitFailure;
    }
    if (options.has("--frequency"))
        s.inFrequency = options.value("--frequency");
    if ((options.has("--frequency") || options.has("--lo")) &&
        showRefusal(session, transponderFrequencyRule(s.inFrequency, s.lo)))
        return ExitFailure;
    if (options.has("--symbolrate")) {
        s.inSymbolrate = options.value("--symbolrate");
        if (showRefusal(session, inputSymbolrateRule(s.inSymbolrate)))
            return ExitFailure;
    }

    if (!searchChannel(session.exchange, unit, view, ch, s))
        return ExitFailure;
    printTable(
        {{"status:", view.texts(ch).status},
         {"data_rate:", QString::number(unit.channelDataRate.at(static_cast<size_t>(ch)), 'g', 9)},
         {"ber:", view.texts(ch).ber},
         {"snr:", view.texts(ch).snr}},
        out);
    return ExitSuccess;
}

QString checkOptions(const QStringList &args, const QStringList &valueNames,
                     const QStringList &switchNames)
{
    const auto parsed = parseChannelOptions(args, valueNames, switchNames);
    const auto *problem = std::get_if<QString>(&parsed);
    return problem ? *problem : QString();
}

} // namespace

void addChannelCommands(CtlCommandTable &table)
{
    table[QStringLiteral("read")] = {
        0, 1,
        QStringLiteral("read [--json]              full read: device block, every channel and its "
                       "service selection"),
        [](const QStringList &a) {
            return a.isEmpty() || a.first() == QLatin1String("--json")
                       ? QString()
                       : QStringLiteral("read takes only --json");
        },
        read};
    table[QStringLiteral("output")] = {
        1, 16,
        QStringLiteral(
            "output CHANNEL [--frequency MHZ] [--qam QAM-256] [--symbolrate KSYM]\n"
            "         [--spectrum Normal|Invers] [--opmode Normal|Single|Zero]\n"
            "         [--attenuation -3dB] [--bandwidth \"8 MHz\"] [--on|--off]\n"
            "                             check and set a channel's output (CHANNEL 1..16 "
            "as on screen)"),
        [](const QStringList &a) { return checkOptions(a, outputValueOptions, outputSwitches); },
        output};
    table[QStringLiteral("tune")] = {
        1, 9,
        QStringLiteral("tune CHANNEL [--input \"SAT 1\"] [--frequency MHZ] [--lo AUTO|MHZ] "
                       "[--symbolrate KSYM]\n"
                       "                             check and search a channel's input, print the "
                       "tuner state\n"
                       "                             (CHANNEL 1..16 as on screen)"),
        [](const QStringList &a) { return checkOptions(a, tuneValueOptions, {}); }, tune};
}

} // namespace keldor
