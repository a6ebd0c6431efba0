#include "ctlcommand.h"

namespace keldor {

const CtlCommandTable &ctl_commands()
{
    static const CtlCommandTable table = [] {
        CtlCommandTable t;
        add_parameter_commands(t);
        add_maintenance_commands(t);
        add_file_commands(t);
        add_channel_commands(t);
        return t;
    }();
    return table;
}

} // namespace keldor
