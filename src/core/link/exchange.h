#pragma once

#include "core/common/deadline.h"
#include "core/common/timing.h"
#include "core/common/userinterface.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <functional>

namespace keldor {

class Link;
class SerialLink;
enum class InputLoss;

// Why the last wait for an answer failed. The exchange shows nothing: the operation that
// waited turns it into the operator's message.
enum class ExchangeError { None, NoAnswer, LinkLost, Overflow, WriteFailed };

// The request/answer dialogue with the headend: the one receive buffer that both links feed,
// the send primitive that picks the selected link, and the waits with their time-outs.
// Waits run a nested event loop that wakes on data arrival, on a link state change and on a
// deadline taken from the monotonic clock, so a wait costs no CPU.
class Exchange : public QObject {
    Q_OBJECT

public:
    Exchange(UserInterface &ui, const Timing &timing, SerialLink &serial, Link &lan,
             QObject *parent = nullptr);

    // The serial link when selected, the LAN link otherwise; consulted at every send.
    void setSerialSelected(bool selected) { m_serialSelected = selected; }
    bool serialSelected() const { return m_serialSelected; }
    Link &activeLink() const;

    const QByteArray &rxBuffer() const { return m_rx; }
    void clearRx();
    void appendRx(const QByteArray &bytes);
    bool rxEndsWith(QByteArrayView tail) const { return m_rx.endsWith(tail); }
    // The headend sent more than rxLimit since the buffer was last cleared. Every wait fails at
    // once from then on, so a loop that waits again must stop instead.
    bool overflowed() const { return m_overflow; }

    // False, and every wait fails at once until the next send or clearRx, when the link
    // refused the bytes.
    bool send(const QByteArray &bytes);
    void waitSeconds(milliseconds duration);
    // Both fail after answerLimit, or at once when the link goes, with error() saying why.
    bool waitForBytes(int count);
    bool commandQuit();
    ExchangeError error() const { return m_error; }

    // The request about to be sent repeats one whose answer was lost; counted for the whole
    // session, so that the operator can tell a link that only just works.
    void noteRepeat();
    int repeats() const { return m_repeats; }
    bool comStart();
    // Sends the closing frame, which the protocol above composes, when the serial port is
    // open, and pauses so that the headend takes it before the port goes.
    bool comEnd(const QByteArray &closingFrame);

    // Waits without any message until the condition holds or the limit has passed.
    // Every wait, waitSeconds too, ends by the operation's deadline at the latest.
    bool waitUntil(const std::function<bool()> &condition, milliseconds limit);

    // The bracket around every exchange: the main window is disabled and the keep-alive timer
    // stopped while it runs; a good ending gives both back. The serial port's alarms of lost
    // input are reported once per exchange.
    void beginExchange();
    void endExchange();

    // The deadline and stage of the operation that runs on this exchange.
    OperationDeadline &deadline() { return m_deadline; }
    const OperationDeadline &deadline() const { return m_deadline; }

    UserInterface &ui() const { return m_ui; }
    const Timing &timing() const { return m_timing; }

    // Upper bound on what a headend may pile up before anybody reads it. No answer of the
    // protocol comes near it; a headend that exceeds it is babbling and the wait fails.
    static constexpr qsizetype rxLimit = 64 * 1024;

signals:
    void arrived();
    // Before the repeated request goes out.
    void repeating();
    // The serial port lost input of this kind; reported once per exchange, the session's
    // opening counting as one. Only news for the operator: the bytes lost leave the answer
    // short, and the wait for it ends as it would anyway.
    void inputLost(keldor::InputLoss loss);

private:
    bool waitForAnswer(const std::function<bool()> &condition);
    bool write(Link &link, const QByteArray &bytes);
    void waitEvent(milliseconds remaining);
    void reportInputLoss(InputLoss loss);

    UserInterface &m_ui;
    const Timing &m_timing;
    SerialLink &m_serial;
    Link &m_lan;
    QByteArray m_rx;
    bool m_overflow = false;
    bool m_writeFailed = false;
    ExchangeError m_error = ExchangeError::None;
    int m_repeats = 0;
    bool m_serialSelected = true;
    // Which alarms of lost input this exchange has reported, by InputLoss.
    std::array<bool, 2> m_lossReported{};
    OperationDeadline m_deadline{this};
};

} // namespace keldor
