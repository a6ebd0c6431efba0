#include "core/link/exchange.h"

#include "core/link/linklog.h"
#include "core/link/seriallink.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace keldor {

Exchange::Exchange(UserInterface &ui, const Timing &timing, SerialLink &serial, Link &lan,
                   QObject *parent)
    : QObject(parent)
    , m_ui(ui)
    , m_timing(timing)
    , m_serial(serial)
    , m_lan(lan)
{
    for (Link *link : {static_cast<Link *>(&m_serial), &m_lan}) {
        connect(link, &Link::received, this,
                [this, link](const QByteArray &bytes) { receive(link, bytes); });
        connect(link, &Link::stateChanged, this, [this, link] {
            // What a link left half-said when it went down is no answer to anything.
            if (!link->isOpen() && link == m_rxLink)
                flushUnexpected();
            emit arrived();
        });
    }
    connect(&m_serial, &SerialLink::inputLost, this, &Exchange::reportInputLoss);
}

Link &Exchange::activeLink() const
{
    return m_serialSelected ? static_cast<Link &>(m_serial) : m_lan;
}

void Exchange::discard()
{
    flushUnexpected();
    m_units.clear();
    m_received = 0;
    m_overflow = false;
    m_writeFailed = false;
}

qsizetype Exchange::heldBytes() const
{
    qsizetype held = m_cutter.pendingSize();
    for (const RxUnit &unit : m_units)
        held += unit.before.size() + unit.bytes.size();
    return held;
}

void Exchange::receive(Link *link, const QByteArray &bytes)
{
    m_rxLink = link;
    m_received += bytes.size();
    if (m_received > rxLimit && !m_overflow) {
        m_overflow = true;
        m_units.clear();
    }
    deliver(link, m_cutter.cut(bytes), !m_overflow);
    emit arrived();
}

void Exchange::deliver(Link *link, const QList<RxUnit> &units, bool queued)
{
    for (const RxUnit &unit : units) {
        if (queued)
            m_units.push_back(unit);
        emit unitReceived(link, unit);
    }
}

void Exchange::flushUnexpected()
{
    if (std::optional<RxUnit> rest = m_cutter.flush())
        deliver(m_rxLink, {*rest}, false);
}

bool Exchange::write(Link &link, const QByteArray &bytes)
{
    m_writeFailed = !link.write(bytes);
    if (m_writeFailed)
        qCDebug(linkLog) << "the link refused" << bytes.size() << "bytes";
    return !m_writeFailed;
}

bool Exchange::send(const QByteArray &bytes, Expectation next)
{
    return sendOn(activeLink(), bytes, next);
}

bool Exchange::sendOn(Link &link, const QByteArray &bytes, Expectation next)
{
    // Bytes nobody could make sense of before this request stay in the queue, so that a wait
    // that must hear only its answer learns of them.
    if (std::optional<RxUnit> stale = m_cutter.expect(next))
        deliver(m_rxLink, {*stale}, !m_overflow);
    m_txLink = &link;
    const bool written = write(link, bytes);
    deliver(&link, m_cutter.cut({}), !m_overflow);
    return written;
}

void Exchange::waitEvent(milliseconds remaining)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Exchange::arrived, &loop, &QEventLoop::quit);
    deadline.start(remaining);
    loop.exec();
}

void Exchange::waitSeconds(milliseconds duration)
{
    const QDeadlineTimer deadline = m_deadline.clamp(duration);
    while (!deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(milliseconds(deadline.remainingTime()), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

bool Exchange::waitUntil(const std::function<bool()> &condition, milliseconds limit)
{
    const QDeadlineTimer deadline = m_deadline.clamp(limit);
    for (;;) {
        if (condition())
            return true;
        if (m_overflow || m_writeFailed || deadline.hasExpired())
            return false;
        waitEvent(milliseconds(deadline.remainingTime()));
    }
}

bool Exchange::waitForAnswer(const std::function<bool()> &taken, milliseconds limit)
{
    // A link that has gone away can't deliver the answer any more; waiting out the full
    // limit would only keep the operator looking at the hourglass.
    Link &link = m_txLink ? *m_txLink : activeLink();
    bool done = false;
    waitUntil(
        [&] {
            done = done || taken();
            return done || !link.isOpen();
        },
        limit);
    if (done)
        m_error = ExchangeError::None;
    else if (m_writeFailed)
        m_error = ExchangeError::WriteFailed;
    else if (m_overflow)
        m_error = ExchangeError::Overflow;
    else
        m_error = link.isOpen() ? ExchangeError::NoAnswer : ExchangeError::LinkLost;
    return done;
}

std::optional<RxUnit> Exchange::waitForUnit()
{
    return waitForUnit(m_timing.answerLimit);
}

std::optional<RxUnit> Exchange::waitForUnit(milliseconds limit)
{
    std::optional<RxUnit> unit;
    waitForAnswer(
        [&] {
            if (m_units.empty())
                return false;
            unit = m_units.front();
            m_units.pop_front();
            return true;
        },
        limit);
    return unit;
}

bool Exchange::waitForAck(RxUnit::Kind ack, milliseconds limit, bool *alone)
{
    bool clean = true;
    const bool heard = waitForAnswer(
        [&] {
            while (!m_units.empty()) {
                const RxUnit unit = m_units.front();
                m_units.pop_front();
                if (unit.kind == ack && !unit.followed) {
                    clean = clean && unit.before.isEmpty();
                    return true;
                }
                clean = false;
            }
            return false;
        },
        limit);
    if (alone)
        *alone = clean;
    return heard;
}

void Exchange::noteRepeat()
{
    ++m_repeats;
    emit repeating();
}

void Exchange::reportInputLoss(InputLoss loss)
{
    bool &reported = m_lossReported.at(static_cast<size_t>(loss));
    if (!std::exchange(reported, true))
        emit inputLost(loss);
}

bool Exchange::comEnd(const QByteArray &closingFrame)
{
    bool sent = false;
    if (m_serial.isOpen()) {
        discard();
        sendOn(m_serial, closingFrame, Expectation::nothing());
        sent = true;
    }
    waitSeconds(m_timing.closePause);
    return sent;
}

void Exchange::beginExchange()
{
    m_lossReported = {};
    emit busyChanged(true);
}

void Exchange::endExchange()
{
    emit busyChanged(false);
}

} // namespace keldor
