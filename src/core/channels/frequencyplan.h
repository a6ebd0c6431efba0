#pragma once

#include "model/unitdata.h"

#include <QJsonObject>
#include <QList>
#include <QString>

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

} // namespace keldor
