// Whatever a headend or a proxy answers, in whatever pieces, between whatever requests: the
// trace's decoder names every byte once, never reads past what has arrived and never stalls.

#include "fuzzsupport.h"

#include "link/traffictrace.h"

using namespace keldor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzedDataProvider data(input, size);
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
    return 0;
}
