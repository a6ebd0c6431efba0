#pragma once

#include "core/protocol/session.h"

namespace keldor {

// The progress text of an ordinary restart.
inline QString restartText()
{
    return QStringLiteral("Headend is now reinitializing, please wait...");
}

// Waits for a headend that was told to restart: the restart pause with the progress window,
// then polls until the headend can be reached again on the selected link. On the serial link
// that is the moment its USB port can be used again; on the LAN the moment a connection to
// the target's address is accepted. Neither opens a session: the caller does that next.
// After the reconnect limit the operator is told to reconnect by hand and false is returned.
// The progress window says why the headend restarts.
bool waitForRestart(Session &session, const LanTarget &target, const QString &serialPort,
                    const QString &progressText = restartText());

} // namespace keldor
