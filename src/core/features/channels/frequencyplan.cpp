#include "core/features/channels/frequencyplan.h"

#include "core/common/textutil.h"
#include "core/model/channellists.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace keldor {

namespace {

constexpr double sevenMegahertz = 7.0;
constexpr double eightMegahertz = 8.0;
// A zoomed plan keeps half a channel free beside its outer channels and never shows less than
// six channels' worth of band, so that a lone channel still reads as one among others.
constexpr double rangeMarginMHz = 4.0;
constexpr double rangeStepMHz = 10.0;
constexpr double narrowestRangeMHz = 6 * eightMegahertz;

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
    // Every pair once, walked with iterators so that no index can step past the last span.
    for (auto x = spans.cbegin(); x != spans.cend(); ++x) {
        for (auto y = std::next(x); y != spans.cend(); ++y) {
            // Strict on both sides: edges that meet are neighbours, while a channel without
            // width inside another one still collides with it.
            if (x->lowMHz < y->highMHz && y->lowMHz < x->highMHz)
                overlaps.append({std::min(x->channel, y->channel), std::max(x->channel, y->channel),
                                 std::max(x->lowMHz, y->lowMHz), std::min(x->highMHz, y->highMHz)});
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

namespace keldor {

PlanRange occupiedRange(const FrequencyPlan &plan)
{
    double low = bandHighMHz;
    double high = bandLowMHz;
    for (const PlanBar &bar : plan.bars) {
        low = std::min(low, lowEdge(bar));
        high = std::max(high, highEdge(bar));
    }
    low = std::max(low, bandLowMHz);
    high = std::min(high, bandHighMHz);
    if (low >= high)
        return {};
    low = std::max(bandLowMHz, std::floor((low - rangeMarginMHz) / rangeStepMHz) * rangeStepMHz);
    high = std::min(bandHighMHz, std::ceil((high + rangeMarginMHz) / rangeStepMHz) * rangeStepMHz);
    while (high - low < narrowestRangeMHz) {
        low = std::max(bandLowMHz, low - rangeStepMHz);
        high = std::min(bandHighMHz, high + rangeStepMHz);
    }
    return {low, high};
}

double planX(const PlanRange &range, double pixels, double megahertz)
{
    return (megahertz - range.lowMHz) / (range.highMHz - range.lowMHz) * pixels;
}

QList<double> planTicks(const PlanRange &range, double pixels, double spacing)
{
    // A band not laid out yet has no room for any number between its ends.
    if (pixels <= 0)
        return {range.lowMHz, range.highMHz};
    const double pixelsPerMHz = pixels / (range.highMHz - range.lowMHz);
    // The first of 1, 2, 5, 10, 20, 50, ... MHz that leaves the numbers their room.
    double step = 1;
    for (int i = 0; step * pixelsPerMHz < spacing; ++i)
        step *= i % 3 == 1 ? 2.5 : 2;
    QList<double> ticks{range.lowMHz};
    for (double mhz = std::floor(range.lowMHz / step) * step + step; mhz < range.highMHz;
         mhz += step) {
        if ((mhz - range.lowMHz) * pixelsPerMHz >= spacing &&
            (range.highMHz - mhz) * pixelsPerMHz >= spacing)
            ticks.append(mhz);
    }
    ticks.append(range.highMHz);
    return ticks;
}

QList<PlanLabel> placePlanLabels(const FrequencyPlan &plan, const PlanRange &range, double pixels,
                                 const std::function<double(const QString &)> &textWidth,
                                 double gap)
{
    QList<PlanLabel> labels;
    for (const PlanBar &bar : plan.bars) {
        if (bar.centreMHz < range.lowMHz || bar.centreMHz > range.highMHz)
            continue;
        PlanLabel label{bar.channel, QString::number(bar.channel + 1)};
        label.width = textWidth(label.text);
        label.left = std::clamp(planX(range, pixels, bar.centreMHz) - label.width / 2, 0.0,
                                std::max(0.0, pixels - label.width));
        labels.append(label);
    }
    // Taken from the left, each label goes into the lowest row that has room for it: as few
    // rows as the crowding needs.
    std::stable_sort(labels.begin(), labels.end(),
                     [](const PlanLabel &a, const PlanLabel &b) { return a.left < b.left; });
    QList<double> rowEnds;
    for (PlanLabel &label : labels) {
        label.row = 0;
        while (label.row < rowEnds.size() && label.left < rowEnds.at(label.row) + gap)
            ++label.row;
        if (label.row == rowEnds.size())
            rowEnds.append(0);
        rowEnds[label.row] = label.left + label.width;
    }
    return labels;
}

} // namespace keldor
