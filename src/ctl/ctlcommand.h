#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <map>
#include <optional>

namespace keldor {

class Session;

enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// One keldor-ctl command. Its arguments are checked before the session is opened, so a
// usage error never touches the headend.
struct CtlCommand {
    int minArguments = 0;
    int maxArguments = 0;
    QString usage; // "NAME ARGS   what it does", one line for the help text
    // An error text, or an empty text when the arguments are fine.
    std::function<QString(const QStringList &)> check;
    std::function<int(Session &, const QStringList &, QTextStream &)> run;
};

using CtlCommandTable = std::map<QString, CtlCommand>;

// Each group of commands lives in its own file and adds itself here.
void add_parameter_commands(CtlCommandTable &table);
void add_maintenance_commands(CtlCommandTable &table);
void add_file_commands(CtlCommandTable &table);
void add_channel_commands(CtlCommandTable &table);

const CtlCommandTable &ctl_commands();

// Decimal or 0x-prefixed hexadecimal, within 0..highest.
std::optional<int> parse_code(const QString &text, int highest);

} // namespace keldor
