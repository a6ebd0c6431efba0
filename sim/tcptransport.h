#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace sim {

class Headend;

// The device's LAN interface. Every accepted client gets its own protocol session; the port it
// listens on is the port the device reports and changes with the LAN settings on a restart.
class TcpTransport : public QObject {
    Q_OBJECT

public:
    explicit TcpTransport(Headend &headend, QObject *parent = nullptr);

    // port 0 picks any free port.
    bool listen(const QHostAddress &address, quint16 port);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

signals:
    // Listening again after a restart of the device.
    void restarted(const QHostAddress &address, quint16 port);

private:
    void accept();
    void goDown();
    void comeUp();

    Headend &m_headend;
    QTcpServer m_server;
    QHostAddress m_address;
    quint16 m_port = 0;
};

} // namespace sim
