#pragma once

#include "link/link.h"

#include <QTcpSocket>

namespace keldor {

// The TCP connection to a headend, direct or through a proxy tunnel.
class LanLink : public Link {
    Q_OBJECT

public:
    explicit LanLink(QObject *parent = nullptr);

    void connectTo(const QString &host, quint16 port);
    void close();
    bool isOpen() const override;
    void write(const QByteArray &bytes) override;

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // The last connection attempt failed (refused, unreachable, dropped) and nothing was
    // started since.
    bool hasFailed() const { return m_failed; }

private:
    void readAvailable();

    QTcpSocket m_socket;
    bool m_failed = false;
};

} // namespace keldor
