#pragma once

#include "core/common/timing.h"
#include "core/common/userinterface.h"
#include "core/features/shell/settingsstore.h"
#include "core/features/shell/shellstate.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

namespace keldor {

// What every window of the program shares for the whole run: the operator-facing side, the
// session with both links, the image of the headend, the shell state and the settings store.
// The program makes one; each widget test makes its own with a RecordingUi and short timings.
class Station {
public:
    Station(UserInterface &ui, SettingsStore &settings, const Timing &timing = {});
    Station(const Station &) = delete;
    Station &operator=(const Station &) = delete;

    UserInterface &ui;
    SettingsStore &settings;
    Session session;
    UnitData unit;
    ShellState shell;

    // The active headend and the proxy, as the LAN connection needs them.
    LanTarget lanTarget() const;
};

} // namespace keldor
