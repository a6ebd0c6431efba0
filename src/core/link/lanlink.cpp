#include "link/lanlink.h"

namespace keldor {

LanLink::LanLink(QObject *parent)
    : Link(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &LanLink::readAvailable);
    connect(&m_socket, &QTcpSocket::stateChanged, this, &Link::stateChanged);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        m_failed = true;
        emit stateChanged();
    });
}

void LanLink::connectTo(const QString &host, quint16 port)
{
    close();
    m_failed = false;
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

void LanLink::write(const QByteArray &bytes)
{
    if (isConnected())
        m_socket.write(bytes);
}

void LanLink::readAvailable()
{
    const QByteArray bytes = m_socket.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

} // namespace keldor
