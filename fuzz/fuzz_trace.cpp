// Whatever a headend or a proxy answers, in whatever pieces, between whatever requests: the
// units hold every byte once and the trace's decoder gives each unit and write a meaning.
// The same input as a trace file from elsewhere: the simulator's replay either refuses it with
// a reason or plays it back without reading past what a client sent.

#include "fuzzsupport.h"

#include "core/features/traffic/traffictrace.h"
#include "sim/replay.h"

using namespace keldor;

namespace {

void name(TraceDecoder &decoder, const QList<RxUnit> &units, QByteArray &named)
{
    for (const RxUnit &unit : units) {
        expect(!decoder.received(unit).isEmpty(), "every unit has a meaning");
        named += unit.before + unit.bytes;
    }
}

// Cut under whatever the sends expect, every byte that arrived lands in exactly one unit, in
// order, and every unit and write has a meaning.
void decode(FuzzedDataProvider &data)
{
    TraceDecoder decoder;
    UnitCutter cutter;
    QByteArray arrived;
    QByteArray named;
    while (data.remaining_bytes() > 0) {
        const QByteArray chunk = bytes(data, 300);
        if (data.ConsumeBool()) {
            expect(!decoder.sent(chunk).isEmpty(), "every write has a meaning");
            const Expectation next{Expectation::Kind(data.ConsumeIntegralInRange(0, 4)),
                                   data.ConsumeIntegralInRange(0, 255)};
            if (const std::optional<RxUnit> stale = cutter.expect(next))
                name(decoder, {*stale}, named);
            name(decoder, cutter.cut({}), named);
            continue;
        }
        arrived += chunk;
        name(decoder, cutter.cut(chunk), named);
    }
    if (const std::optional<RxUnit> rest = cutter.flush())
        name(decoder, {*rest}, named);
    expect(named == arrived, "every byte is in one unit, in order");
}

// The client sends the trace's own text, as a session of the simulator receives it.
void replay(const QByteArray &text)
{
    sim::Replay replay;
    QString error;
    if (!replay.parse(text, QStringLiteral("trace"), &error)) {
        expect(!error.isEmpty(), "a refused trace says why");
        return;
    }
    QByteArray received = text;
    while (!received.isEmpty()) {
        const qsizetype before = received.size();
        const sim::Replay::Match match = replay.match(received);
        if (match == sim::Replay::Match::Incomplete)
            break;
        if (match == sim::Replay::Match::Differs) {
            expect(!replay.mismatchReport(received).isEmpty(), "a mismatch is reported");
            break;
        }
        replay.take(received);
        expect(received.size() < before, "a matched request is taken off what arrived");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzedDataProvider data(input, size);
    decode(data);
    replay(QByteArray(reinterpret_cast<const char *>(input), qsizetype(size)));
    return 0;
}
