#include "ctlcommands.h"

#include "consoleui.h"
#include "core/common/fileaccess.h"
#include "core/features/health/health.h"
#include "core/features/traffic/traffictrace.h"
#include "core/protocol/parameters.h"
#include "core/protocol/session.h"
#include "ctlcommand.h"
#include "ctlcommandline.h"
#include "ctlcompletion.h"
#include "ctldescription.h"
#include "fleet.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

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
        endSession(session.exchange);
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
                          "or --usb (keldor-ctl --help).\n") +
           optionListOf(command);
}

QString versionText()
{
    return QStringLiteral("keldor-ctl %1.%2.%3 (Qt %4)\n")
        .arg(KELDOR_VERSION_MAJOR)
        .arg(KELDOR_VERSION_MINOR)
        .arg(KELDOR_VERSION_PATCH)
        .arg(QLatin1String(qVersion()));
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

QString otherChannelCountHint(const QString &text, bool channelByte)
{
    if (channelByte && parseCode(text, 16) == 16)
        return QStringLiteral("; get and set count channels from 0, so channel 16 on screen is 15");
    if (!channelByte && parseCode(text, 0))
        return QStringLiteral("; channels count from 1 as on screen (0 is the first channel's byte "
                              "in get and set)");
    return {};
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

namespace {

// Where a failure came from, for the JSON object that ends a failed run with --json.
struct Failure {
    QString stage;
    QString error;
};

int runCommand(Session &session, const CtlOptions &options, QTextStream &out, QTextStream &err,
               Failure &failure)
{
    const auto found = ctlCommands().find(options.command);
    if (found == ctlCommands().end()) {
        QStringList names{QStringLiteral("fleet")};
        for (const auto &[name, command] : ctlCommands())
            names.append(name);
        const QString hint = closestNameHint(options.command, names);
        failure = {QStringLiteral("usage"), "unknown command " + options.command};
        err << usageErrorText({}, failure.error + (hint.isEmpty() ? hint : '\n' + hint));
        return ExitUsage;
    }
    const CtlCommand &command = found->second;
    const CheckedWords checked = checkCommandWords(options.command, options.arguments);
    const QStringList &arguments = checked.words;
    const auto count = arguments.size();
    QString problem = checked.problem;
    if (problem.isEmpty() && (count < command.minArguments || count > command.maxArguments))
        problem = QStringLiteral("wrong number of arguments for %1").arg(options.command);
    else if (problem.isEmpty() && command.check)
        problem = command.check(arguments);
    TerminalFilter filter(out);
    QTextStream filtered(&filter);
    const auto refuse = [&](const QString &reason) {
        failure = {QStringLiteral("usage"), reason};
        err << usageErrorText(options.command, reason);
        return command.failed ? command.failed(arguments, "keldor-ctl: " + reason, filtered)
                              : ExitUsage;
    };
    if (!problem.isEmpty())
        return refuse(problem);
    const bool filesAlone = worksOnFilesAlone(options.command, arguments);
    if (!filesAlone && !options.linkChosen)
        return refuse(missingLinkText());
    OperationDeadline &deadline = session.exchange.deadline();
    if (const auto limit = command.deadline ? command.deadline(arguments) : std::nullopt)
        deadline.start(*limit);
    if (!filesAlone && !openSession(session, options)) {
        const QString message =
            deadline.hasExpired() ? deadline.timedOutText() : lastConsoleMessage(session.ui);
        failure.stage = deadline.hasExpired() ? deadline.stage() : QStringLiteral("link");
        return command.failed
                   ? command.failed(arguments, message.isEmpty() ? "no headend answered" : message,
                                    filtered)
                   : ExitFailure;
    }
    failure.stage = options.command;
    const int result = command.run(session, arguments, filtered);
    filtered.flush();
    if (!filesAlone)
        closeSession(session);
    return result;
}

// A failure of a run with --json ends with one JSON object on stderr, so a script reads one
// format; the differences diff finds are no failure.
void reportJsonFailure(const QStringList &arguments, int status, const Failure &failure,
                       const QString &lastLine, QTextStream &err)
{
    if (status == ExitSuccess || status == ExitDifferent ||
        !arguments.contains(QLatin1String("--json")))
        return;
    QString error = failure.error.isEmpty() ? lastLine : failure.error.section('\n', 0, 0);
    if (error.startsWith(QLatin1String("keldor-ctl: ")))
        error = error.mid(12);
    const QJsonObject object{
        {QStringLiteral("error"), error.isEmpty() ? QStringLiteral("failed") : error},
        {QStringLiteral("exit"), status},
        {QStringLiteral("stage"), status == ExitUsage ? QStringLiteral("usage") : failure.stage}};
    err << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
}

int runCtlLine(const QStringList &arguments, QTextStream &out, QTextStream &err,
               const Timing &timing, Failure &failure)
{
    // A fleet names its headends itself, so it comes before any link option.
    if (arguments.value(0) == QLatin1String("fleet")) {
        failure.stage = QStringLiteral("fleet");
        const int result = runFleetCommand(arguments.mid(1), out, err, timing);
        if (result == ExitFailure)
            failure.error = QStringLiteral("not every headend succeeded");
        return result;
    }
    const CheckedWords linkWords = checkLinkWords(arguments);
    if (linkWords.words.value(commandIndex(linkWords.words)).isEmpty() &&
        linkWords.words.contains(QLatin1String("--version"))) {
        out << versionText();
        return ExitSuccess;
    }
    const auto parsed = linkWords.problem.isEmpty()
                            ? parseCtlOptions(linkWords.words)
                            : std::variant<CtlOptions, QString>(linkWords.problem);
    if (const auto *problem = std::get_if<QString>(&parsed)) {
        failure = {QStringLiteral("usage"), *problem};
        err << usageErrorText({}, *problem);
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
    CtlOptions options = std::get<CtlOptions>(parsed);
    QTemporaryDir storedVersions;
    if (options.command == QLatin1String("diff") || options.command == QLatin1String("load")) {
        if (const QString problem = takeStoredVersions(options.arguments, storedVersions);
            !problem.isEmpty()) {
            failure = {QStringLiteral("usage"), problem};
            err << usageErrorText(options.command, terminalText(problem));
            return ExitUsage;
        }
    }
    ConsoleUi ui(err, options.verbose);
    Session session(ui, timing);
    QFile traceFile;
    std::optional<TrafficTrace> trace;
    if (!options.traceFile.isEmpty()) {
        failure.stage = QStringLiteral("trace");
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
    int result = runCommand(session, options, out, err, failure);
    if (options.verbose && session.exchange.repeats() > 0)
        err << "Reads asked again after a lost answer: " << session.exchange.repeats() << '\n';
    if (trace) {
        trace->finish();
        // A trace that lacks lines would send support after a fault that isn't there.
        if (trace->writeFailed()) {
            failure.stage = QStringLiteral("trace");
            err << "keldor-ctl: the trace " << terminalText(options.traceFile)
                << " is incomplete: " << traceFile.errorString() << '\n';
            result = result == 0 ? ExitFailure : result;
        }
    }
    return result;
}

} // namespace

int runCtlCommand(Session &session, const CtlOptions &options, QTextStream &out, QTextStream &err)
{
    Failure failure;
    return runCommand(session, options, out, err, failure);
}

int runCtl(const QStringList &arguments, QTextStream &out, QTextStream &err, const Timing &timing)
{
    if (arguments.value(0) == QLatin1String("__complete")) {
        for (const QString &candidate :
             completeCommandLine(arguments.mid(2), arguments.value(1).toInt() - 1))
            out << candidate << '\n';
        out.flush();
        return ExitSuccess;
    }
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
    LastLineKeeper keeper(err);
    QTextStream kept(&keeper);
    Failure failure;
    const int result = runCtlLine(arguments, out, kept, timing, failure);
    reportJsonFailure(arguments, result, failure, keeper.lastLine(), kept);
    kept.flush();
    out.flush();
    err.flush();
    return result;
}

} // namespace keldor
