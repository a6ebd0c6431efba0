#pragma once

#include "core/common/timing.h"
#include "core/link/exchange.h"
#include "core/link/seriallink.h"

#include "recordingui.h"
#include "scriptedlink.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

// A broken property ends the run at once, so libFuzzer keeps the input that broke it.
inline void expect(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The core's waits run nested event loops: one application object for the whole run.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char *argv[] = {const_cast<char *>("keldor-fuzz"), nullptr};
    static QCoreApplication application(argc, argv);
    return 0;
}

inline QByteArray bytes(FuzzedDataProvider &data, size_t maxLength)
{
    return QByteArray::fromStdString(data.ConsumeRandomLengthString(maxLength));
}

inline QString utf8Text(FuzzedDataProvider &data, size_t maxLength)
{
    return QString::fromUtf8(bytes(data, maxLength));
}

// One folder for the whole run, in memory where there is a memory file system.
inline QString scratchFolder()
{
    const QDir shm(QStringLiteral("/dev/shm"));
    static const QTemporaryDir folder((shm.exists() ? shm : QDir::temp()).filePath("kf-XXXXXX"));
    expect(folder.isValid(), "a scratch folder");
    return folder.path();
}

// Every limit is zero: a wait ends as soon as its condition is checked, no input waits for a clock.
inline keldor::Timing instantTiming()
{
    keldor::Timing t = keldor::Timing::fast();
    for (auto *limit :
         {&t.sendPause, &t.answerLimit, &t.sessionOpenLimit, &t.closePause, &t.resendWindow,
          &t.connectNotice, &t.proxyReplyLimit, &t.handshakeAttempt, &t.handshakeWindow})
        *limit = std::chrono::milliseconds(0);
    return t;
}

// The far end plays the input back: up to maxPieces pieces per write, or the link goes away (one
// chance in dropOdds + 1); with floods a piece may come hundreds of times, past the receive limit.
struct Playback {
    FuzzedDataProvider &data;
    const keldor::Exchange &exchange;
    int maxPieces, dropOdds;
    size_t maxLength;
    bool floods;

    void operator()(ScriptedLink &link, const QByteArray &)
    {
        const int pieces = data.ConsumeIntegralInRange(0, maxPieces);
        for (int i = 0; i < pieces && link.open; ++i) {
            const int action = data.ConsumeIntegralInRange(0, dropOdds);
            if (action == 0)
                return link.drop();
            const QByteArray piece = bytes(data, maxLength);
            const int repeats = floods && action == 1 ? data.ConsumeIntegralInRange(1, 512) : 1;
            for (int r = 0; r < repeats; ++r) {
                emit link.received(piece);
                expect(exchange.heldBytes() <= keldor::Exchange::rxLimit, "rx bound");
            }
        }
    }
};

struct ScriptedExchange {
    ScriptedExchange() { exchange.setSerialSelected(false); }
    RecordingUi ui;
    const keldor::Timing timing = instantTiming();
    keldor::SerialLink serial;
    ScriptedLink lan;
    keldor::Exchange exchange{ui, timing, serial, lan};
};
