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

bool check_devicetype(Exchange &exchange, UnitData &unit)
{
    unit.max_channel = 11;
    unit.device_variant = 0;

    ParamValue version;
    if (!read_parameter(exchange, 0, controllerVersionCode, 0, version))
        return false;
    unit.controller_version = version.text;
    if (compare_text(version.text, "1.02") <= 0)
        return true;

    ParamValue variant;
    if (!read_parameter(exchange, 0, variantCode, 0, variant))
        return false;
    switch (variant.toInt()) {
    case 0:
        unit.max_channel = 11;
        break;
    case 1:
        unit.max_channel = 7;
        break;
    case 2:
        unit.max_channel = 9;
        break;
    default:
        unit.max_channel = 15;
        break;
    }
    unit.device_variant = variant.toInt() <= 2 ? variant.toInt() : sixteenChannelVariant;
    return true;
}

} // namespace keldor
