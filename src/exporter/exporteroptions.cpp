#include "exporteroptions.h"

#include <QtGlobal>

namespace keldor {

namespace {

// A day between two reads of one headend is already more than any scrape would want.
constexpr int longestInterval = 86400;

// HOST:PORT with HOST an address, never a name: a name would need a lookup before the
// exporter even listens. An IPv6 address stands in brackets.
bool parseListen(const QString &text, ExporterOptions &options)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok, 10);
    QHostAddress address;
    if (!ok || port == 0 || port > 65535 || !address.setAddress(host))
        return false;
    options.address = address;
    options.port = quint16(port);
    return true;
}

} // namespace

std::variant<ExporterOptions, QString> parseExporterOptions(const QStringList &arguments)
{
    ExporterOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        if (option == QLatin1String("--help")) {
            options.help = true;
            continue;
        }
        if (option == QLatin1String("--version")) {
            options.version = true;
            continue;
        }
        const bool valued =
            option == QLatin1String("--listen") || option == QLatin1String("--list") ||
            option == QLatin1String("--directory") || option == QLatin1String("--min-interval");
        if (!valued)
            return QStringLiteral("unknown option %1").arg(option);
        if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
            return QStringLiteral("%1 needs a value").arg(option);
        const QString &value = arguments.at(++i);
        if (option == QLatin1String("--listen")) {
            if (!parseListen(value, options))
                return QStringLiteral("--listen needs ADDRESS:PORT, such as 127.0.0.1:9745");
        } else if (option == QLatin1String("--min-interval")) {
            bool ok = false;
            const int seconds = value.toInt(&ok, 10);
            if (!ok || seconds < 0 || seconds > longestInterval)
                return QStringLiteral("--min-interval needs seconds, 0..%1").arg(longestInterval);
            options.minInterval = std::chrono::seconds(seconds);
        } else {
            (option == QLatin1String("--list") ? options.list : options.directory) = value;
        }
    }
    if (!options.list.isEmpty() && !options.directory.isEmpty())
        return QStringLiteral("choose one of --directory and --list");
    return options;
}

QString exporterHelp()
{
    return QStringLiteral(
        "usage: keldor-exporter [--listen ADDRESS:PORT] [--list FILE | --directory FILE]\n"
        "                       [--min-interval SECONDS]\n"
        "Serves the health of KELDOR headends to Prometheus.\n\n"
        "  --listen ADDRESS:PORT   where to listen (127.0.0.1:9745); it has no login of its\n"
        "                          own: put a reverse proxy in front before listening elsewhere\n"
        "  --list FILE             the headends, one \"NAME HOST:PORT [PROXY_HOST:PORT]\" a line\n"
        "  --directory FILE        the headends of a directory file (default: the station's)\n"
        "  --min-interval SECONDS  a reading younger than this answers a probe without\n"
        "                          dialling again (30; 0 dials for every probe)\n"
        "  --help                  this text\n"
        "  --version               the version\n\n"
        "GET /probe?target=NAME[&module=inventory]   the headend's figures, read now\n"
        "GET /metrics                                the exporter's own figures\n"
        "GET /                                       the targets, each linked to its probe\n");
}

QString exporterVersion()
{
    return QStringLiteral("keldor-exporter %1.%2.%3 (Qt %4)")
        .arg(KELDOR_VERSION_MAJOR)
        .arg(KELDOR_VERSION_MINOR)
        .arg(KELDOR_VERSION_PATCH)
        .arg(QLatin1String(qVersion()));
}

} // namespace keldor
