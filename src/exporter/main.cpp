#include "core/features/shell/programfolder.h"
#include "exporteroptions.h"
#include "exporterserver.h"
#include "probeservice.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace keldor;
    QCoreApplication app(argc, argv);
    // The station's per-user folders, so its directory is the default fleet.
    QCoreApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QCoreApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto parsed = parseExporterOptions(app.arguments().mid(1));
    if (const auto *problem = std::get_if<QString>(&parsed)) {
        err << "keldor-exporter: " << *problem << "\n\n" << exporterHelp();
        return 2;
    }
    const ExporterOptions &options = std::get<ExporterOptions>(parsed);
    if (options.help || options.version) {
        out << (options.help ? exporterHelp() : exporterVersion() + QLatin1Char('\n'));
        return 0;
    }
    const FleetMembers members =
        options.list.isEmpty()
            ? readStationDirectory(options.directory.isEmpty()
                                       ? programFile(QStringLiteral("headend.mdb"))
                                       : options.directory)
            : readFleetList(options.list);
    if (const auto *problem = std::get_if<QString>(&members)) {
        err << "keldor-exporter: " << *problem << '\n';
        return 1;
    }
    // Up to 256 headends are probed at once, each with a socket of its own.
    jobsWithinFileLimit(256);
    ProbeService probes(std::get<QList<FleetMember>>(members), Timing{}, options.minInterval);
    ExporterServer server(probes);
    const quint16 port = server.listen(options.address, options.port);
    if (port == 0) {
        err << "keldor-exporter: can't listen on " << options.address.toString() << ':'
            << options.port << '\n';
        return 1;
    }
    err << "keldor-exporter: " << probes.members().size() << " headends, listening on "
        << options.address.toString() << ':' << port << Qt::endl;
    return app.exec();
}
