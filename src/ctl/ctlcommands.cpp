#include "ctlcommands.h"

#include "common/fileaccess.h"
#include "consoleui.h"
#include "ctlcommand.h"
#include "fleet.h"
#include "health/health.h"
#include "link/session.h"
#include "link/traffictrace.h"

#include <QFile>
#include <QFileInfo>

namespace keldor {

namespace {

bool openSession(Session &session, const CtlOptions &options)
{
    switch (options.link) {
    case CtlOptions::Link::Lan: {
        session.exchange.setSerialSelected(false);
        LanTarget target;
        target.name = options.host + QLatin1Char(':') + options.port;
        target.ip = options.host;
        target.port = options.port;
        target.proxyUse = options.useProxy ? 1 : 0;
        target.proxyIp = options.proxyHost;
        target.proxyPort = options.proxyPort;
        return lanConnect(session, target);
    }
    case CtlOptions::Link::Serial:
        session.usbPorts = [device = options.serialDevice] {
            return QStringList{device};
        };
        [[fallthrough]];
    case CtlOptions::Link::Usb:
        session.exchange.setSerialSelected(true);
        return checkDevicePresent(session);
    }
    return false;
}

TerminalQuestion &terminalQuestion()
{
    static TerminalQuestion question;
    return question;
}

void closeSession(Session &session)
{
    if (session.serial.isOpen()) {
        session.exchange.comEnd();
        session.serial.close();
    }
    session.lan.close();
}

// Where the command stands among the arguments: the first word that is neither an option nor
// the value of one; the size of the list when there is none.
qsizetype commandIndex(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--lan") || arg == QLatin1String("--serial") ||
            arg == QLatin1String("--proxy") || arg == QLatin1String("--trace"))
            ++i;
        else if (!arg.startsWith(QLatin1String("--")))
            return i;
    }
    return arguments.size();
}

// The help that "--help" asks for: the command's own when a command is named, else the whole
// one. Needs no link, so it also answers before the options are complete.
std::optional<QString> requestedHelp(const QStringList &arguments)
{
    if (!arguments.contains(QLatin1String("--help")))
        return std::nullopt;
    const QString command = arguments.value(commandIndex(arguments));
    // The fleet's commands and options are its own, so its help is too.
    if (command == QLatin1String("fleet"))
        return QStringLiteral("usage: keldor-ctl fleet backup DIR | inventory | check "
                              "[OPTIONS]\n") +
               fleetHelp();
    const auto found = ctlCommands().find(command);
    if (found == ctlCommands().end())
        return ctlHelp();
    return QStringLiteral("usage: keldor-ctl LINK [--verbose] [--trace FILE [--overwrite]] ") +
           found->second.usage +
           QStringLiteral("\n\nLINK is --lan HOST:PORT [--proxy HOST:PORT], --serial DEVICE "
                          "or --usb (keldor-ctl --help).\n");
}

// A monitoring plugin answers --version with its version and UNKNOWN, whatever else it is given.
bool checkVersionRequested(const QStringList &arguments)
{
    const qsizetype command = commandIndex(arguments);
    return arguments.value(command) == QLatin1String("check") &&
           arguments.mid(command + 1).contains(QLatin1String("--version"));
}

} // namespace

std::optional<int> parseCode(const QString &text, int highest)
{
    bool ok = false;
    const int value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                          ? text.mid(2).toInt(&ok, 16)
                          : text.toInt(&ok, 10);
    if (!ok || value < 0 || value > highest)
        return std::nullopt;
    return value;
}

void setTerminalQuestion(TerminalQuestion question)
{
    terminalQuestion() = std::move(question);
}

std::optional<bool> askAtTerminal(const QString &question)
{
    return terminalQuestion() ? terminalQuestion()(question) : std::nullopt;
}

QString ctlHelp()
{
    QString help = ctlUsage();
    for (const auto &[name, command] : ctlCommands())
        help += QStringLiteral("  ") + command.usage + QLatin1Char('\n');
    help += QStringLiteral("\nCHANNEL in get and set is the channel byte of the request (0..15, "
                           "0 for device values);\nCODE and SUB are decimal or 0x-hexadecimal.\n"
                           "diff A B and plan FILE work on settings files alone and need no link.\n"
                           "exit status: 0 success, 1 link or headend failure, 2 usage error,\n"
                           "3 diff found differences\n");
    help += fleetHelp();
    return help;
}

int runCtlCommand(Session &session, const CtlOptions &options, QTextStream &out, QTextStream &err)
{
    const auto found = ctlCommands().find(options.command);
    if (found == ctlCommands().end()) {
        err << "keldor-ctl: unknown command " << options.command << "\n\n" << ctlHelp();
        return ExitUsage;
    }
    const CtlCommand &command = found->second;
    const auto count = options.arguments.size();
    QString problem;
    if (count < command.minArguments || count > command.maxArguments)
        problem = QStringLiteral("wrong number of arguments for %1").arg(options.command);
    else if (command.check)
        problem = command.check(options.arguments);
    TerminalFilter filter(out);
    QTextStream filtered(&filter);
    const auto refuse = [&](const QString &reason) {
        err << "keldor-ctl: " << reason << "\n\n" << ctlHelp();
        return command.failed ? command.failed(options.arguments, "keldor-ctl: " + reason, filtered)
                              : ExitUsage;
    };
    if (!problem.isEmpty())
        return refuse(problem);
    const bool filesAlone = worksOnFilesAlone(options.command, options.arguments);
    if (!filesAlone && !options.linkChosen)
        return refuse(missingLinkText());
    if (!filesAlone && !openSession(session, options)) {
        const QString message = lastConsoleMessage(session.ui);
        return command.failed
                   ? command.failed(options.arguments,
                                    message.isEmpty() ? "no headend answered" : message, filtered)
                   : ExitFailure;
    }
    const int result = command.run(session, options.arguments, filtered);
    filtered.flush();
    if (!filesAlone)
        closeSession(session);
    return result;
}

int runCtl(const QStringList &arguments, QTextStream &out, QTextStream &err, const Timing &timing)
{
    if (const auto help = requestedHelp(arguments)) {
        out << *help;
        out.flush();
        return ExitSuccess;
    }
    if (checkVersionRequested(arguments)) {
        out << "keldor-ctl " << KELDOR_VERSION_MAJOR << '.' << KELDOR_VERSION_MINOR << '.'
            << KELDOR_VERSION_PATCH << '\n';
        out.flush();
        return int(HealthStatus::Unknown);
    }
    // A fleet names its headends itself, so it comes before any link option.
    if (arguments.value(0) == QLatin1String("fleet")) {
        const int result = runFleetCommand(arguments.mid(1), out, err, timing);
        out.flush();
        err.flush();
        return result;
    }
    const auto parsed = parseCtlOptions(arguments);
    if (const auto *problem = std::get_if<QString>(&parsed)) {
        err << "keldor-ctl: " << *problem << "\n\n" << ctlHelp();
        // A monitoring system that runs a plugin with a broken command line still needs its
        // status line; the command is named somewhere among the words.
        for (const QString &word : arguments) {
            const auto found = ctlCommands().find(word);
            if (found != ctlCommands().end() && found->second.failed) {
                TerminalFilter filter(out);
                QTextStream filtered(&filter);
                return found->second.failed({}, "keldor-ctl: " + *problem, filtered);
            }
        }
        return ExitUsage;
    }
    const auto &options = std::get<CtlOptions>(parsed);
    ConsoleUi ui(err, options.verbose);
    Session session(ui, timing);
    QFile traceFile;
    std::optional<TrafficTrace> trace;
    if (!options.traceFile.isEmpty()) {
        // As save and report do: an existing file is replaced only when the command line says so.
        const QFileInfo existing(options.traceFile);
        if (!options.overwriteTrace && (existing.exists() || existing.isSymLink())) {
            err << "keldor-ctl: " << terminalText(options.traceFile)
                << " exists; add --overwrite to replace it\n";
            return ExitUsage;
        }
        if (const QString problem = createPrivateFile(
                traceFile, options.traceFile,
                options.overwriteTrace ? ExistingFile::Replace : ExistingFile::Refuse);
            !problem.isEmpty()) {
            err << "keldor-ctl: cannot write the trace " << terminalText(options.traceFile) << ": "
                << problem << '\n';
            return ExitFailure;
        }
        trace.emplace(session);
        trace->writeTo(&traceFile);
    }
    int result = runCtlCommand(session, options, out, err);
    if (options.verbose && session.exchange.repeats() > 0)
        err << "Reads asked again after a lost answer: " << session.exchange.repeats() << '\n';
    if (trace) {
        trace->finish();
        // A trace that lacks lines would send support after a fault that isn't there.
        if (trace->writeFailed()) {
            err << "keldor-ctl: the trace " << terminalText(options.traceFile)
                << " is incomplete: " << traceFile.errorString() << '\n';
            result = result == 0 ? ExitFailure : result;
        }
    }
    out.flush();
    err.flush();
    return result;
}

} // namespace keldor
