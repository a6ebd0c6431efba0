#include "shell/station.h"

namespace keldor {

Station::Station(UserInterface &ui, SettingsStore &settings, const Timing &timing)
    : ui(ui)
    , settings(settings)
    , session(ui, timing)
{}

LanTarget Station::lanTarget() const
{
    LanTarget target;
    target.name = shell.active_headend_name;
    target.ip = shell.active_headend_ip;
    target.port = shell.active_headend_port;
    target.proxy_use = shell.proxy_use;
    target.proxy_ip = shell.proxy_ip;
    target.proxy_port = shell.proxy_port;
    return target;
}

} // namespace keldor
