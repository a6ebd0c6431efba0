#include "link/usbports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

// Builds the part of a sysfs tree that port discovery looks at.
class FakeSysfs {
public:
    FakeSysfs()
    {
        mkdir("bus/usb");
        mkdir("bus/usb-serial");
        mkdir("bus/platform");
        mkdir("bus/pci");
        mkdir("class/tty");
    }

    QString root() const { return m_dir.path(); }

    void mkdir(const QString &path) { QDir(m_dir.path()).mkpath(path); }
    void link(const QString &target, const QString &at)
    {
        QVERIFY(QFile::link(target, m_dir.filePath(at)));
    }
    void bus(const QString &device, const QString &busName)
    {
        mkdir(device);
        const int depth = static_cast<int>(device.count(QLatin1Char('/'))) + 1;
        link(QStringLiteral("../").repeated(depth) + "bus/" + busName, device + "/subsystem");
    }
    // A tty whose parent device is the given device path.
    void tty(const QString &name, const QString &parent)
    {
        const QString node = parent + "/tty/" + name;
        mkdir(node);
        link("../../../" + parent.section(QLatin1Char('/'), -1), node + "/device");
        link("../../" + node, "class/tty/" + name);
    }

private:
    QTemporaryDir m_dir;
};

class TestUsbPorts : public QObject {
    Q_OBJECT

private slots:
    void onlyUsbPortsInNaturalOrder()
    {
        FakeSysfs sys;
        const QString hub = "devices/pci0000:00/0000:00:14.0/usb1";
        sys.bus("devices/pci0000:00/0000:00:14.0", "pci");
        sys.bus(hub + "/1-2", "usb");
        sys.bus(hub + "/1-2/1-2:1.0", "usb");
        sys.bus(hub + "/1-3", "usb");
        sys.bus(hub + "/1-3/1-3:1.0", "usb");
        sys.bus(hub + "/1-4", "usb");
        sys.bus(hub + "/1-4/1-4:1.0", "usb");
        // A USB-serial converter: the tty sits below a usb-serial device below the interface.
        sys.bus(hub + "/1-4/1-4:1.0/ttyUSB0", "usb-serial");
        sys.bus("devices/platform/serial8250", "platform");

        sys.tty("ttyACM10", hub + "/1-2/1-2:1.0");
        sys.tty("ttyACM2", hub + "/1-3/1-3:1.0");
        sys.tty("ttyUSB0", hub + "/1-4/1-4:1.0/ttyUSB0");
        sys.tty("ttyS0", "devices/platform/serial8250");
        sys.mkdir("devices/virtual/tty/tty0");
        sys.link("../../devices/virtual/tty/tty0", "class/tty/tty0");

        const QStringList ports = list_usb_serial_ports({sys.root(), "/dev"});
        QCOMPARE(ports, (QStringList{"/dev/ttyACM2", "/dev/ttyACM10", "/dev/ttyUSB0"}));
    }

    void missingTreeGivesNoPorts()
    {
        QCOMPARE(list_usb_serial_ports({"/nonexistent/sysfs", "/dev"}), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestUsbPorts)
#include "tst_usbports.moc"
