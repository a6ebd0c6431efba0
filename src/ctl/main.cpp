#include "consoleui.h"
#include "ctlcommand.h"
#include "ctlcommands.h"
#include "ctloptions.h"
#include "link/session.h"

#include <QCoreApplication>

#include <cstdio>

using namespace keldor;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same per-user folders as the desktop program: backups land beside its own.
    QCoreApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QCoreApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const auto parsed = parse_ctl_options(app.arguments().mid(1));
    if (const auto *problem = std::get_if<QString>(&parsed)) {
        err << "keldor-ctl: " << *problem << "\n\n" << ctl_help();
        return ExitUsage;
    }
    const auto &options = std::get<CtlOptions>(parsed);
    ConsoleUi ui(options.verbose);
    Session session(ui);
    const int result = run_ctl_command(session, options, out, err);
    out.flush();
    return result;
}
