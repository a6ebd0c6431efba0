#pragma once

#include "recordingui.h"
#include "simfixture.h"
#include "tinyproxy.h"

#include "core/protocol/session.h"

// What most tests start from: a recording interface, a session with short timings and a
// simulated headend in this process, connected over loopback TCP, with what the opening left
// in the transcript and the recording already cleared. Make one in init():
//     m_f.emplace();
//     QVERIFY(m_f->start());
struct SessionFixture {
    // Listens and connects; a headend with another channel count when asked.
    bool start(int channels = 12)
    {
        if (const auto variant = sim::variantForChannelCount(channels))
            sim.headend.state().identity.variant = *variant;
        if (!sim.listen() || !sim.connect(session))
            return false;
        ui.clear();
        sim.headend.clearTranscript();
        return true;
    }

    keldor::Exchange &exchange() { return session.exchange; }

    RecordingUi ui;
    keldor::Session session{ui, keldor::Timing::fast()};
    SimHeadend sim;
};

// Short timings without the pause before every send: for tests that read whole headends many
// times over, as the simulator needs no pause.
inline keldor::Timing withoutSendPause()
{
    keldor::Timing timing = keldor::Timing::fast();
    timing.sendPause = keldor::milliseconds(0);
    return timing;
}
