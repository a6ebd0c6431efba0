#include "core/features/channels/inputrules.h"

#include "core/common/textutil.h"

#include <QRegularExpression>

namespace keldor {

namespace {

constexpr int autoLowest = 10700;
constexpr int autoHighest = 12750;
constexpr int lowestIntermediate = 950;
constexpr int highestIntermediate = 2150;
constexpr double lowestSymbolrate = 2000;
constexpr double highestSymbolrate = 45000;
constexpr int lowestLo = 9500;
constexpr int highestLo = 11000;

RuleOutcome refuse(const QString &text)
{
    RuleOutcome outcome;
    outcome.messages.append({.text = text});
    outcome.focus = RuleOutcome::Focus::Back;
    return outcome;
}

bool isAuto(const QString &loText)
{
    return loText.toUpper() == QLatin1String("AUTO");
}

} // namespace

RuleOutcome transponderFrequencyRule(const QString &frequencyText, const QString &loText)
{
    if (!parseNumber(frequencyText))
        return refuse(QStringLiteral("Please enter a valid Transponder-Frequency!"));
    const auto frequency = wholeNumber16(frequencyText);
    if (isAuto(loText)) {
        if (!frequency || *frequency < autoLowest || *frequency > autoHighest)
            return refuse(QStringLiteral("TP-Frequency must be in the range 10700MHz to 12750MHz"));
        return {};
    }
    // Before the first read the LO box may be empty; there is nothing to check against then.
    const auto lo = wholeNumber16(loText);
    if (!lo)
        return {};
    const int intermediate = frequency ? *frequency - *lo : -1;
    if (!frequency || intermediate < lowestIntermediate || intermediate > highestIntermediate)
        return refuse(QStringLiteral("TP-Frequency must be in the range") +
                      numberText(*lo + lowestIntermediate) + QStringLiteral(" to") +
                      numberText(*lo + highestIntermediate) + QStringLiteral("MHz"));
    return {};
}

double leadingNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    QString packed = text;
    packed.remove(QRegularExpression(QStringLiteral("[ \\t\\r\\n]")));
    const QRegularExpressionMatch match = number.match(packed);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const double value = match.captured(0).toDouble(&ok);
    return ok ? value : 0;
}

RuleOutcome inputSymbolrateRule(const QString &symbolrateText)
{
    const double value = leadingNumber(symbolrateText);
    if (value < lowestSymbolrate || value > highestSymbolrate)
        return refuse(QStringLiteral("Symbolrate must be in the range 2000 to 45000kSym"));
    return {};
}

RuleOutcome loRule(const QString &loText, const QStringList &loEntries)
{
    if (isAuto(loText))
        return {};
    if (!parseNumber(loText))
        return refuse(QStringLiteral("Please enter a valid LO-Frequency!"));
    const auto lo = wholeNumber16(loText);
    if (!lo || *lo < lowestLo || *lo > highestLo)
        return refuse(QStringLiteral("LO-Frequency must be in the range 9500 to 11000MHz"));
    if (loText == QLatin1String("10600") || loText == QLatin1String("9750") ||
        loEntries.contains(loText))
        return {};
    RuleOutcome outcome;
    outcome.appendLoEntry = loText;
    return outcome;
}

} // namespace keldor
