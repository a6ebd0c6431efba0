#include "core/model/devicetype.h"

#include "core/common/textutil.h"
#include "core/link/exchange.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

namespace keldor {

namespace {
constexpr qint32 sixteenChannelVariant = 3;

void setVariant(UnitData &unit, qint32 variant)
{
    switch (variant) {
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
    unit.deviceVariant = variant <= 2 ? variant : sixteenChannelVariant;
}

} // namespace

bool checkDeviceType(Exchange &exchange, UnitData &unit)
{
    exchange.deadline().enter(Stage::Identity);
    unit.maxChannel = 11;
    unit.deviceVariant = 0;

    ParamValue version;
    if (!readParameter(exchange, 0, param::controllerVersion, 0, version))
        return false;
    unit.controllerVersion = version.text;
    if (compareText(version.text, "1.02") <= 0)
        return true;

    ParamValue variant;
    if (!readParameter(exchange, 0, param::variant, 0, variant))
        return false;
    setVariant(unit, variant.toInt());
    return true;
}

bool setHeadendModel(UnitData &unit, int channels)
{
    // The variant codes in the order of their channel counts 12, 8, 10, 16.
    static const QList<int> byVariant{12, 8, 10, 16};
    const qsizetype variant = byVariant.indexOf(channels);
    if (variant < 0)
        return false;
    setVariant(unit, static_cast<qint32>(variant));
    return true;
}

} // namespace keldor
