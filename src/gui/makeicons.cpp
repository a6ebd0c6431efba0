// Writes the program's three icons as .ico files into the folder given on the command line, so
// that a copy of the program carries them beside itself, and, given a theme folder, the
// satellite as the application icon at the sizes desktops look for. Drawn rather than shipped
// so that every picture in the program is our own.
#include "gui/ui/programicons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

namespace {

bool write(const QString &path, const QImage &image, const QByteArray &format)
{
    QImageWriter writer(path, format);
    if (writer.write(image))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
    return false;
}

bool writeIcons(const QString &folder)
{
    for (const QString name : {"sat.ico", "check.ico", "cross.ico"}) {
        if (!write(folder + QLatin1Char('/') + name, keldor::paintedIcon(name), "ico"))
            return false;
    }
    return true;
}

bool writeThemeIcons(const QString &themeFolder)
{
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(themeFolder).arg(size);
        if (!QDir().mkpath(folder) ||
            !write(folder + QStringLiteral("/keldor-station.png"),
                   keldor::paintedIcon(QStringLiteral("sat.ico"), size), "png"))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: keldor-make-icons FOLDER [THEME-FOLDER]\n");
        return 2;
    }
    const bool ok = writeIcons(QString::fromLocal8Bit(argv[1])) &&
                    (argc == 2 || writeThemeIcons(QString::fromLocal8Bit(argv[2])));
    return ok ? 0 : 1;
}
