#include "ctloptions.h"

namespace keldor {

namespace {

std::optional<std::pair<QString, QString>> hostAndPort(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == text.size() - 1)
        return std::nullopt;
    return std::pair(text.left(colon), text.mid(colon + 1));
}

} // namespace

QString ctlUsage()
{
    return QStringLiteral(
        "usage: keldor-ctl [--lan HOST:PORT [--proxy HOST:PORT] | --serial DEVICE | --usb]\n"
        "                  [--verbose] [--trace FILE [--overwrite]] COMMAND [ARGUMENTS]\n"
        "       keldor-ctl [COMMAND] --help\n"
        "       keldor-ctl --version\n"
        "\n"
        "commands:\n");
}

QString missingLinkText()
{
    return QStringLiteral("choose a link: --lan HOST:PORT, --serial DEVICE or --usb");
}

std::variant<CtlOptions, QString> parseCtlOptions(const QStringList &arguments)
{
    CtlOptions options;
    bool linkGiven = false;
    const auto chooseLink = [&](CtlOptions::Link link) -> bool {
        if (linkGiven)
            return false;
        linkGiven = true;
        options.link = link;
        return true;
    };

    qsizetype i = 0;
    for (; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (!arg.startsWith(QLatin1String("--")))
            break;
        // An option in the value's place means the value was left out; taken as the value,
        // "--serial --usb" would open a device named "--usb".
        const bool hasValue =
            i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--"));
        if (arg == QLatin1String("--verbose")) {
            options.verbose = true;
        } else if (arg == QLatin1String("--trace") && hasValue) {
            options.traceFile = arguments.at(++i);
        } else if (arg == QLatin1String("--overwrite")) {
            options.overwriteTrace = true;
        } else if (arg == QLatin1String("--usb")) {
            if (!chooseLink(CtlOptions::Link::Usb))
                return QStringLiteral("choose one of --lan, --serial and --usb");
        } else if (arg == QLatin1String("--serial") && hasValue) {
            if (!chooseLink(CtlOptions::Link::Serial))
                return QStringLiteral("choose one of --lan, --serial and --usb");
            options.serialDevice = arguments.at(++i);
        } else if (arg == QLatin1String("--lan") && hasValue) {
            if (!chooseLink(CtlOptions::Link::Lan))
                return QStringLiteral("choose one of --lan, --serial and --usb");
            const auto target = hostAndPort(arguments.at(++i));
            if (!target)
                return QStringLiteral("--lan needs HOST:PORT");
            std::tie(options.host, options.port) = *target;
        } else if (arg == QLatin1String("--proxy") && hasValue) {
            const auto proxy = hostAndPort(arguments.at(++i));
            if (!proxy)
                return QStringLiteral("--proxy needs HOST:PORT");
            options.useProxy = true;
            std::tie(options.proxyHost, options.proxyPort) = *proxy;
        } else {
            return QStringLiteral("unknown or incomplete option %1").arg(arg);
        }
    }
    options.linkChosen = linkGiven;
    if (options.useProxy && options.link != CtlOptions::Link::Lan)
        return QStringLiteral("--proxy goes with --lan");
    if (options.overwriteTrace && options.traceFile.isEmpty())
        return QStringLiteral("--overwrite before the command goes with --trace");
    if (i >= arguments.size())
        return QStringLiteral("no command given");
    options.command = arguments.at(i);
    options.arguments = arguments.mid(i + 1);
    return options;
}

} // namespace keldor
