#pragma once

#include "core/common/deadline.h"
#include "core/common/timing.h"
#include "core/common/userinterface.h"
#include "core/link/rxunit.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <deque>
#include <functional>
#include <optional>

namespace keldor {

class Link;
class SerialLink;
enum class InputLoss;

// Why the last wait for an answer failed. The exchange shows nothing: the operation that
// waited turns it into the operator's message.
enum class ExchangeError { None, NoAnswer, LinkLost, Overflow, WriteFailed };

// The request/answer dialogue with the headend. Each send says what it expects back; what both
// links deliver is cut into units under that expectation, queued for the operation that waits
// and announced to whoever listens. Waits run a nested event loop that wakes on data arrival,
// on a link state change and on a deadline from the monotonic clock, so a wait costs no CPU.
class Exchange : public QObject {
    Q_OBJECT

public:
    Exchange(UserInterface &ui, const Timing &timing, SerialLink &serial, Link &lan,
             QObject *parent = nullptr);

    // The serial link when selected, the LAN link otherwise; consulted at every send.
    void setSerialSelected(bool selected) { m_serialSelected = selected; }
    bool serialSelected() const { return m_serialSelected; }
    Link &activeLink() const;

    // Forgets every unit and byte received so far; the expectation stays.
    void discard();
    // The headend sent more than rxLimit since the last discard. Every wait fails at once from
    // then on, so a loop that waits again must stop instead.
    bool overflowed() const { return m_overflow; }
    // What is received and not yet taken, in bytes.
    qsizetype heldBytes() const;

    // Sends on the selected link, or on the one given, and expects next what comes back. False,
    // and every wait fails at once until the next send or discard, when the link refused the
    // bytes.
    bool send(const QByteArray &bytes, Expectation next = {});
    bool sendOn(Link &link, const QByteArray &bytes, Expectation next);
    void waitSeconds(milliseconds duration);
    // The next unit received. Fails after the limit (answerLimit unless given), or at once when
    // the link of the last send goes, with error() saying why.
    std::optional<RxUnit> waitForUnit();
    std::optional<RxUnit> waitForUnit(milliseconds limit);
    // Takes units until the acknowledgement of this kind is the last word of an arrival, as
    // the headend ends or accepts a command; alone tells whether nothing else came first.
    bool waitForAck(RxUnit::Kind ack, milliseconds limit, bool *alone = nullptr);
    bool waitForEnd(bool *alone = nullptr)
    {
        return waitForAck(RxUnit::Kind::Ended, m_timing.answerLimit, alone);
    }
    ExchangeError error() const { return m_error; }
    // Gives up the bytes that make no unit yet, as an unexpected unit.
    void flushUnexpected();

    // The request about to be sent repeats one whose answer was lost; counted for the whole
    // session, so that the operator can tell a link that only just works.
    void noteRepeat();
    int repeats() const { return m_repeats; }
    // Sends the closing frame, which the protocol above composes, when the serial port is
    // open, and pauses so that the headend takes it before the port goes.
    bool comEnd(const QByteArray &closingFrame);

    // Waits without any message until the condition holds or the limit has passed.
    // Every wait, waitSeconds too, ends by the operation's deadline at the latest.
    bool waitUntil(const std::function<bool()> &condition, milliseconds limit);

    // The bracket around every exchange, told through busyChanged: whoever shows the exchange
    // holds the operator and the keep-alive off while it runs; a good ending lets both go. The
    // serial port's alarms of lost input are reported once per exchange, and the session's
    // opening counts as one.
    void beginExchange();
    void endExchange();
    void beginOpening() { m_lossReported = {}; }

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
    // Every unit as it is cut, with the link it came on.
    void unitReceived(keldor::Link *link, const keldor::RxUnit &unit);
    // Before the repeated request goes out.
    void repeating();
    void busyChanged(bool busy);
    // The serial port lost input of this kind; reported once per exchange, the session's
    // opening counting as one. Only news for the operator: the bytes lost leave the answer
    // short, and the wait for it ends as it would anyway.
    void inputLost(keldor::InputLoss loss);

private:
    bool waitForAnswer(const std::function<bool()> &taken, milliseconds limit);
    void receive(Link *link, const QByteArray &bytes);
    // Queued units are the waiters'; the others are only announced.
    void deliver(Link *link, const QList<RxUnit> &units, bool queued);
    bool write(Link &link, const QByteArray &bytes);
    void waitEvent(milliseconds remaining);
    void reportInputLoss(InputLoss loss);

    UserInterface &m_ui;
    const Timing &m_timing;
    SerialLink &m_serial;
    Link &m_lan;
    UnitCutter m_cutter;
    std::deque<RxUnit> m_units;
    // Where the pending bytes came from, and where the last send went.
    Link *m_rxLink = nullptr;
    Link *m_txLink = nullptr;
    qsizetype m_received = 0;
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
