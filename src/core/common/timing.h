#pragma once

#include <chrono>

namespace keldor {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

// Every duration the program waits for lives here, with the headend's real values as defaults.
// Tests construct a Timing with short values and run exactly the same code.
struct Timing {
    // Command exchange
    milliseconds sendPause = 10ms;        // pause before every send
    milliseconds answerLimit = 20s;       // an answer, or the end of a command
    milliseconds sessionOpenLimit = 5s;   // the serial opening: "RM" -> "OK"
    milliseconds closePause = 500ms;      // after the closing frame
    milliseconds resendWindow = 30s;      // setParameter resends within this window
    milliseconds keepAliveInterval = 60s; // keep-alive write period

    // LAN link
    milliseconds connectNotice = 1s; // the progress window stays up this long
    milliseconds directConnectLimit = 30s;
    milliseconds proxyConnectLimit = 15s;
    milliseconds proxyReplyLimit = 30s;
    milliseconds handshakeAttempt = 3s; // one "RM" attempt
    milliseconds handshakeWindow = 10s; // all "RM" attempts

    // Headend restart and reconnect
    milliseconds restartStep = 2s; // ten of these before the first reconnect attempt
    milliseconds reconnectPoll = 2s;
    milliseconds reconnectLimit = 120s;

    // Full write
    milliseconds bulkWriteDonePause = 1s;

    // Uploads
    milliseconds blockAckLimit = 10s; // "OK" before each block
    milliseconds uploadWindow = 30s;  // attempts from the first start frame
    milliseconds storeWindow = 30s;   // store command attempts
    milliseconds successPause = 3s;
    milliseconds storeEndLimit =
        30min; // "EN" after the store command; the headend needs up to 10 min
    milliseconds elapsedTick = 100ms; // the update window's elapsed time and activity indicator

    // Directory editor
    milliseconds editorSavePause = 500ms;

    // keldor-ctl fleet
    milliseconds fleetProgressTick = 1s; // the progress line's redraw on a terminal
    // What a headend may take per request beyond the send pause, in fleetMemberLimit: about
    // forty times the 10 ms a request and its answer take at 9600 baud.
    milliseconds fleetRequestAllowance = 400ms;

    // The deadline of one headend of a fleet, when the command line sets none: a 16-channel
    // backup over a proxy with room to spare. Connecting may use every limit on the way (55 s
    // by default; a fleet member shows no progress window, so connectNotice is not among them);
    // the backup's read is 562 requests, each allowed its send pause and
    // fleetRequestAllowance (230 s), where at 9600 baud it needs about 10 s in all. 285 s,
    // rounded up to the whole minute: 5 minutes.
    milliseconds fleetMemberLimit() const
    {
        constexpr int sixteenChannelBackupRequests = 562;
        return std::chrono::ceil<std::chrono::minutes>(
            proxyConnectLimit + proxyReplyLimit + handshakeWindow +
            sixteenChannelBackupRequests * (sendPause + fleetRequestAllowance));
    }
    milliseconds fleetCommandLimit = 5min; // a git command, an --on-change or --on-fail command

    // Short timings for tests: same proportions where they matter, milliseconds instead of seconds.
    static Timing fast()
    {
        Timing t;
        t.sendPause = 1ms;
        t.answerLimit = 400ms;
        t.sessionOpenLimit = 300ms;
        t.closePause = 20ms;
        t.resendWindow = 600ms;
        t.keepAliveInterval = 200ms;
        t.connectNotice = 10ms;
        t.directConnectLimit = 1500ms;
        t.proxyConnectLimit = 1000ms;
        t.proxyReplyLimit = 800ms;
        t.handshakeAttempt = 150ms;
        t.handshakeWindow = 500ms;
        t.restartStep = 20ms;
        t.reconnectPoll = 50ms;
        t.reconnectLimit = 1500ms;
        t.bulkWriteDonePause = 10ms;
        t.blockAckLimit = 300ms;
        t.uploadWindow = 800ms;
        t.storeWindow = 800ms;
        t.successPause = 10ms;
        t.storeEndLimit = 2s;
        t.elapsedTick = 20ms;
        t.editorSavePause = 10ms;
        t.fleetProgressTick = 20ms;
        t.fleetRequestAllowance = 50ms;
        return t;
    }
};

} // namespace keldor
