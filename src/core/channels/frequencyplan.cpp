#include "channels/frequencyplan.h"

#include "channels/channellists.h"
#include "common/textutil.h"

#include <QJsonArray>

#include <algorithm>

namespace keldor {

namespace {

constexpr double sevenMegahertz = 7.0;
constexpr double eightMegahertz = 8.0;

QString megahertz(double value)
{
    return formatFrequency(value) + QStringLiteral(" MHz");
}

QString channelName(int channel)
{
    return QStringLiteral("Channel") + numberText(channel + 1);
}

double lowEdge(const PlanBar &bar)
{
    return bar.centreMHz - bar.widthMHz / 2;
}

double highEdge(const PlanBar &bar)
{
    return bar.centreMHz + bar.widthMHz / 2;
}

} // namespace

QList<SpanOverlap> findOverlaps(const QList<BandSpan> &spans)
{
    QList<SpanOverlap> overlaps;
    for (qsizetype a = 0; a < spans.size(); ++a) {
        for (qsizetype b = a + 1; b < spans.size(); ++b) {
            const BandSpan &x = spans.at(a);
            const BandSpan &y = spans.at(b);
            // Strict on both sides: edges that meet are neighbours, while a channel without
            // width inside another one still collides with it.
            if (x.lowMHz < y.highMHz && y.lowMHz < x.highMHz)
                overlaps.append({std::min(x.channel, y.channel), std::max(x.channel, y.channel),
                                 std::max(x.lowMHz, y.lowMHz), std::min(x.highMHz, y.highMHz)});
        }
    }
    std::sort(overlaps.begin(), overlaps.end(), [](const SpanOverlap &l, const SpanOverlap &r) {
        return std::pair(l.first, l.second) < std::pair(r.first, r.second);
    });
    return overlaps;
}

FrequencyPlan frequencyPlan(const UnitData &unit)
{
    FrequencyPlan plan;
    QList<BandSpan> active;
    for (int ch = 0; ch < unit.channelsInUse(); ++ch) {
        const ChannelRecord &record = unit.channel(ch);
        // A bandwidth position the list doesn't know is drawn as the wider channel, so that a
        // possible overlap is shown rather than hidden.
        const PlanBar bar{ch, record.outFrequency,
                          record.bandwidth == 0 ? sevenMegahertz : eightMegahertz,
                          record.outputOn != 0};
        plan.bars.append(bar);
        if (bar.active)
            active.append({ch, lowEdge(bar), highEdge(bar)});
    }
    plan.overlaps = findOverlaps(active);
    return plan;
}

QString planText(const FrequencyPlan &plan)
{
    QString text =
        QStringLiteral("Cable band %1 to %2\n").arg(megahertz(bandLowMHz), megahertz(bandHighMHz));
    for (const PlanBar &bar : plan.bars) {
        text += channelName(bar.channel) + QStringLiteral(": ");
        if (!bar.active) {
            text += QStringLiteral("off\n");
            continue;
        }
        text += QStringLiteral("%1, %2 wide, %3 to %4\n")
                    .arg(megahertz(bar.centreMHz),
                         QString::number(bar.widthMHz) + QStringLiteral(" MHz"),
                         megahertz(lowEdge(bar)), megahertz(highEdge(bar)));
    }
    if (plan.overlaps.isEmpty())
        return text + QStringLiteral("No overlaps\n");
    text += QStringLiteral("Overlaps:\n");
    for (const SpanOverlap &o : plan.overlaps)
        text += QStringLiteral("  ") + overlapText(o) + QLatin1Char('\n');
    return text;
}

QString overlapText(const SpanOverlap &overlap)
{
    return QStringLiteral("%1 and %2: %3 to %4")
        .arg(channelName(overlap.first), channelName(overlap.second), megahertz(overlap.fromMHz),
             megahertz(overlap.toMHz));
}

QJsonObject planJson(const FrequencyPlan &plan)
{
    QJsonArray bars;
    for (const PlanBar &bar : plan.bars)
        bars.append(QJsonObject{{"channel", bar.channel + 1},
                                {"centreMHz", bar.centreMHz},
                                {"widthMHz", bar.widthMHz},
                                {"lowMHz", lowEdge(bar)},
                                {"highMHz", highEdge(bar)},
                                {"active", bar.active}});
    QJsonArray overlaps;
    for (const SpanOverlap &o : plan.overlaps)
        overlaps.append(QJsonObject{{"channels", QJsonArray{o.first + 1, o.second + 1}},
                                    {"fromMHz", o.fromMHz},
                                    {"toMHz", o.toMHz}});
    return {{"bandLowMHz", bandLowMHz},
            {"bandHighMHz", bandHighMHz},
            {"channels", bars},
            {"overlaps", overlaps}};
}

} // namespace keldor
