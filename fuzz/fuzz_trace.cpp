// Whatever a headend or a proxy answers, in whatever pieces, between whatever requests: the
// trace's decoder names every byte once, never reads past what has arrived and never stalls.
// The same input as a trace file from elsewhere: the simulator's replay either refuses it with
// a reason or plays it back without reading past what a client sent.

#include "fuzzsupport.h"

#include "core/features/traffic/traffictrace.h"
#include "sim/replay.h"

using namespace keldor;

namespace {

void decode(FuzzedDataProvider &data)
{
    TraceDecoder decoder;
    QByteArray pending;
    while (data.remaining_bytes() > 0) {
        const QByteArray chunk = bytes(data, 300);
        if (data.ConsumeBool()) {
            expect(!decoder.sent(chunk).isEmpty(), "every write has a meaning");
            if (!pending.isEmpty() && data.ConsumeBool()) {
                expect(!decoder.leftover(pending).isEmpty(), "left-over bytes have a meaning");
                pending.clear();
            }
            continue;
        }
        pending += chunk;
        // An empty text is a unit of no bytes; two in a row would keep the trace going round.
        bool empty = false;
        while (const auto unit = decoder.received(pending)) {
            expect(unit->length >= 0 && unit->length <= pending.size(),
                   "a unit is a part of what arrived");
            expect(!(empty && unit->length == 0), "no two empty units in a row");
            empty = unit->length == 0;
            expect(!unit->meaning.isEmpty(), "every unit has a meaning");
            pending.remove(0, unit->length);
        }
    }
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
