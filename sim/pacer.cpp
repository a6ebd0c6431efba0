#include "pacer.h"

#include <algorithm>
#include <chrono>

namespace sim {

namespace {

// Large backlogs go out in slices of this period; short ones are released the moment their last
// byte is due.
constexpr std::chrono::milliseconds SlicePeriod{10};
constexpr qint64 nsPerSecond = 1'000'000'000;
constexpr qint64 halfMs = 500'000;

} // namespace

Pacer::Pacer(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Pacer::release);
}

void Pacer::setRate(int bytesPerSecond)
{
    m_rate = bytesPerSecond;
    if (m_rate <= 0 && !m_queue.isEmpty()) {
        m_timer.stop();
        emit released(std::exchange(m_queue, {}));
        emit drained();
    }
}

qint64 Pacer::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 Pacer::lastByteDue() const
{
    return m_rate <= 0 ? now() : m_busySince + m_releasedSinceBusy * nsPerSecond / m_rate;
}

void Pacer::push(const QByteArray &bytes)
{
    push(bytes, now());
}

void Pacer::push(const QByteArray &bytes, qint64 lineFree)
{
    if (bytes.isEmpty())
        return;
    if (m_rate <= 0) {
        emit released(bytes);
        emit drained();
        return;
    }
    if (m_queue.isEmpty()) {
        // The line carries one byte at a time: never before what went out earlier has crossed.
        m_busySince = std::max(lineFree, lastByteDue());
        m_releasedSinceBusy = 0;
    }
    m_queue.append(bytes);
    if (!m_timer.isActive())
        release();
}

void Pacer::release()
{
    // Times are kept in nanoseconds and rounded to the nearest millisecond, the resolution of
    // the timer: rounding up instead would add up to a millisecond to every message and make
    // the emulated line measurably slower than the real one.
    const qint64 sinceBusy = now() - m_busySince; // below zero while the line is not free yet
    const qint64 due =
        std::max<qint64>(0, (sinceBusy + halfMs) * m_rate / nsPerSecond - m_releasedSinceBusy);
    const qint64 count = qMin<qint64>(due, m_queue.size());
    if (count > 0) {
        m_releasedSinceBusy += count;
        const QByteArray chunk = m_queue.left(count);
        m_queue.remove(0, count);
        emit released(chunk);
    }
    if (m_queue.isEmpty()) {
        emit drained();
        return;
    }
    const qint64 allDue = (m_releasedSinceBusy + m_queue.size()) * nsPerSecond / m_rate;
    const qint64 waitMs =
        qBound(qint64(1), (allDue - sinceBusy + halfMs) / 1'000'000, qint64(SlicePeriod.count()));
    m_timer.start(std::chrono::milliseconds(waitMs));
}

} // namespace sim
