#include "ctlcommand.h"

#include "channels/channeltextsview.h"
#include "channels/inputrules.h"
#include "channels/outputrules.h"
#include "channels/setsearch.h"
#include "common/textutil.h"
#include "link/session.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"

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

std::variant<ChannelOptions, QString> parse_channel_options(const QStringList &args,
                                                            const QStringList &valueNames,
                                                            const QStringList &switchNames)
{
    ChannelOptions options;
    bool ok = false;
    options.channel = args.value(0).toInt(&ok) - 1;
    if (!ok || options.channel < 0 || options.channel >= channelCount)
        return QStringLiteral("CHANNEL is the channel number as on screen, 1..16");
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

bool read_headend(Session &session, UnitData &unit, ChannelTextsView &view)
{
    return check_devicetype(session.exchange, unit) && read_unit_data(session.exchange, unit, view);
}

bool channel_present(Session &session, const UnitData &unit, int channel)
{
    if (channel <= unit.max_channel)
        return true;
    session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                       QStringLiteral("This headend has %1 channels; there is no CHANNEL%2.")
                           .arg(unit.channelsInUse())
                           .arg(number_text(channel + 1)));
    return false;
}

// Shows what a rule said; true when it refused, so the command sends nothing.
bool show_refusal(Session &session, const RuleOutcome &outcome)
{
    for (const RuleMessage &m : outcome.messages)
        session.ui.message(m.icon, m.title, m.text, m.buttons);
    return outcome.refused();
}

QJsonObject channel_json(const UnitData &unit, const ChannelTextsView &view, int i)
{
    const ChannelRecord &r = unit.channel(i);
    const ChannelTexts &t = view.texts(i);
    QJsonArray ids;
    for (int s = 0; s < qMin<int>(r.service_count, serviceIdCapacity); ++s)
        ids.append(r.service_ids.at(static_cast<size_t>(s)));
    const QByteArray reserved(reinterpret_cast<const char *>(r.reserved.data()), reservedBytes);
    return QJsonObject{
        {"channel", i + 1},
        {"polarisation", r.polarisation},
        {"in_frequency", r.in_frequency},
        {"lo_frequency", r.lo_frequency},
        {"in_symbolrate", r.in_symbolrate},
        {"out_frequency", static_cast<double>(r.out_frequency)},
        {"bandwidth", r.bandwidth},
        {"qam", r.qam},
        {"out_symbolrate", r.out_symbolrate},
        {"spectrum", r.spectrum},
        {"attenuation", r.attenuation},
        {"opmode", r.opmode},
        {"output_on", r.output_on},
        {"lo_mode", r.lo_mode},
        {"service_count", r.service_count},
        {"service_mode", r.service_mode},
        {"reserved", QString::fromLatin1(reserved.toHex())},
        {"service_ids", ids},
        {"status", t.status},
        {"data_rate", static_cast<double>(unit.channel_data_rate.at(static_cast<size_t>(i)))},
        {"ber", t.ber},
        {"snr", t.snr}};
}

void print_table(const QList<QStringList> &rows, QTextStream &out)
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
    UnitData unit;
    ChannelTextsView view;
    if (!read_headend(session, unit, view))
        return ExitFailure;
    const DeviceTexts &d = view.device();
    QJsonArray channels;
    for (int i = 0; i <= unit.max_channel; ++i)
        channels.append(channel_json(unit, view, i));

    if (args.contains(QLatin1String("--json"))) {
        const QJsonObject json{{"device_type", d.device_type},
                               {"serial_number", unit.identity.serial_number},
                               {"hardware_version", d.hardware_version},
                               {"controller_version", d.controller_version},
                               {"fpga_version", d.fpga_version},
                               {"polarisation_supported", unit.polarisation_supported},
                               {"device_variant", unit.device_variant},
                               {"max_channel", unit.max_channel},
                               {"channels", channels}};
        out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        return ExitSuccess;
    }

    print_table({{"device_type:", d.device_type},
                 {"serial_number:", d.serial_number},
                 {"hardware_version:", d.hardware_version},
                 {"controller_version:", d.controller_version},
                 {"fpga_version:", d.fpga_version},
                 {"polarisation_supported:", unit.polarisation_supported ? "yes" : "no"},
                 {"device_variant:", QString::number(unit.device_variant)},
                 {"max_channel:", QString::number(unit.max_channel)}},
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
    print_table(rows, out);
    return ExitSuccess;
}

const QStringList outputValueOptions{"--frequency", "--qam",         "--symbolrate", "--spectrum",
                                     "--opmode",    "--attenuation", "--bandwidth"};
const QStringList outputSwitches{"--on", "--off"};
const QStringList tuneValueOptions{"--input", "--frequency", "--lo", "--symbolrate"};

int output(Session &session, const QStringList &args, QTextStream &)
{
    const ChannelOptions options =
        std::get<ChannelOptions>(parse_channel_options(args, outputValueOptions, outputSwitches));
    const int ch = options.channel;
    UnitData unit;
    ChannelTextsView view;
    if (!read_headend(session, unit, view) || !channel_present(session, unit, ch))
        return ExitFailure;

    const ChannelRecord &record = unit.channel(ch);
    const float rate = unit.channel_data_rate.at(static_cast<size_t>(ch));
    int firstQam = view.state(ch).qamFirstCode;
    OutputSettings s;
    s.out_frequency = view.texts(ch).out_frequency;
    s.qam_code = view.state(ch).qamCode;
    s.out_symbolrate = view.texts(ch).out_symbolrate;
    s.spectrum = record.spectrum;
    s.opmode = record.opmode;
    s.attenuation = record.attenuation;
    s.output_on = record.output_on != 0;
    s.bandwidth = record.bandwidth;

    if (options.has("--bandwidth")) {
        s.bandwidth = static_cast<int>(lists::bandwidth().indexOf(options.value("--bandwidth")));
        const RuleOutcome outcome = bandwidth_rule(
            s.bandwidth, s.qam_code >= 0 ? s.qam_code : firstQam, s.out_symbolrate, rate);
        if (show_refusal(session, outcome))
            return ExitFailure;
        if (outcome.qamList) {
            firstQam = outcome.qamList->firstCode;
            s.qam_code = outcome.qamList->selectedCode;
        }
        s.out_symbolrate = outcome.outSymbolrateText.value_or(s.out_symbolrate);
    }
    if (options.has("--qam")) {
        s.qam_code = static_cast<int>(lists::qam().indexOf(options.value("--qam")));
        if (s.qam_code < firstQam) {
            session.ui.message(
                UserInterface::Icon::Critical, QStringLiteral("Error"),
                QStringLiteral("%1 cannot carry this transponder; the lowest QAM order is %2.")
                    .arg(options.value("--qam"), lists::qam().at(firstQam)));
            return ExitFailure;
        }
        const RuleOutcome outcome = qam_rule(s.out_symbolrate, s.qam_code, rate);
        if (show_refusal(session, outcome))
            return ExitFailure;
        s.out_symbolrate = outcome.outSymbolrateText.value_or(s.out_symbolrate);
    }
    if (options.has("--symbolrate")) {
        s.out_symbolrate = options.value("--symbolrate");
        if (show_refusal(session, output_symbolrate_rule(s.out_symbolrate, s.qam_code, rate)))
            return ExitFailure;
    }
    if (options.has("--frequency")) {
        QList<OutputSpan> spans;
        for (int i = 0; i <= unit.max_channel; ++i)
            spans.append({view.texts(i).out_frequency, view.texts(i).out_symbolrate});
        spans[ch] = {options.value("--frequency"), s.out_symbolrate};
        const RuleOutcome outcome = output_frequency_rule(spans, ch);
        if (show_refusal(session, outcome))
            return ExitFailure;
        s.out_frequency = outcome.fieldText.value_or(options.value("--frequency"));
    }
    if (options.has("--spectrum"))
        s.spectrum = static_cast<int>(lists::spectrum().indexOf(options.value("--spectrum")));
    if (options.has("--opmode"))
        s.opmode = static_cast<int>(lists::opmode().indexOf(options.value("--opmode")));
    if (options.has("--attenuation"))
        s.attenuation =
            static_cast<int>(lists::attenuation().indexOf(options.value("--attenuation")));
    if (!options.switches.isEmpty())
        s.output_on = options.switches.first() == QLatin1String("--on");

    return set_channel(session.exchange, unit, ch, s) ? ExitSuccess : ExitFailure;
}

int tune(Session &session, const QStringList &args, QTextStream &out)
{
    const ChannelOptions options =
        std::get<ChannelOptions>(parse_channel_options(args, tuneValueOptions, {}));
    const int ch = options.channel;
    UnitData unit;
    ChannelTextsView view;
    if (!read_headend(session, unit, view) || !channel_present(session, unit, ch))
        return ExitFailure;

    InputSettings s;
    s.polarisation = unit.channel(ch).polarisation;
    s.in_frequency = view.texts(ch).in_frequency;
    s.lo = view.texts(ch).lo;
    s.in_symbolrate = view.texts(ch).in_symbolrate;

    if (options.has("--input")) {
        if (!unit.polarisation_supported) {
            session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                               QStringLiteral("This headend has a single satellite input; --input "
                                              "cannot be used."));
            return ExitFailure;
        }
        s.polarisation = static_cast<int>(lists::polarisation().indexOf(options.value("--input")));
    }
    if (options.has("--lo")) {
        s.lo = options.value("--lo");
        if (show_refusal(session, lo_rule(s.lo, view.state(ch).loEntries)))
            return ExitFailure;
    }
    if (options.has("--frequency"))
        s.in_frequency = options.value("--frequency");
    if ((options.has("--frequency") || options.has("--lo")) &&
        show_refusal(session, transponder_frequency_rule(s.in_frequency, s.lo)))
        return ExitFailure;
    if (options.has("--symbolrate")) {
        s.in_symbolrate = options.value("--symbolrate");
        if (show_refusal(session, input_symbolrate_rule(s.in_symbolrate)))
            return ExitFailure;
    }

    if (!search_channel(session.exchange, unit, view, ch, s))
        return ExitFailure;
    print_table({{"status:", view.texts(ch).status},
                 {"data_rate:",
                  QString::number(unit.channel_data_rate.at(static_cast<size_t>(ch)), 'g', 9)},
                 {"ber:", view.texts(ch).ber},
                 {"snr:", view.texts(ch).snr}},
                out);
    return ExitSuccess;
}

QString check_options(const QStringList &args, const QStringList &valueNames,
                      const QStringList &switchNames)
{
    const auto parsed = parse_channel_options(args, valueNames, switchNames);
    const auto *problem = std::get_if<QString>(&parsed);
    return problem ? *problem : QString();
}

} // namespace

void add_channel_commands(CtlCommandTable &table)
{
    table[QStringLiteral("read")] = {
        0, 1,
        QStringLiteral("read [--json]              full read: device block and every channel"),
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
        [](const QStringList &a) { return check_options(a, outputValueOptions, outputSwitches); },
        output};
    table[QStringLiteral("tune")] = {
        1, 9,
        QStringLiteral("tune CHANNEL [--input \"SAT 1\"] [--frequency MHZ] [--lo AUTO|MHZ] "
                       "[--symbolrate KSYM]\n"
                       "                             check and search a channel's input, print the "
                       "tuner state\n"
                       "                             (CHANNEL 1..16 as on screen)"),
        [](const QStringList &a) { return check_options(a, tuneValueOptions, {}); }, tune};
}

} // namespace keldor
