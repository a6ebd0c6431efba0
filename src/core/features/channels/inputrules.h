#pragma once

#include "core/features/channels/ruleoutcome.h"

#include <QStringList>

namespace keldor {

// The checks of a column's satellite input fields when the user leaves them. They judge texts
// only and send nothing.

// Transponder frequency against the column's LO text ("AUTO", a number, or anything else,
// which leaves the frequency unchecked).
RuleOutcome transponderFrequencyRule(const QString &frequencyText, const QString &loText);
// Input symbol rate: the leading number of the text, 2000..45000 kSym/s.
RuleOutcome inputSymbolrateRule(const QString &symbolrateText);
// LO: "AUTO" in any case, or 9500..11000 MHz; a new value is appended to loEntries.
RuleOutcome loRule(const QString &loText, const QStringList &loEntries);

// The leading number of a text the way the input symbol rate rule reads it: blanks are
// skipped, reading stops at the first character that can't continue a number, and a text
// without a leading number is 0.
double leadingNumber(const QString &text);

} // namespace keldor
