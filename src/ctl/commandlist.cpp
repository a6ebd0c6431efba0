#include "ctlcommand.h"

namespace keldor {

const CtlCommandTable &ctlCommands()
{
    static const CtlCommandTable table = [] {
        CtlCommandTable t;
        addParameterCommands(t);
        addMaintenanceCommands(t);
        addFileCommands(t);
        addChannelCommands(t);
        addCompareCommands(t);
        addHealthCommands(t);
        addHistoryCommands(t);
        return t;
    }();
    return table;
}

} // namespace keldor
