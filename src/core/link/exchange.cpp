#include "core/link/exchange.h"

#include "core/link/linklog.h"
#include "core/link/seriallink.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace keldor {

namespace {
constexpr QByteArrayView sessionOpen = "RM";
constexpr QByteArrayView acceptedTail = "OK";
constexpr QByteArrayView commandEndTail = "EN";
} // namespace

Exchange::Exchange(UserInterface &ui, const Timing &timing, SerialLink &serial, Link &lan,
                   QObject *parent)
    : QObject(parent)
    , m_ui(ui)
    , m_timing(timing)
    , m_serial(serial)
    , m_lan(lan)
{
    for (Link *link : {static_cast<Link *>(&m_serial), &m_lan}) {
        connect(link, &Link::received, this, &Exchange::appendRx);
        connect(link, &Link::stateChanged, this, &Exchange::arrived);
    }
    connect(&m_serial, &SerialLink::inputLost, this, &Exchange::reportInputLoss);
}

Link &Exchange::activeLink() const
{
    return m_serialSelected ? static_cast<Link &>(m_serial) : m_lan;
}

void Exchange::clearRx()
{
    m_rx.clear();
    m_overflow = false;
    m_writeFailed = false;
}

void Exchange::appendRx(const QByteArray &bytes)
{
    if (m_overflow)
        return;
    m_rx.append(bytes);
    if (m_rx.size() > rxLimit) {
        m_rx.clear();
        m_overflow = true;
    }
    emit arrived();
}

bool Exchange::write(Link &link, const QByteArray &bytes)
{
    m_writeFailed = !link.write(bytes);
    if (m_writeFailed)
        qCDebug(linkLog) << "the link refused" << bytes.size() << "bytes";
    return !m_writeFailed;
}

bool Exchange::send(const QByteArray &bytes)
{
    return write(activeLink(), bytes);
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

bool Exchange::waitForAnswer(const std::function<bool()> &condition)
{
    // A link that has gone away can't deliver the answer any more; waiting out the full
    // limit would only keep the operator looking at the hourglass.
    Link &link = activeLink();
    waitUntil([&] { return condition() || !link.isOpen(); }, m_timing.answerLimit);
    if (condition())
        m_error = ExchangeError::None;
    else if (m_writeFailed)
        m_error = ExchangeError::WriteFailed;
    else if (m_overflow)
        m_error = ExchangeError::Overflow;
    else
        m_error = link.isOpen() ? ExchangeError::NoAnswer : ExchangeError::LinkLost;
    return m_error == ExchangeError::None;
}

bool Exchange::waitForBytes(int count)
{
    return waitForAnswer([this, count] { return m_rx.size() >= count; });
}

bool Exchange::commandQuit()
{
    return waitForAnswer([this] { return m_rx.endsWith(commandEndTail); });
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

bool Exchange::comStart()
{
    // Opening the session is an exchange of its own.
    m_lossReported = {};
    clearRx();
    if (!write(m_serial, sessionOpen.toByteArray()))
        return false;
    return waitUntil([this] { return m_rx.endsWith(acceptedTail); }, m_timing.sessionOpenLimit);
}

bool Exchange::comEnd(const QByteArray &closingFrame)
{
    m_ui.setKeepAliveRunning(false);
    bool sent = false;
    if (m_serial.isOpen()) {
        clearRx();
        write(m_serial, closingFrame);
        sent = true;
    }
    waitSeconds(m_timing.closePause);
    return sent;
}

void Exchange::beginExchange()
{
    m_lossReported = {};
    m_ui.setMainWindowEnabled(false);
    m_ui.setKeepAliveRunning(false);
}

void Exchange::endExchange()
{
    m_ui.setKeepAliveRunning(true);
    m_ui.setMainWindowEnabled(true);
}

} // namespace keldor
