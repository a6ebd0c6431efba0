#pragma once

#include "core/link/link.h"

#include <QSerialPort>

#include <functional>
#include <optional>

namespace keldor {

// Input the port lost before anybody could read it: the UART's own buffer ran over, or the
// driver's receive buffer did.
enum class InputLoss { Overrun, BufferOverflow };

// What a port's driver has counted of lost input so far; only changes mean anything.
struct InputLossCounts {
    int overrun = 0;
    int bufferOverrun = 0;
};

// The headend's USB virtual serial port: 9600 bit/s, 8 data bits, no parity, 1 stop bit.
class SerialLink : public Link {
    Q_OBJECT

public:
    explicit SerialLink(QObject *parent = nullptr);

    // Closes a port that is open, then opens the given one and drops whatever was pending.
    bool open(const QString &portName);
    void close();
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    QString portName() const { return m_portName; }

    // Whether a port can be used right now: it exists and nobody else holds it.
    static bool portUsable(const QString &portName);

    // What tells an operator who may not open the port how to get the right to, naming the
    // group that owns it; an empty text when this user may open it.
    static QString permissionProblem(const QString &portName);

    // Reads the counts of an open port's descriptor; nothing where the port keeps none, as
    // a pseudo-terminal doesn't. Tests count for themselves here.
    using InputLossReader = std::function<std::optional<InputLossCounts>(int descriptor)>;
    void setInputLossReader(InputLossReader reader) { m_lossReader = std::move(reader); }
    static std::optional<InputLossCounts> driverInputLoss(int descriptor);

signals:
    // Input was lost since the last bytes arrived.
    void inputLost(keldor::InputLoss loss);

private:
    void readAvailable();
    void checkInputLoss();
    void handleError(QSerialPort::SerialPortError error);

    static constexpr qint64 inputBufferSize = 1024;

    QSerialPort m_port;
    QString m_portName;
    InputLossReader m_lossReader = driverInputLoss;
    // The counts when the port was opened or last read; nothing while they can't be read.
    std::optional<InputLossCounts> m_lossCounts;
};

} // namespace keldor
