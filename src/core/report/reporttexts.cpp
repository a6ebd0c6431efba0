#include "report/reporttexts.h"

#include "channels/channeltextsview.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"

namespace keldor {

ReportTexts report_texts(const ChannelTextsView &view)
{
    ReportTexts texts;
    texts.device = view.device();
    for (int channel = 0; channel < channelCount; ++channel)
        texts.channels.at(static_cast<size_t>(channel)) = view.texts(channel);
    return texts;
}

bool read_report_texts(Exchange &exchange, UnitData &unit, ReportTexts &texts)
{
    ChannelTextsView view;
    if (!check_devicetype(exchange, unit) || !read_unit_data(exchange, unit, view))
        return false;
    texts = report_texts(view);
    return true;
}

} // namespace keldor
