#pragma once

#include "common/timing.h"
#include "link/exchange.h"
#include "link/seriallink.h"

#include "recordingui.h"
#include "scriptedlink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

// Every wait of the core runs a nested event loop, so each fuzzer needs an application object.
// It lives for the whole process: libFuzzer calls the target many times in one run.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "keldor-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return 0;
}

inline QByteArray bytes(FuzzedDataProvider &data, size_t maxLength)
{
    const std::string text = data.ConsumeRandomLengthString(maxLength);
    return QByteArray(text.data(), qsizetype(text.size()));
}

inline QString utf8_text(FuzzedDataProvider &data, size_t maxLength)
{
    return QString::fromUtf8(bytes(data, maxLength));
}

// The one folder a target keeps its files in for the whole run, on a memory file system where
// there is one.
inline QString scratch_folder()
{
    const QString shm = QStringLiteral("/dev/shm");
    static const QTemporaryDir folder(QDir(QFileInfo(shm).isDir() ? shm : QDir::tempPath())
                                          .filePath(QStringLiteral("keldor-fuzz-XXXXXX")));
    expect(folder.isValid(), "a scratch folder");
    return folder.path();
}

// A headend that answers at once or never: every limit is zero, so a wait ends as soon as its
// condition is checked and no input ever waits for a clock.
inline keldor::Timing instant_timing()
{
    keldor::Timing t = keldor::Timing::fast();
    for (auto *limit :
         {&t.sendPause, &t.answerLimit, &t.sessionOpenLimit, &t.closePause, &t.resendWindow,
          &t.connectNotice, &t.proxyReplyLimit, &t.handshakeAttempt, &t.handshakeWindow})
        *limit = std::chrono::milliseconds(0);
    return t;
}

// The far end plays the input back: every write gets up to maxPieces pieces of it, or the link
// goes away (one chance in dropOdds + 1); with floods, a piece may come hundreds of times, well
// past the receive limit when it is long enough.
struct Playback {
    FuzzedDataProvider &data;
    const keldor::Exchange &exchange;
    int maxPieces;
    int dropOdds;
    size_t maxLength;
    bool floods;

    void operator()(ScriptedLink &link, const QByteArray &)
    {
        const int pieces = data.ConsumeIntegralInRange(0, maxPieces);
        for (int i = 0; i < pieces && link.open; ++i) {
            const int action = data.ConsumeIntegralInRange(0, dropOdds);
            if (action == 0) {
                link.drop();
                return;
            }
            const QByteArray piece = bytes(data, maxLength);
            const int repeats = floods && action == 1 ? data.ConsumeIntegralInRange(1, 512) : 1;
            for (int r = 0; r < repeats; ++r) {
                emit link.received(piece);
                expect(exchange.rx_buffer().size() <= keldor::Exchange::rxLimit,
                       "receive buffer bound");
            }
        }
    }
};

// An exchange over a scripted LAN link whose far end the target plays.
struct ScriptedExchange {
    ScriptedExchange() { exchange.setSerialSelected(false); }

    RecordingUi ui;
    const keldor::Timing timing = instant_timing();
    keldor::SerialLink serial;
    ScriptedLink lan;
    keldor::Exchange exchange{ui, timing, serial, lan};
};
