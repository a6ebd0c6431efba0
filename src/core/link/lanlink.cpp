#include "core/link/lanlink.h"

#include "core/link/linklog.h"

#include <QHostAddress>

#include <cstdio>
#include <cstdlib>

namespace keldor {

namespace {

// A literal loopback address, or the name that never leaves the machine. Any other name would
// need a lookup, and that is a packet too.
bool staysOnThisMachine(const QString &host)
{
    if (host.isEmpty() || host == QLatin1String("localhost"))
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

LanLink::DialHook &dialHook()
{
    static LanLink::DialHook hook = [] {
        LanLink::DialHook loopbackOnly;
        if (qEnvironmentVariableIntValue("KELDOR_LOOPBACK_ONLY") == 1) {
            loopbackOnly = [](const QString &host) {
                if (staysOnThisMachine(host))
                    return;
                std::fprintf(stderr, "KELDOR_LOOPBACK_ONLY: refused to reach \"%s\"\n",
                             qPrintable(host));
                std::abort();
            };
        }
        return loopbackOnly;
    }();
    return hook;
}

} // namespace

void LanLink::setDialHook(DialHook hook)
{
    dialHook() = std::move(hook);
}

void LanLink::announceDial(const QString &host)
{
    if (const DialHook &hook = dialHook())
        hook(host);
}

LanLink::LanLink(QObject *parent)
    : Link(parent)
{
    m_socket.setReadBufferSize(inputBufferSize);
    connect(&m_socket, &QTcpSocket::readyRead, this, &LanLink::readAvailable);
    connect(&m_socket, &QTcpSocket::stateChanged, this, &Link::stateChanged);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        qCDebug(linkLog) << "socket error:" << m_socket.errorString();
        m_failed = true;
        emit stateChanged();
    });
}

void LanLink::connectTo(const QString &host, quint16 port)
{
    close();
    m_failed = false;
    announceDial(host);
    qCDebug(linkLog) << "connecting to" << host << port;
    m_socket.connectToHost(host, port);
}

void LanLink::close()
{
    m_socket.abort();
}

bool LanLink::isOpen() const
{
    return isConnected();
}

bool LanLink::write(const QByteArray &bytes)
{
    if (!isConnected() || m_socket.write(bytes) != bytes.size())
        return false;
    emit sent(bytes);
    return true;
}

void LanLink::readAvailable()
{
    const QByteArray bytes = m_socket.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

} // namespace keldor
