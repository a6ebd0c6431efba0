#pragma once

#include "core/features/channels/ruleoutcome.h"

#include <QList>

namespace keldor {

// The checks of a column's cable output fields. They judge texts only and send nothing.

// The two texts of a column that decide which part of the cable band it occupies.
struct OutputSpan {
    QString frequency;  // MHz
    QString symbolrate; // kSym/s
};

// Output frequency of column `column` when the user leaves it: range 112..858 MHz, the text
// rewritten with two decimals, then a warning for every other column it overlaps. `columns`
// holds the texts of columns 0..maxChannel; a column whose texts are no numbers is skipped.
RuleOutcome outputFrequencyRule(const QList<OutputSpan> &columns, int column);

// Output symbol rate against the minimum for the selected QAM code (-1: nothing selected) and
// the transponder's data rate.
RuleOutcome outputSymbolrateRule(const QString &symbolrateText, int qamCode, float dataRate);

// After a QAM selection: a symbol rate below the new minimum is raised to it.
RuleOutcome qamRule(const QString &symbolrateText, int qamCode, float dataRate);

// After a bandwidth selection: the QAM list keeps only the orders that carry the transponder in
// the new bandwidth, the QAM order stays where it can, and the symbol rate follows. qamCode is
// the code of the selected QAM entry, or of the first entry when nothing is selected. Without a
// data rate nothing happens at all.
RuleOutcome bandwidthRule(int bandwidthPosition, int qamCode, const QString &symbolrateText,
                          float dataRate);

} // namespace keldor
