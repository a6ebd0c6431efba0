#include "core/link/seriallink.h"

#include "core/link/linklog.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace keldor {

SerialLink::SerialLink(QObject *parent)
    : Link(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::readAvailable);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::handleError);
}

bool SerialLink::open(const QString &portName)
{
    close();
    m_portName = portName;
    m_port.setPortName(portName);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(inputBufferSize);
    if (!m_port.open(QIODevice::ReadWrite)) {
        qCDebug(linkLog) << "cannot open" << portName << m_port.errorString();
        emit stateChanged();
        return false;
    }
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
    // The driver counts from its own start: only what changes from here on is this session's.
    m_lossCounts = m_lossReader(m_port.handle());
    qCDebug(linkLog) << "opened" << portName;
    emit stateChanged();
    return true;
}

void SerialLink::close()
{
    if (m_port.isOpen()) {
        m_port.close();
        emit stateChanged();
    }
}

bool SerialLink::isOpen() const
{
    return m_port.isOpen();
}

bool SerialLink::write(const QByteArray &bytes)
{
    if (!m_port.isOpen() || m_port.write(bytes) != bytes.size())
        return false;
    emit sent(bytes);
    return true;
}

bool SerialLink::portUsable(const QString &portName)
{
    if (portName.isEmpty() || !QFileInfo::exists(portName))
        return false;
    QSerialPort probe(portName);
    if (!probe.open(QIODevice::ReadWrite))
        return false;
    probe.close();
    return true;
}

QString SerialLink::permissionProblem(const QString &portName)
{
    const QByteArray path = QFile::encodeName(portName);
    struct stat status = {};
    // Only the file's own rights count: a port another program holds looks refused to
    // QSerialPort as well, and no group would help there.
    if (::stat(path.constData(), &status) != 0 ||
        ::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES)
        return {};
    const struct group *owner = ::getgrgid(status.st_gid);
    const QString group =
        owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(status.st_gid);
    return QStringLiteral("No permission to open the serial port %1.\r\n"
                          "It belongs to the group \"%2\"; add your user to that group with\r\n"
                          "sudo usermod -aG %2 $USER\r\n"
                          "then log out and log in again.")
        .arg(portName, group);
}

void SerialLink::readAvailable()
{
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
    checkInputLoss();
}

std::optional<InputLossCounts> SerialLink::driverInputLoss(int descriptor)
{
    serial_icounter_struct counts = {};
    if (descriptor < 0 || ::ioctl(descriptor, TIOCGICOUNT, &counts) != 0)
        return std::nullopt;
    return InputLossCounts{counts.overrun, counts.buf_overrun};
}

void SerialLink::checkInputLoss()
{
    if (!m_port.isOpen())
        return;
    const std::optional<InputLossCounts> now = m_lossReader(m_port.handle());
    if (!now)
        return;
    const std::optional<InputLossCounts> before = std::exchange(m_lossCounts, now);
    // The first counts that can be read are where this session starts counting.
    if (!before)
        return;
    if (now->overrun != before->overrun)
        emit inputLost(InputLoss::Overrun);
    if (now->bufferOverrun != before->bufferOverrun)
        emit inputLost(InputLoss::BufferOverflow);
}

void SerialLink::handleError(QSerialPort::SerialPortError error)
{
    // An unplugged adapter shows up as a resource error; the port is useless from then on,
    // and closing it lets a waiting exchange end at once instead of running into its limit.
    if (error == QSerialPort::ResourceError && m_port.isOpen()) {
        qCDebug(linkLog) << "lost" << m_portName << m_port.errorString();
        m_port.close();
        emit stateChanged();
    }
}

} // namespace keldor
