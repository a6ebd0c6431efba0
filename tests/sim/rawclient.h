#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpSocket>

#include <chrono>

using namespace std::chrono_literals;

// A 10-byte request frame, payload padded with zeros.
inline QByteArray frame(int channel, int code, const QByteArray &payload = {})
{
    QByteArray bytes(10, '\0');
    bytes[0] = char(channel);
    bytes[1] = char(code);
    bytes.replace(2, payload.size(), payload);
    return bytes;
}

// The client end as a test drives it: plain bytes out, exact byte counts back. Waiting runs the
// event loop, so the simulator in the same thread keeps working.
class RawClient {
public:
    bool connectTo(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        QSignalSpy connected(&m_socket, &QTcpSocket::connected);
        return m_socket.state() == QAbstractSocket::ConnectedState || connected.wait(2000);
    }

    void send(const QByteArray &bytes) { m_socket.write(bytes); }

    // Exactly n bytes, or fewer if they don't come in time.
    QByteArray read(qsizetype n, std::chrono::milliseconds limit = 3s)
    {
        QDeadlineTimer deadline(limit);
        QSignalSpy arrived(&m_socket, &QIODevice::readyRead);
        while (m_socket.bytesAvailable() < n && !deadline.hasExpired())
            arrived.wait(int(qMax<qint64>(1, deadline.remainingTime())));
        return m_socket.read(n);
    }

    QByteArray exchange(const QByteArray &bytes, qsizetype n)
    {
        send(bytes);
        return read(n);
    }

    // The first bytes that arrive within the period; empty when the line stays quiet.
    QByteArray firstArrivalWithin(std::chrono::milliseconds period)
    {
        QSignalSpy arrived(&m_socket, &QIODevice::readyRead);
        if (m_socket.bytesAvailable() == 0)
            arrived.wait(int(period.count()));
        return m_socket.readAll();
    }

    bool waitForDisconnect(std::chrono::milliseconds limit = 3s)
    {
        QSignalSpy disconnected(&m_socket, &QTcpSocket::disconnected);
        return m_socket.state() == QAbstractSocket::UnconnectedState ||
               disconnected.wait(int(limit.count()));
    }

    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
};
