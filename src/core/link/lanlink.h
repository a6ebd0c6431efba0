#pragma once

#include "core/link/link.h"

#include <QTcpSocket>

#include <functional>

namespace keldor {

// The TCP connection to a headend, direct or through a proxy tunnel.
class LanLink : public Link {
    Q_OBJECT

public:
    explicit LanLink(QObject *parent = nullptr);

    void connectTo(const QString &host, quint16 port);
    void close();
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // The last connection attempt failed (refused, unreachable, dropped) and nothing was
    // started since.
    bool hasFailed() const { return m_failed; }

    // Every host this program is about to reach over TCP, a proxy's tunnel target included,
    // passes this hook first. With KELDOR_LOOPBACK_ONLY=1 in the environment (the test suite
    // sets it for itself and every program it starts) the default hook ends the process
    // before a name lookup or a packet can leave for anything outside 127.0.0.0/8.
    using DialHook = std::function<void(const QString &host)>;
    static void setDialHook(DialHook hook);
    static void announceDial(const QString &host);

    // The most one read takes from the socket, as the serial port's input buffer bounds it
    // there: a babbling headend then reaches the exchange's limit in steps, never in one
    // allocation as large as the kernel's buffers.
    static constexpr qint64 inputBufferSize = 4 * 1024;

private:
    void readAvailable();

    QTcpSocket m_socket;
    bool m_failed = false;
};

} // namespace keldor
