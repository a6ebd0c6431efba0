#include "ctlcommands.h"

#include "consoleui.h"
#include "ctlcommand.h"
#include "link/session.h"

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
    if (!problem.isEmpty()) {
        err << "keldor-ctl: " << problem << "\n\n" << ctlHelp();
        return ExitUsage;
    }

    const bool filesAlone = worksOnFilesAlone(options.command, options.arguments);
    if (!filesAlone && !options.linkChosen) {
        err << "keldor-ctl: " << missingLinkText() << "\n\n" << ctlHelp();
        return ExitUsage;
    }
    if (!filesAlone && !openSession(session, options))
        return ExitFailure;
    TerminalFilter filter(out);
    QTextStream filtered(&filter);
    const int result = command.run(session, options.arguments, filtered);
    filtered.flush();
    if (!filesAlone)
        closeSession(session);
    return result;
}

int runCtl(const QStringList &arguments, QTextStream &out, QTextStream &err, const Timing &timing)
{
    const auto parsed = parseCtlOptions(arguments);
    if (const auto *problem = std::get_if<QString>(&parsed)) {
        err << "keldor-ctl: " << *problem << "\n\n" << ctlHelp();
        return ExitUsage;
    }
    const auto &options = std::get<CtlOptions>(parsed);
    ConsoleUi ui(err, options.verbose);
    Session session(ui, timing);
    const int result = runCtlCommand(session, options, out, err);
    out.flush();
    err.flush();
    return result;
}

} // namespace keldor
