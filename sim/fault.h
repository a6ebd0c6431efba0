#pragma once

#include <QByteArray>
#include <QStringView>

#include <chrono>
#include <optional>

namespace sim {

using namespace std::chrono_literals;

enum class Fault {
    None,
    Silent,     // answers nothing at all, not even the session opening
    LateOk,     // answers every "RM" only after the plan's delay
    DropAnswer, // ignores matching frames
    LateAnswer, // answers matching frames only after the plan's delay
    Garbage,    // sends garbage bytes ahead of the real answer
    Disconnect, // sends half of the answer, then drops the connection
    Babble,     // answers, then streams bytes until the connection drops
    Slow,       // opens at once, then sends every answer only after the plan's delay
};

struct FaultPlan {
    Fault fault = Fault::None;
    int code = -1;  // frame code the fault applies to; -1 = every frame
    int count = -1; // how many more times it fires; -1 = always
    int skip = 0;   // matching frames that pass unharmed before it fires, to hit one mid-transfer
    std::chrono::milliseconds delay = 3500ms;
    // Ends in neither "OK" nor "EN", so a client can only be fooled by what follows.
    QByteArray garbage = QByteArray::fromHex("A55A00FF13");
    int every = 1; // fires on every Nth matching frame only
    int seen = 0;  // matching frames so far, for every
};

std::optional<Fault> faultFromName(QStringView name);

} // namespace sim
