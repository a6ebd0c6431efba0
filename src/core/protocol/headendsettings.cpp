#include "protocol/headendsettings.h"

#include "channels/channeltextsview.h"
#include "common/userinterface.h"
#include "model/settingsfile.h"
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

std::optional<UnitData> readFileOverHeadend(Exchange &exchange, UserInterface &ui,
                                            const QString &path, UnitData &headend)
{
    {
        BusyCursor busy(ui);
        if (!readHeadendSettings(exchange, headend))
            return std::nullopt;
    }
    UnitData file = headend;
    // The file was checked before the headend was asked; one changed since is refused all the
    // same.
    if (!loadSettingsFile(ui, path, file))
        return std::nullopt;
    return file;
}

} // namespace keldor
