#pragma once

#include "core/model/unitdata.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

namespace keldor {

// The cable band a headend's outputs may use.
constexpr double bandLowMHz = 112.0;
constexpr double bandHighMHz = 858.0;

// The part of the cable band one channel occupies.
struct BandSpan {
    int channel = 0;
    double lowMHz = 0;
    double highMHz = 0;
};

// Where two channels share the band; first < second.
struct SpanOverlap {
    int first = 0;
    int second = 0;
    double fromMHz = 0;
    double toMHz = 0;

    bool operator==(const SpanOverlap &) const = default;
};

// Every pair of spans that share more than an edge, ordered by first, then second. The
// output-frequency collision rule and the frequency plan both judge overlaps here, so they never
// disagree.
QList<SpanOverlap> findOverlaps(const QList<BandSpan> &spans);

// One channel of the plan, as an operator reads a cable plan: its nominal bandwidth around its
// output frequency.
struct PlanBar {
    int channel = 0; // 0-based
    double centreMHz = 0;
    double widthMHz = 0; // 7 or 8 MHz
    bool active = false; // output on
};

struct FrequencyPlan {
    QList<PlanBar> bars;         // channels 0..maxChannel
    QList<SpanOverlap> overlaps; // among active bars only
};

FrequencyPlan frequencyPlan(const UnitData &unit);
QString planText(const FrequencyPlan &plan);
// "Channel 2 and Channel 3: 126.00 MHz to 130.00 MHz", as the plan's text lists an overlap.
QString overlapText(const SpanOverlap &overlap);
QJsonObject planJson(const FrequencyPlan &plan);

// The part of the band a drawn plan shows.
struct PlanRange {
    double lowMHz = bandLowMHz;
    double highMHz = bandHighMHz;

    bool operator==(const PlanRange &) const = default;
};

// Where the plan's channels lie, with room on both sides, on whole ten megahertz and never
// narrower than six channels; the whole band when no channel lies in it.
PlanRange occupiedRange(const FrequencyPlan &plan);

// How far right of the range's low end a frequency lies on a range drawn pixels wide.
double planX(const PlanRange &range, double pixels, double megahertz);

// The frequencies the axis names: both ends of the range and the round ones between them
// that keep at least spacing pixels from every other.
QList<double> planTicks(const PlanRange &range, double pixels, double spacing);

// A channel number above the bars; row 0 lies next to them, each further row above the last.
struct PlanLabel {
    int channel = 0; // 0-based
    QString text;
    double left = 0; // pixels from the range's low end
    double width = 0;
    int row = 0;
};

// The channel numbers of the channels inside the range, each centred over its bar, or pushed
// back inside where it would stick out at an end, in the lowest row where it keeps gap pixels
// from its neighbours. No two labels touch however close the channels lie: a crowded plan
// only gets more rows.
QList<PlanLabel> placePlanLabels(const FrequencyPlan &plan, const PlanRange &range, double pixels,
                                 const std::function<double(const QString &)> &textWidth,
                                 double gap);

} // namespace keldor
