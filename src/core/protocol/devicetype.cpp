#include "protocol/devicetype.h"

#include "common/textutil.h"
#include "model/unitdata.h"
#include "protocol/parameters.h"

namespace keldor {

namespace {
constexpr quint8 controllerVersionCode = 0x78;
constexpr quint8 variantCode = 0xA3;
constexpr qint32 sixteenChannelVariant = 3;
} // namespace

bool checkDeviceType(Exchange &exchange, UnitData &unit)
{
    unit.maxChannel = 11;
    unit.deviceVariant = 0;

    ParamValue version;
    if (!readParameter(exchange, 0, controllerVersionCode, 0, version))
        return false;
    unit.controllerVersion = version.text;
    if (compareText(version.text, "1.02") <= 0)
        return true;

    ParamValue variant;
    if (!readParameter(exchange, 0, variantCode, 0, variant))
        return false;
    switch (variant.toInt()) {
    case 0:
        unit.maxChannel = 11;
        break;
    case 1:
        unit.maxChannel = 7;
        break;
    case 2:
        unit.maxChannel = 9;
        break;
    default:
        unit.maxChannel = 15;
        break;
    }
    unit.deviceVariant = variant.toInt() <= 2 ? variant.toInt() : sixteenChannelVariant;
    return true;
}

} // namespace keldor
