#include "core/features/channels/outputrules.h"

#include "core/common/textutil.h"
#include "core/features/channels/frequencyplan.h"
#include "core/model/channellists.h"
#include "core/model/tunerinfo.h"

namespace keldor {

namespace {

constexpr int lowestFrequency = 112;
constexpr int highestFrequency = 858;
constexpr int highestSymbolrate = 7200;
constexpr int highestQamCode = 5;
constexpr int sevenMegahertz = 0;
// Occupied bandwidth is the symbol rate times 1.15 (roll-off 0.15); half of it in MHz.
constexpr double halfWidthPerKsym = 1.15 / 2000.0;

const QString highDatarate =
    QStringLiteral("This transponder cannot be converted due to high datarate!");
const QString invalidSymbolrate = QStringLiteral("Please enter a valid Symbolrate!");

RuleMessage error(const QString &text)
{
    return {.text = text};
}

RuleMessage collision(const QString &text)
{
    return {UserInterface::Icon::Critical, QStringLiteral("WARNING!!!"), text,
            UserInterface::Buttons::AbortRetryIgnore};
}

// Steps 2 and 3 of the QAM rule, shared with the bandwidth rule.
void raiseSymbolrate(RuleOutcome &outcome, const QString &symbolrateText, int minimum)
{
    const auto value = parseNumber(symbolrateText);
    if (!value) {
        outcome.messages.append(error(invalidSymbolrate));
        outcome.focus = RuleOutcome::Focus::OutSymbolrate;
        return;
    }
    if (roundHalfEven(*value) < minimum)
        outcome.outSymbolrateText = numberText(minimum);
}

} // namespace

RuleOutcome outputFrequencyRule(const QList<OutputSpan> &columns, int column)
{
    RuleOutcome outcome;
    const auto typed = parseNumber(columns.value(column).frequency);
    if (!typed) {
        outcome.messages.append(error(QStringLiteral("Please enter a valid Output-Frequency!")));
        outcome.focus = RuleOutcome::Focus::Back;
        return outcome;
    }
    const auto whole = wholeNumber16(columns.at(column).frequency);
    if (!whole || *whole > highestFrequency || *whole < lowestFrequency) {
        outcome.messages.append(
            error(QStringLiteral("Frequency must be in the range 112 to 858MHz")));
        outcome.focus = RuleOutcome::Focus::Back;
    }
    outcome.fieldText = formatFrequency(*typed);

    const auto fi = wholeNumber16(*outcome.fieldText);
    const auto si = wholeNumber16(columns.at(column).symbolrate);
    if (!fi || !si)
        return outcome;
    const auto span = [](int channel, qint16 frequency, qint16 symbolrate) {
        return BandSpan{channel, frequency - symbolrate * halfWidthPerKsym,
                        frequency + symbolrate * halfWidthPerKsym};
    };
    QList<BandSpan> spans{span(column, *fi, *si)};
    for (int j = 0; j < columns.size(); ++j) {
        const auto fj = wholeNumber16(columns.at(j).frequency);
        const auto sj = wholeNumber16(columns.at(j).symbolrate);
        if (j != column && fj && sj)
            spans.append(span(j, *fj, *sj));
    }
    for (const SpanOverlap &overlap : findOverlaps(spans)) {
        if (overlap.first != column && overlap.second != column)
            continue;
        const int j = overlap.first == column ? overlap.second : overlap.first;
        // The side is that of the other column's centre; an equal centre counts as above.
        const bool lower = *wholeNumber16(columns.at(j).frequency) < *fi;
        outcome.messages.append(
            collision(QStringLiteral("Collision with %1 CHANNEL").arg(lower ? "lower" : "upper") +
                      numberText(j + 1) + QStringLiteral(" at ") + columns.at(j).frequency +
                      QStringLiteral("MHz!!!")));
    }
    return outcome;
}

RuleOutcome outputSymbolrateRule(const QString &symbolrateText, int qamCode, float dataRate)
{
    RuleOutcome outcome;
    const int minimum = getMinSymbol(qamCode, dataRate);
    if (!parseNumber(symbolrateText)) {
        outcome.messages.append(error(invalidSymbolrate));
        outcome.focus = RuleOutcome::Focus::Back;
    } else if (minimum > highestSymbolrate) {
        outcome.messages.append(error(highDatarate));
    } else if (const auto value = wholeNumber16(symbolrateText);
               !value || *value < minimum || *value > highestSymbolrate) {
        outcome.messages.append(error(QStringLiteral("Output Symbolrate must be in the range") +
                                      numberText(minimum) + QStringLiteral(" to 7200kSym")));
        outcome.focus = RuleOutcome::Focus::Back;
    }
    return outcome;
}

RuleOutcome qamRule(const QString &symbolrateText, int qamCode, float dataRate)
{
    RuleOutcome outcome;
    raiseSymbolrate(outcome, symbolrateText, getMinSymbol(qamCode, dataRate));
    return outcome;
}

RuleOutcome bandwidthRule(int bandwidthPosition, int qamCode, const QString &symbolrateText,
                          float dataRate)
{
    RuleOutcome outcome;
    if (!(dataRate > 0))
        return outcome;
    outcome.enableSet = true;
    const int lowest = getMinQam(bandwidthPosition, dataRate);
    if (lowest > highestQamCode) {
        outcome.messages.append(
            error(bandwidthPosition == sevenMegahertz
                      ? QStringLiteral("This transponder does not fit into a 7MHz channel!")
                      : highDatarate));
        return outcome;
    }
    const int selected = qamCode < lowest ? lowest : qamCode;
    outcome.qamList = QamList{lowest, selected};
    const int minimum = getMinSymbol(selected, dataRate);
    if (minimum > highestSymbolrate)
        outcome.messages.append(error(highDatarate));
    else
        raiseSymbolrate(outcome, symbolrateText, minimum);
    return outcome;
}

} // namespace keldor
