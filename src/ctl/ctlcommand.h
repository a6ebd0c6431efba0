#pragma once

#include "core/common/timing.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>
#include <map>
#include <optional>

namespace keldor {

class Session;
struct HealthThresholds;

// ExitDifferent: a comparison found settings that differ.
enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2, ExitDifferent = 3 };

// One keldor-ctl command. Its arguments are checked before the session is opened, so a
// usage error never touches the headend.
struct CtlCommand {
    int minArguments = 0;
    int maxArguments = 0;
    QString usage; // "NAME ARGS   what it does", one line for the help text
    // An error text, or an empty text when the arguments are fine.
    std::function<QString(const QStringList &)> check;
    std::function<int(Session &, const QStringList &, QTextStream &)> run;
    // Monitoring plugins answer every failure, a usage error or a headend out of reach, on
    // stdout in their own words and with their own exit status. Given the arguments and the
    // problem, it prints that answer and returns the status.
    std::function<int(const QStringList &, const QString &, QTextStream &)> failed = {};
    // How long the whole command may take, its connection included, when its arguments say.
    std::function<std::optional<milliseconds>(const QStringList &)> deadline = {};
};

using CtlCommandTable = std::map<QString, CtlCommand>;

// Each group of commands lives in its own file and adds itself here.
void addParameterCommands(CtlCommandTable &table);
void addMaintenanceCommands(CtlCommandTable &table);
void addFileCommands(CtlCommandTable &table);
void addChannelCommands(CtlCommandTable &table);
void addHealthCommands(CtlCommandTable &table);
void addCompareCommands(CtlCommandTable &table);
void addHistoryCommands(CtlCommandTable &table);

// Puts each NAME@REV among the arguments of diff and load, a headend's settings as fleet backup
// --git stored them in revision REV, into a file of its own in store and names that file
// instead; "--dir DIR" names the repository (the current folder without it) and is taken out.
// Empty, or why a version can't be had.
QString takeStoredVersions(QStringList &arguments, QTemporaryDir &store);

// A threshold option of check (--warn-temp, --crit-temp, --warn-snr, --crit-snr) or --format
// with its value, as check and fleet check take them: nothing when option is none of these, else
// why the value is refused, an empty text when it is taken.
std::optional<QString> takeHealthOption(const QString &option, const QString &value,
                                        HealthThresholds &thresholds, bool &prometheus);

// Whether the command works on settings files alone with these arguments, so needs no link.
bool worksOnFilesAlone(const QString &command, const QStringList &arguments);

// The operator's yes or no at the terminal; nothing when keldor-ctl has no terminal to ask at.
// main() installs the terminal when stdin is one; tests install an operator of their own.
using TerminalQuestion = std::function<std::optional<bool>(const QString &question)>;
void setTerminalQuestion(TerminalQuestion question);
std::optional<bool> askAtTerminal(const QString &question);

const CtlCommandTable &ctlCommands();

// get and set take the channel byte (0..15), the other commands count from 1 as the screen
// does. For a channel number out of its command's range that the other count takes, the hint
// that says so, starting with "; "; else an empty text.
QString otherChannelCountHint(const QString &text, bool channelByte);

// Decimal or 0x-prefixed hexadecimal, within 0..highest.
std::optional<int> parseCode(const QString &text, int highest);

} // namespace keldor
