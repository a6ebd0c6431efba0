#include "ctlcommands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same per-user folders as the desktop program: backups land beside its own.
    QCoreApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QCoreApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return keldor::runCtl(app.arguments().mid(1), out, err);
}
