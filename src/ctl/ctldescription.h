#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace keldor {

// What the shell offers for a value or a positional argument.
enum class Completes {
    Nothing,     // free text: a number, an address, a name
    File,        // a file name
    Folder,      // a folder name
    Headends,    // headend names of the directory or of --list FILE, separated by commas
    Channel,     // 1..16, as the screen counts
    ChannelByte, // 0..15, the channel byte of get and set
    Choices,     // the entries of choices()
};

// One option or positional argument of one command: the table in ctldescription.cpp is what
// the command line is checked against, what --help lists and what completion offers.
struct ArgumentDescription {
    // "" for the options before the command, "fleet" for those of every fleet command,
    // "fleet backup" for one fleet command's own; "update-fw|update-fpga" for both.
    const char *command;
    // "--option", or the placeholder of a positional argument; "[SUB]" is an optional one.
    const char *word;
    // The placeholder of the option's value; nullptr for a switch.
    const char *value;
    const char *help;
    Completes completes = Completes::Nothing;
    const QStringList &(*choices)() = nullptr;

    bool isOption() const { return word[0] == '-'; }
};

const std::vector<ArgumentDescription> &ctlArguments();

// The options and positional arguments of one command, in the table's order; a fleet command
// ("fleet check") gets the fleet's own as well.
std::vector<const ArgumentDescription *> argumentsOf(const QString &command);

// "CHANNEL CODE [SUB] [OPTIONS]": the command's one usage line after the link options.
QString synopsisOf(const QString &command);

// The command's options, one a line with what each does, for its --help.
QString optionListOf(const QString &command);

// The fleet's commands in alphabetical order: "backup", "check", "inventory".
QStringList fleetCommandNames();

} // namespace keldor
