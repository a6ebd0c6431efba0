#include "tcptransport.h"

#include "headend.h"
#include "link.h"

#include <QTcpSocket>

namespace sim {

TcpTransport::TcpTransport(Headend &headend, QObject *parent)
    : QObject(parent)
    , m_headend(headend)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpTransport::accept);
    connect(&m_headend, &Headend::wentDown, this, &TcpTransport::goDown);
    connect(&m_headend, &Headend::cameUp, this, &TcpTransport::comeUp);
}

bool TcpTransport::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    m_address = address;
    m_port = m_server.serverPort();
    m_headend.state().lan.port = m_port;
    return true;
}

void TcpTransport::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        // Answers are a few bytes each; waiting to coalesce them would only slow the dialogue.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *link = new Link(m_headend, socket);
        connect(socket, &QTcpSocket::readyRead, link,
                [socket, link] { link->receive(socket->readAll()); });
        connect(link, &Link::transmit, socket,
                [socket](const QByteArray &bytes) { socket->write(bytes); });
        connect(link, &Link::hangUp, socket, &QTcpSocket::disconnectFromHost);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TcpTransport::goDown()
{
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
        socket->disconnectFromHost();
    m_server.close();
}

// A port that can't be had leaves the device on its previous one rather than unreachable.
void TcpTransport::comeUp()
{
    const quint16 wanted = m_headend.state().lan.port;
    if (!listen(m_address, wanted)) {
        qWarning("port %u unavailable after restart (%s); staying on %u", wanted,
                 qPrintable(m_server.errorString()), m_port);
        if (!listen(m_address, m_port)) {
            qWarning("cannot listen again: %s", qPrintable(m_server.errorString()));
            return;
        }
    }
    emit restarted(m_address, m_port);
}

} // namespace sim
