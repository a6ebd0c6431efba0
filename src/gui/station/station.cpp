#include "gui/station/station.h"

namespace keldor {

Station::Station(UserInterface &ui, SettingsStore &settings, const Timing &timing)
    : ui(ui)
    , settings(settings)
    , session(ui, timing)
{}

LanTarget Station::lanTarget() const
{
    LanTarget target;
    target.name = shell.activeHeadendName;
    target.ip = shell.activeHeadendIp;
    target.port = shell.activeHeadendPort;
    target.proxyUse = shell.proxyUse;
    target.proxyIp = shell.proxyIp;
    target.proxyPort = shell.proxyPort;
    return target;
}

} // namespace keldor
