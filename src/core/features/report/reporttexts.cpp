#include "core/features/report/reporttexts.h"

#include "core/model/channeltextsview.h"
#include "core/model/readunitdata.h"

namespace keldor {

ReportTexts reportTexts(const UnitData &unit)
{
    ChannelTextsView view;
    showUnitData(unit, view);
    ReportTexts texts;
    texts.device = view.device();
    for (int channel = 0; channel < channelCount; ++channel)
        texts.channels.at(static_cast<size_t>(channel)) = view.texts(channel);
    return texts;
}

} // namespace keldor
