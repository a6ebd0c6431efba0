#include "protocol/headendsettings.h"

#include "channels/channeltextsview.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"
#include "services/servicelists.h"

#include <algorithm>

namespace keldor {

bool readHeadendSettings(Exchange &exchange, UnitData &unit)
{
    ChannelTextsView view;
    if (!checkDeviceType(exchange, unit) ||
        !readUnitData(exchange, unit, view, ReadNotices::Hidden))
        return false;
    // A headend without service lists passes every service, which is what an empty list says.
    const bool lists = serviceListsSupported(unit.identity.fpgaVersion,
                                             unit.identity.controllerVersion, unit.deviceVariant);
    for (int ch = 0; ch < unit.channelsInUse(); ++ch) {
        ChannelRecord &record = unit.channel(ch);
        ChannelServices services;
        if (lists && !readServiceLists(exchange, ch, services))
            return false;
        const auto count = std::min<qsizetype>(services.listedIds.size(), serviceIdCapacity);
        record.serviceMode = services.mode;
        record.serviceCount = static_cast<quint8>(count);
        record.serviceIds = {};
        std::copy_n(services.listedIds.cbegin(), count, record.serviceIds.begin());
    }
    return true;
}

} // namespace keldor
