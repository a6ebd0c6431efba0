// Adds one headend to the directory of a program folder, creating the directory first when
// needed. The demo uses it to hand the station a ready entry for the simulated headend.
#include "core/features/directory/directoryfile.h"
#include "core/features/directory/headenddirectory.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: keldor-directory-add FOLDER NAME LOCATION IP PORT\n");
        return 2;
    }
    const QString folder = args.at(0);
    QString error;
    if (!keldor::directoryFileExists(keldor::directoryPath(folder)) &&
        !keldor::createDirectoryFile(folder, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    keldor::HeadendDirectory directory;
    const keldor::HeadendEntry entry{args.at(1), args.at(2), args.at(3), args.at(4)};
    if (!directory.open(folder) || !directory.update(directory.appendEmpty(), entry)) {
        std::fprintf(stderr, "%s\n", qPrintable(directory.lastError()));
        return 1;
    }
    return 0;
}
