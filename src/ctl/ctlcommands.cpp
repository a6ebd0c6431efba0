#include "ctlcommands.h"

#include "consoleui.h"
#include "ctlcommand.h"
#include "link/session.h"

namespace keldor {

namespace {

bool open_session(Session &session, const CtlOptions &options)
{
    switch (options.link) {
    case CtlOptions::Link::Lan: {
        session.exchange.setSerialSelected(false);
        LanTarget target;
        target.name = options.host + QLatin1Char(':') + options.port;
        target.ip = options.host;
        target.port = options.port;
        target.proxy_use = options.useProxy ? 1 : 0;
        target.proxy_ip = options.proxyHost;
        target.proxy_port = options.proxyPort;
        return lan_connect(session, target);
    }
    case CtlOptions::Link::Serial:
        session.usbPorts = [device = options.serialDevice] {
            return QStringList{device};
        };
        [[fallthrough]];
    case CtlOptions::Link::Usb:
        session.exchange.setSerialSelected(true);
        return check_device_present(session);
    }
    return false;
}

void close_session(Session &session)
{
    if (session.serial.isOpen()) {
        session.exchange.com_end();
        session.serial.close();
    }
    session.lan.close();
}

} // namespace

std::optional<int> parse_code(const QString &text, int highest)
{
    bool ok = false;
    const int value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                          ? text.mid(2).toInt(&ok, 16)
                          : text.toInt(&ok, 10);
    if (!ok || value < 0 || value > highest)
        return std::nullopt;
    return value;
}

QString ctl_help()
{
    QString help = ctl_usage();
    for (const auto &[name, command] : ctl_commands())
        help += QStringLiteral("  ") + command.usage + QLatin1Char('\n');
    help += QStringLiteral("\nCHANNEL in get and set is the channel byte of the request (0..15, "
                           "0 for device values);\nCODE and SUB are decimal or 0x-hexadecimal.\n"
                           "exit status: 0 success, 1 link or headend failure, 2 usage error\n");
    return help;
}

int run_ctl_command(Session &session, const CtlOptions &options, QTextStream &out, QTextStream &err)
{
    const auto found = ctl_commands().find(options.command);
    if (found == ctl_commands().end()) {
        err << "keldor-ctl: unknown command " << options.command << "\n\n" << ctl_help();
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
        err << "keldor-ctl: " << problem << "\n\n" << ctl_help();
        return ExitUsage;
    }

    if (!open_session(session, options))
        return ExitFailure;
    TerminalFilter filter(out);
    QTextStream filtered(&filter);
    const int result = command.run(session, options.arguments, filtered);
    filtered.flush();
    close_session(session);
    return result;
}

int run_ctl(const QStringList &arguments, QTextStream &out, QTextStream &err, const Timing &timing)
{
    const auto parsed = parse_ctl_options(arguments);
    if (const auto *problem = std::get_if<QString>(&parsed)) {
        err << "keldor-ctl: " << *problem << "\n\n" << ctl_help();
        return ExitUsage;
    }
    const auto &options = std::get<CtlOptions>(parsed);
    ConsoleUi ui(err, options.verbose);
    Session session(ui, timing);
    const int result = run_ctl_command(session, options, out, err);
    out.flush();
    err.flush();
    return result;
}

} // namespace keldor
