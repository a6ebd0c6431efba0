#pragma once

#include <QString>
#include <QStringList>

namespace keldor {

// Where the kernel describes its serial ports. Tests point this at a fake tree.
struct DeviceTree {
    QString sysfsRoot = QStringLiteral("/sys");
    QString devRoot = QStringLiteral("/dev");
};

// The serial ports that sit on a USB device, as device paths, in a stable order
// (natural order of the kernel names: ttyACM2 before ttyACM10).
QStringList listUsbSerialPorts(const DeviceTree &tree = {});

} // namespace keldor
