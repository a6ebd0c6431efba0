#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace keldor {

// What the sender of a request expects to come back, told to the exchange with each send so
// that it can cut what arrives into whole units.
struct Expectation {
    enum class Kind {
        Nothing,    // whatever comes makes no unit
        Bytes,      // exactly count bytes: an answer, a text's length byte, a text
        Ack,        // "OK" or "EN", possibly after other bytes; every one that comes
        GoAhead,    // one byte, or "OK"/"EN"; acknowledgements after it
        ProxyReply, // a proxy's reply header, through its empty line
    };

    Kind kind = Kind::Nothing;
    int count = 0;

    static Expectation nothing() { return {}; }
    static Expectation bytes(int count) { return {Kind::Bytes, count}; }
    static Expectation ack() { return {Kind::Ack, 0}; }
    static Expectation goAhead() { return {Kind::GoAhead, 0}; }
    static Expectation proxyReply() { return {Kind::ProxyReply, 0}; }

    bool operator==(const Expectation &) const = default;
};

// One whole unit of what a link received.
struct RxUnit {
    enum class Kind {
        Bytes,      // the count of bytes expected
        Accepted,   // "OK"
        Ended,      // "EN"
        GoAhead,    // a single byte that lets the next block go
        ProxyReply, // the proxy's header
        Unexpected, // bytes that make no unit
    };

    Kind kind = Kind::Unexpected;
    QByteArray bytes;
    // Bytes that came before an acknowledgement and make no unit of their own.
    QByteArray before;
    // More bytes came right behind it in the same arrival: it was not the last word.
    bool followed = false;
};

// The length of a proxy's reply header through the empty line that ends it, or nothing while
// that line has not arrived. Only what follows it comes from the far end of the tunnel.
std::optional<qsizetype> proxyHeaderLength(QByteArrayView reply);

// Cuts a byte stream into units under the expectation of the latest send. It holds the bytes
// of an incomplete unit until they complete it, the next send gives up on them, or they pass
// the noise limit.
class UnitCutter {
public:
    // More than any unit: what piles up beyond it without making one is noise.
    static constexpr qsizetype noiseLimit = 2048;

    // A send that expects next. A send that expects what the one before it expected keeps the
    // pending bytes, as they may begin a late answer to the earlier one; any other send gives
    // them back as an unexpected unit.
    std::optional<RxUnit> expect(Expectation next);
    // The units the arrival completes, in order; an empty arrival completes an empty unit.
    QList<RxUnit> cut(QByteArrayView arrival);
    // The pending bytes as an unexpected unit, when there are any.
    std::optional<RxUnit> flush();
    qsizetype pendingSize() const { return m_pending.size(); }

private:
    std::optional<RxUnit> next();
    RxUnit take(RxUnit::Kind kind, qsizetype at, qsizetype length);
    std::optional<RxUnit> ackAt(qsizetype at);

    Expectation m_expect;
    QByteArray m_pending;
};

} // namespace keldor
