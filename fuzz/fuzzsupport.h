#pragma once

#include "common/timing.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

// Every wait of the core runs a nested event loop, so each fuzzer needs an application object.
// It lives for the whole process: libFuzzer calls the target many times in one run.
inline void start_application()
{
    static int argc = 1;
    static char name[] = "keldor-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

// A headend that answers at once or never: every limit is zero, so a wait ends as soon as its
// condition is checked and no input ever waits for a clock.
inline keldor::Timing instant_timing()
{
    using namespace std::chrono_literals;
    keldor::Timing t = keldor::Timing::fast();
    t.sendPause = 0ms;
    t.answerLimit = 0ms;
    t.sessionOpenLimit = 0ms;
    t.closePause = 0ms;
    t.resendWindow = 0ms;
    t.connectNotice = 0ms;
    t.proxyReplyLimit = 0ms;
    t.handshakeAttempt = 0ms;
    t.handshakeWindow = 0ms;
    return t;
}
