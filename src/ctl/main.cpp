#include "ctlcommand.h"
#include "ctlcommands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same per-user folders as the desktop program: backups land beside its own.
    QCoreApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QCoreApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (isatty(STDIN_FILENO)) {
        keldor::setTerminalQuestion([&err](const QString &question) -> std::optional<bool> {
            err << question << ' ' << Qt::flush;
            const QString answer = QTextStream(stdin).readLine().trimmed().toLower();
            return answer == QLatin1String("y") || answer == QLatin1String("yes");
        });
    }
    return keldor::runCtl(app.arguments().mid(1), out, err);
}
