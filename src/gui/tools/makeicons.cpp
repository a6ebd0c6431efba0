// Writes the program's three icons as .ico files into the folder given on the command line, so
// that a copy of the program carries them beside itself. Drawn rather than shipped so that every
// picture in the program is our own.
#include "ui/programicons.h"

#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

namespace {

bool write(const QString &folder, const QString &name)
{
    QImageWriter writer(folder + QLatin1Char('/') + name, "ico");
    if (writer.write(keldor::paintedIcon(name)))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(writer.errorString()));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: keldor-make-icons FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool ok = write(folder, QStringLiteral("sat.ico")) &&
                    write(folder, QStringLiteral("check.ico")) &&
                    write(folder, QStringLiteral("cross.ico"));
    return ok ? 0 : 1;
}
