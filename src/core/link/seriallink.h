#pragma once

#include "link/link.h"

#include <QSerialPort>

namespace keldor {

// The headend's USB virtual serial port: 9600 bit/s, 8 data bits, no parity, 1 stop bit.
class SerialLink : public Link {
    Q_OBJECT

public:
    explicit SerialLink(QObject *parent = nullptr);

    // Closes a port that is open, then opens the given one and drops whatever was pending.
    bool open(const QString &portName);
    void close();
    bool isOpen() const override;
    void write(const QByteArray &bytes) override;
    QString portName() const { return m_portName; }

    // Whether a port can be used right now: it exists and nobody else holds it.
    static bool portUsable(const QString &portName);

    // What tells an operator who may not open the port how to get the right to, naming the
    // group that owns it; an empty text when this user may open it.
    static QString permissionProblem(const QString &portName);

private:
    void readAvailable();
    void handleError(QSerialPort::SerialPortError error);

    static constexpr qint64 inputBufferSize = 1024;

    QSerialPort m_port;
    QString m_portName;
};

} // namespace keldor
