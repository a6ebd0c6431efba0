#include "core/link/rxunit.h"

#include <utility>

namespace keldor {

std::optional<qsizetype> proxyHeaderLength(QByteArrayView reply)
{
    // Lines end in CR LF, or in a bare LF from a lax proxy.
    for (qsizetype end = reply.indexOf('\n'); end >= 0; end = reply.indexOf('\n', end + 1)) {
        qsizetype next = end + 1;
        if (next < reply.size() && reply.at(next) == '\r')
            ++next;
        if (next < reply.size() && reply.at(next) == '\n')
            return next + 1;
    }
    return std::nullopt;
}

std::optional<RxUnit> UnitCutter::expect(Expectation next)
{
    if (std::exchange(m_expect, next) == next)
        return std::nullopt;
    return flush();
}

QList<RxUnit> UnitCutter::cut(QByteArrayView arrival)
{
    m_pending.append(arrival);
    QList<RxUnit> units;
    while (std::optional<RxUnit> unit = next()) {
        unit->followed = !m_pending.isEmpty();
        units.append(*unit);
    }
    if (m_pending.size() > noiseLimit)
        units.append(*flush());
    return units;
}

std::optional<RxUnit> UnitCutter::flush()
{
    if (m_pending.isEmpty())
        return std::nullopt;
    RxUnit unit;
    unit.bytes = std::exchange(m_pending, {});
    return unit;
}

RxUnit UnitCutter::take(RxUnit::Kind kind, qsizetype at, qsizetype length)
{
    RxUnit unit;
    unit.kind = kind;
    unit.before = m_pending.first(at);
    unit.bytes = m_pending.sliced(at, length);
    m_pending.remove(0, at + length);
    return unit;
}

std::optional<RxUnit> UnitCutter::ackAt(qsizetype at)
{
    const QByteArrayView two = QByteArrayView(m_pending).sliced(at, 2);
    if (two == "OK")
        return take(RxUnit::Kind::Accepted, at, 2);
    if (two == "EN")
        return take(RxUnit::Kind::Ended, at, 2);
    return std::nullopt;
}

std::optional<RxUnit> UnitCutter::next()
{
    switch (m_expect.kind) {
    case Expectation::Kind::Nothing:
        return std::nullopt;
    case Expectation::Kind::Bytes:
        if (m_pending.size() < m_expect.count)
            return std::nullopt;
        return take(RxUnit::Kind::Bytes, 0, std::exchange(m_expect, {}).count);
    case Expectation::Kind::Ack:
        // Every acknowledgement counts, whatever came before it.
        for (qsizetype at = 0; at + 1 < m_pending.size(); ++at) {
            if (std::optional<RxUnit> ack = ackAt(at))
                return ack;
        }
        return std::nullopt;
    case Expectation::Kind::GoAhead: {
        if (m_pending.isEmpty())
            return std::nullopt;
        // Any byte lets the next block go; a whole acknowledgement in its place is named as one.
        std::optional<RxUnit> unit;
        if (m_pending.size() > 1)
            unit = ackAt(0);
        if (!unit)
            unit = take(RxUnit::Kind::GoAhead, 0, 1);
        m_expect = Expectation::ack();
        return unit;
    }
    case Expectation::Kind::ProxyReply: {
        const std::optional<qsizetype> length = proxyHeaderLength(m_pending);
        if (!length)
            return std::nullopt;
        m_expect = Expectation::nothing();
        return take(RxUnit::Kind::ProxyReply, 0, *length);
    }
    }
    return std::nullopt;
}

} // namespace keldor
