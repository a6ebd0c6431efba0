#include "core/link/usbports.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace keldor {

namespace {

// A tty belongs to USB when one of the devices above it in the kernel's device hierarchy
// is on the usb bus.
bool onUsbBus(const QString &deviceLink, const QString &sysfsRoot)
{
    const QString device = QFileInfo(deviceLink).canonicalFilePath();
    const QString root = QFileInfo(sysfsRoot).canonicalFilePath();
    if (device.isEmpty() || root.isEmpty())
        return false;
    for (QDir dir(device); dir.absolutePath().startsWith(root) && dir.absolutePath() != root;) {
        const QFileInfo subsystem(dir.filePath(QStringLiteral("subsystem")));
        if (subsystem.isSymLink() && QFileInfo(subsystem.symLinkTarget()).fileName() == "usb")
            return true;
        if (!dir.cdUp())
            break;
    }
    return false;
}

// ttyACM2 before ttyACM10: the name without its trailing number first, then the number.
bool naturalLess(const QString &a, const QString &b)
{
    const auto split = [](const QString &name) {
        qsizetype digits = name.size();
        while (digits > 0 && name.at(digits - 1).isDigit())
            --digits;
        return std::pair(name.left(digits), name.mid(digits).toULongLong());
    };
    return split(a) < split(b);
}

} // namespace

QStringList listUsbSerialPorts(const DeviceTree &tree)
{
    const QDir ttyClass(tree.sysfsRoot + QStringLiteral("/class/tty"));
    QStringList names;
    for (const QString &name :
         ttyClass.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (onUsbBus(ttyClass.filePath(name + QStringLiteral("/device")), tree.sysfsRoot))
            names.append(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    QStringList ports;
    for (const QString &name : names)
        ports.append(tree.devRoot + QLatin1Char('/') + name);
    return ports;
}

} // namespace keldor
