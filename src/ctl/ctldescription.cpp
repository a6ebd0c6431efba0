#include "ctldescription.h"

#include "core/model/channellists.h"

namespace keldor {

namespace {

const QStringList &healthFormats()
{
    static const QStringList formats{QStringLiteral("nagios"), QStringLiteral("prometheus")};
    return formats;
}

const QStringList &fileChannelCounts()
{
    static const QStringList counts{QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("12"),
                                    QStringLiteral("16")};
    return counts;
}

constexpr auto Nothing = Completes::Nothing;
constexpr auto File = Completes::File;
constexpr auto Folder = Completes::Folder;
constexpr auto Choices = Completes::Choices;

// clang-format off
// A new option or argument is one row: its commands ("check|fleet check" for two), word, value
// placeholder (nullptr for a switch), what it does, and what completion offers for its value.
const std::vector<ArgumentDescription> table{
    {"", "--lan", "HOST:PORT", "reach the headend over TCP"},
    {"", "--proxy", "HOST:PORT", "with --lan: through this HTTP proxy"},
    {"", "--serial", "DEVICE", "use this serial port", File},
    {"", "--usb", nullptr, "use the first USB serial port that answers"},
    {"", "--verbose", nullptr, "print the operation's progress messages too"},
    {"", "--trace", "FILE", "write every unit exchanged to a new FILE", File},
    {"", "--overwrite", nullptr, "with --trace: replace an existing FILE"},
    {"", "--help", nullptr, "print the help and leave"},
    {"", "--version", nullptr, "print the version and leave"},

    {"check|fleet check", "--warn-temp", "RANGE", "warning temperature, C"},
    {"check|fleet check", "--crit-temp", "RANGE", "critical temperature, C"},
    {"check|fleet check", "--warn-snr", "RANGE", "warning S/N, dB"},
    {"check|fleet check", "--crit-snr", "RANGE", "critical S/N, dB"},
    {"check|fleet check", "--format", "FORMAT", "nagios or prometheus", Choices, healthFormats},
    {"check", "--name", "NAME", "the headend's name in the output"},
    {"check", "--version", nullptr, "print the version and leave with UNKNOWN"},
    {"check|fleet", "--timeout", "SECONDS", "give up after SECONDS, naming the stage"},

    {"diag|info|read", "--json", nullptr, "print JSON"},

    {"diff", "FILE", nullptr, "the settings file to compare", File},
    {"diff", "[FILE]", nullptr, "a second file: compare the two without a link", File},
    {"diff", "--json", nullptr, "print JSON"},
    {"diff|load", "--keep-services", nullptr, "keep the headend's service selections"},
    {"diff|load", "--reset-services", nullptr, "send the selections an old file lacks as empty"},
    {"diff", "--channels", "N", "the channel count of both files", Choices, fileChannelCounts},
    {"diff|load", "--dir", "DIR", "the backup folder a NAME@REV is taken from", Folder},

    {"get", "CHANNEL", nullptr, "the channel byte, 0..15", Completes::ChannelByte},
    {"get", "CODE", nullptr, "the parameter code"},
    {"get", "[SUB]", nullptr, "the sub-code"},

    {"history", "NAME", nullptr, "a headend backed up with fleet backup --git", Completes::Headends},
    {"history", "--dir", "DIR", "the backup folder (the current folder)", Folder},

    {"inventory", "--csv", nullptr, "print one CSV line"},
    {"inventory", "--json", nullptr, "print JSON"},
    {"inventory", "--name", "NAME", "the headend's name in the output"},

    {"lan-settings", "--ip", "A.B.C.D", "the new address"},
    {"lan-settings", "--mask", "A.B.C.D", "the new subnet mask"},
    {"lan-settings", "--gateway", "A.B.C.D", "the new gateway"},
    {"lan-settings", "--port", "N", "the new TCP port"},

    {"load", "FILE", nullptr, "the settings file to send", File},
    {"load", "--yes", nullptr, "send without asking"},
    {"load", "--force", nullptr, "send values outside the program's lists too"},
    {"load", "--no-verify", nullptr, "skip the read back after the write"},

    {"output", "CHANNEL", nullptr, "the channel, 1..16", Completes::Channel},
    {"output", "--frequency", "MHZ", "the output frequency"},
    {"output", "--qam", "QAM", "the modulation", Choices, lists::qam},
    {"output", "--symbolrate", "KSYM", "the output symbol rate"},
    {"output", "--spectrum", "SPECTRUM", "the spectrum", Choices, lists::spectrum},
    {"output", "--opmode", "MODE", "the operating mode", Choices, lists::opmode},
    {"output", "--attenuation", "DB", "the attenuation", Choices, lists::attenuation},
    {"output", "--bandwidth", "BANDWIDTH", "the channel bandwidth", Choices, lists::bandwidth},
    {"output", "--on", nullptr, "switch the output on"},
    {"output", "--off", nullptr, "switch the output off"},

    {"plan", "[FILE]", nullptr, "a settings file instead of the headend", File},
    {"plan", "--json", nullptr, "print JSON"},
    {"plan", "--channels", "N", "the file's channel count", Choices, fileChannelCounts},

    {"report", "FILE", nullptr, "the report to write (.rtf)", File},
    {"report", "--overwrite", nullptr, "replace an existing file"},

    {"save", "FILE", nullptr, "the settings file to write (.kdr)", File},
    {"save", "--overwrite", nullptr, "replace existing files"},

    {"services", "CHANNEL", nullptr, "the channel, 1..16", Completes::Channel},
    {"services", "--pass", "ID,...", "the service IDs the output carries"},

    {"set", "CHANNEL", nullptr, "the channel byte, 0..15", Completes::ChannelByte},
    {"set", "CODE", nullptr, "the parameter code"},
    {"set", "VALUE", nullptr, "the value; list strings as hex bytes"},

    {"tune", "CHANNEL", nullptr, "the channel, 1..16", Completes::Channel},
    {"tune", "--input", "INPUT", "the satellite input", Choices, lists::polarisation},
    {"tune", "--frequency", "MHZ", "the input frequency"},
    {"tune", "--lo", "LO", "the LNB oscillator: AUTO or MHz"},
    {"tune", "--symbolrate", "KSYM", "the input symbol rate"},

    {"update-fpga", "FILE", nullptr, "the FPGA image (.RBF)", File},
    {"update-fw", "FILE", nullptr, "the controller firmware (.UC3)", File},
    {"update-fw|update-fpga", "--backup-dir", "DIR", "save the configuration here first", Folder},
    {"update-fw|update-fpga", "--no-backup", nullptr, "save nothing first"},

    {"fleet", "--directory", "FILE", "the headend directory to take the fleet from", File},
    {"fleet", "--list", "FILE", "the fleet list to take the fleet from", File},
    {"fleet", "--only", "NAME,...", "only these headends", Completes::Headends},
    {"fleet", "--jobs", "N", "headends at once (8)"},
    {"fleet", "--json", nullptr, "print one JSON object a line"},
    {"fleet", "--run-timeout", "SECONDS", "give up the whole run after SECONDS"},

    {"fleet backup", "DIR", nullptr, "the folder of the backups", Folder},
    {"fleet backup", "--keep", "K", "keep the K newest backups of each"},
    {"fleet backup", "--git", nullptr, "commit each changed backup to git in DIR"},
    {"fleet backup", "--on-change", "CMD", "with --git: run CMD for each changed headend"},
    {"fleet backup", "--on-fail", "CMD", "with --git: run CMD for each failed headend"},

    {"fleet check", "--max-backup-age", "HOURS", "WARNING without a backup this recent"},
    {"fleet check", "--backup-dir", "DIR", "with --max-backup-age: the backup folder", Folder},

    {"fleet inventory", "--csv", nullptr, "print CSV"},
};
// clang-format on

QStringList ownersOf(const ArgumentDescription &argument)
{
    return QString::fromLatin1(argument.command).split(QLatin1Char('|'));
}

} // namespace

const std::vector<ArgumentDescription> &ctlArguments()
{
    return table;
}

std::vector<const ArgumentDescription *> argumentsOf(const QString &command)
{
    const bool fleet = command.startsWith(QLatin1String("fleet "));
    std::vector<const ArgumentDescription *> found;
    for (const ArgumentDescription &argument : table) {
        const QStringList owners = ownersOf(argument);
        if (owners.contains(command) || (fleet && owners.contains(QLatin1String("fleet"))))
            found.push_back(&argument);
    }
    return found;
}

QString synopsisOf(const QString &command)
{
    QString synopsis = command;
    bool options = false;
    for (const ArgumentDescription *argument : argumentsOf(command)) {
        if (argument->isOption())
            options = true;
        else
            synopsis += QLatin1Char(' ') + QLatin1String(argument->word);
    }
    return options ? synopsis + QStringLiteral(" [OPTIONS]") : synopsis;
}

QString optionListOf(const QString &command)
{
    QString list;
    for (const ArgumentDescription *argument : argumentsOf(command)) {
        if (!argument->isOption())
            continue;
        QString name = QLatin1String(argument->word);
        if (argument->value)
            name += QLatin1Char(' ') + QLatin1String(argument->value);
        list += QStringLiteral("  ") + name.leftJustified(24) + QLatin1Char(' ') +
                QLatin1String(argument->help);
        if (argument->choices)
            list += QStringLiteral(" (") + argument->choices().join(QStringLiteral(", ")) +
                    QLatin1Char(')');
        list += QLatin1Char('\n');
    }
    return list.isEmpty() ? list : QStringLiteral("\noptions:\n") + list;
}

QStringList fleetCommandNames()
{
    QStringList names;
    for (const ArgumentDescription &argument : table) {
        for (const QString &owner : ownersOf(argument)) {
            if (owner.startsWith(QLatin1String("fleet ")) && !names.contains(owner.mid(6)))
                names.append(owner.mid(6));
        }
    }
    names.sort();
    return names;
}

} // namespace keldor
