#include "report/reporttexts.h"

#include "channels/channeltextsview.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"

namespace keldor {

ReportTexts reportTexts(const ChannelTextsView &view)
{
    ReportTexts texts;
    texts.device = view.device();
    for (int channel = 0; channel < channelCount; ++channel)
        texts.channels.at(static_cast<size_t>(channel)) = view.texts(channel);
    return texts;
}

bool readReportTexts(Exchange &exchange, UnitData &unit, ReportTexts &texts)
{
    ChannelTextsView view;
    if (!checkDeviceType(exchange, unit) || !readUnitData(exchange, unit, view))
        return false;
    texts = reportTexts(view);
    return true;
}

} // namespace keldor
