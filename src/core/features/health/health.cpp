#include "core/features/health/health.h"

#include "core/model/channellists.h"
#include "core/model/tunerinfo.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

namespace keldor {

namespace {

constexpr double bitsPerErrorCount = 1e7;

QString number(double value)
{
    return QString::number(value);
}

QString channelLabel(int channel, const char *what)
{
    return QStringLiteral("ch%1_%2").arg(channel).arg(QLatin1String(what));
}

// The headend's own words for a tuner that is not locked.
QString tunerProblem(const ChannelHealth &channel)
{
    if (channel.tunerState == tunerUnlocked && channel.noSignal)
        return lists::tunerStatus().at(2);
    return tunerStateText(channel.tunerState);
}

void addDeviceFigures(const HealthReading &reading, const HealthThresholds &thresholds,
                      QList<HealthFigure> &figures)
{
    figures.append({QStringLiteral("temperature"), QStringLiteral("keldor_temperature_celsius"),
                    QStringLiteral("Actual temperature of the headend in degrees Celsius."), 0,
                    reading.temperature, 0, thresholds.warnTemperature.text,
                    thresholds.critTemperature.text, std::nullopt, std::nullopt});
    figures.append(
        {QStringLiteral("temperature_max"), QStringLiteral("keldor_temperature_max_celsius"),
         QStringLiteral("Highest temperature the headend recorded, degrees Celsius."), 0,
         reading.maximumTemperature, 0, QString(), QString(), std::nullopt, std::nullopt});
    figures.append({QStringLiteral("operating_hours"), QStringLiteral("keldor_operating_hours"),
                    QStringLiteral("Total operating hours of the headend."), 0,
                    double(reading.operatingHours), 0, QString(), QString(), 0.0, std::nullopt});
    figures.append({QStringLiteral("critical_hours"),
                    QStringLiteral("keldor_critical_operating_hours"),
                    QStringLiteral("Operating hours the headend counted as critical."), 0,
                    double(reading.criticalHours), 0, QString(), QString(), 0.0, std::nullopt});
}

void addChannelFigures(const ChannelHealth &channel, const HealthThresholds &thresholds,
                       QList<HealthFigure> &figures)
{
    const bool locked = channel.tunerState == tunerLocked;
    figures.append({channelLabel(channel.channel, "lock"), QStringLiteral("keldor_tuner_locked"),
                    QStringLiteral("1 when the tuner of an active output channel is locked."),
                    channel.channel, locked ? 1.0 : 0.0, 0, QString(), QStringLiteral("1:"), 0.0,
                    1.0});
    std::optional<double> ber;
    if (locked && channel.bitErrors)
        ber = *channel.bitErrors / bitsPerErrorCount;
    figures.append({channelLabel(channel.channel, "ber"), QStringLiteral("keldor_bit_error_ratio"),
                    QStringLiteral("Bit error ratio the tuner of an active channel reports."),
                    channel.channel, ber, 7, QString(), QString(), 0.0, std::nullopt});
    std::optional<double> snr;
    if (locked && channel.snrTenths)
        snr = *channel.snrTenths / 10.0;
    figures.append({channelLabel(channel.channel, "snr"), QStringLiteral("keldor_snr_decibels"),
                    QStringLiteral("Signal-to-noise ratio at the tuner of an active channel, dB."),
                    channel.channel, snr, 1, thresholds.warnSnr.text, thresholds.critSnr.text,
                    std::nullopt, std::nullopt});
}

// The side of a range a value alerts on, in the summary's words.
enum class Breach { None, Below, Above, Inside };

Breach breachOf(const HealthRange &range, double value)
{
    if (range.inside)
        return value >= range.low && value <= range.high ? Breach::Inside : Breach::None;
    if (value < range.low)
        return Breach::Below;
    return value > range.high ? Breach::Above : Breach::None;
}

QString breachWords(const HealthRange &range, Breach breach)
{
    switch (breach) {
    case Breach::Below:
        return QStringLiteral("below ") + number(range.low);
    case Breach::Above:
        return QStringLiteral("above ") + number(range.high);
    case Breach::Inside:
    case Breach::None:
        break;
    }
    return QStringLiteral("inside ") + range.text;
}

std::optional<double> finiteNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// The summary and the status line are one line each, and a '|' would start the perfdata.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('|'), QLatin1Char('/'));
    return text;
}

QString valueText(const HealthFigure &figure)
{
    return figure.value ? QString::number(*figure.value, 'f', figure.decimals)
                        : QStringLiteral("U");
}

QString perfdataItem(const HealthFigure &figure)
{
    QString label = figure.label;
    label.replace(QLatin1Char('\''), QLatin1String("''"));
    QString item = QLatin1Char('\'') + label + QStringLiteral("'=") + valueText(figure);
    const QStringList tail{figure.warn, figure.crit, figure.min ? number(*figure.min) : QString(),
                           figure.max ? number(*figure.max) : QString()};
    QString fields = QLatin1Char(';') + tail.join(QLatin1Char(';'));
    while (fields.endsWith(QLatin1Char(';')))
        fields.chop(1);
    return item + fields;
}

QString escapedLabelValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('"'), QLatin1String("\\\""));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return value;
}

QString escapedHelp(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}

MetricSample healthSample(const QString &metric, const QString &help, const QString &headend,
                          int channel, const QString &value)
{
    MetricSample sample{metric, help, QStringLiteral("gauge"), {}, value};
    if (!headend.isEmpty())
        sample.labels.append({QStringLiteral("headend"), headend});
    if (channel > 0)
        sample.labels.append({QStringLiteral("channel"), QString::number(channel)});
    return sample;
}

} // namespace

bool HealthRange::alerts(double value) const
{
    return breachOf(*this, value) != Breach::None;
}

HealthRange plainThreshold(double value, PlainThreshold plain)
{
    HealthRange range;
    if (plain == PlainThreshold::AlertAbove) {
        range.high = value;
        range.text = number(value);
    } else {
        range.low = value;
        range.text = number(value) + QLatin1Char(':');
    }
    return range;
}

std::variant<HealthRange, QString> parseHealthRange(const QString &text, PlainThreshold plain)
{
    if (const auto value = finiteNumber(text))
        return plainThreshold(*value, plain);
    const QString malformed =
        QStringLiteral("\"%1\" is neither a number nor a range such as 10:20, 10:, ~:10 or @10:20")
            .arg(text);
    HealthRange range;
    range.inside = text.startsWith(QLatin1Char('@'));
    const QString body = range.inside ? text.mid(1) : text;
    const qsizetype colon = body.indexOf(QLatin1Char(':'));
    // Without a ':' the text is the end and the start is 0: "@10" is @0:10.
    const QString start = colon < 0 ? QString() : body.left(colon);
    const QString end = body.mid(colon + 1);
    if (start != QLatin1String("~")) {
        const auto low = start.isEmpty() ? std::optional(0.0) : finiteNumber(start);
        if (!low)
            return malformed;
        range.low = *low;
    }
    if (!end.isEmpty()) {
        const auto high = finiteNumber(end);
        if (!high)
            return malformed;
        range.high = *high;
    } else if (colon < 0) {
        return malformed;
    }
    if (range.low > range.high)
        return QStringLiteral("\"%1\" starts above its end").arg(text);
    range.text = (range.inside ? QStringLiteral("@") : QString()) +
                 (std::isinf(range.low) ? QStringLiteral("~") : number(range.low)) +
                 QLatin1Char(':') + (std::isinf(range.high) ? QString() : number(range.high));
    return range;
}

QString thresholdProblem(const HealthThresholds &thresholds)
{
    // A warning whose end lies beyond the critical one's on the same side would only come after
    // the critical state. A range that alerts inside itself has no such order.
    const auto outOfOrder = [](const HealthRange &warn, const HealthRange &crit, const char *what) {
        if (warn.inside || crit.inside)
            return QString();
        if (std::isfinite(warn.high) && warn.high > crit.high)
            return QStringLiteral("--warn-%1 must not be above --crit-%1").arg(QLatin1String(what));
        if (std::isfinite(warn.low) && warn.low < crit.low)
            return QStringLiteral("--warn-%1 must not be below --crit-%1").arg(QLatin1String(what));
        return QString();
    };
    const QString temperature =
        outOfOrder(thresholds.warnTemperature, thresholds.critTemperature, "temp");
    return temperature.isEmpty() ? outOfOrder(thresholds.warnSnr, thresholds.critSnr, "snr")
                                 : temperature;
}

HealthReport evaluateHealth(const HealthReading &reading, const HealthThresholds &thresholds)
{
    HealthReport report;
    QStringList critical;
    QStringList warning;
    const double temperature = reading.temperature;
    const Breach criticalTemperature = breachOf(thresholds.critTemperature, temperature);
    const Breach warningTemperature = breachOf(thresholds.warnTemperature, temperature);
    if (criticalTemperature != Breach::None)
        critical.append(QStringLiteral("temperature %1 C %2")
                            .arg(reading.temperature)
                            .arg(breachWords(thresholds.critTemperature, criticalTemperature)));
    else if (warningTemperature != Breach::None)
        warning.append(QStringLiteral("temperature %1 C %2")
                           .arg(reading.temperature)
                           .arg(breachWords(thresholds.warnTemperature, warningTemperature)));
    addDeviceFigures(reading, thresholds, report.figures);

    int active = 0;
    int locked = 0;
    struct SnrAlert {
        int channel = 0;
        double snr = 0;
        Breach breach = Breach::None;
    };
    QList<SnrAlert> criticalSnr;
    QList<SnrAlert> warningSnr;
    for (const ChannelHealth &channel : reading.channels) {
        // A channel whose output is off sends nothing, so its tuner can't hurt anybody.
        if (!channel.outputOn)
            continue;
        ++active;
        addChannelFigures(channel, thresholds, report.figures);
        if (channel.tunerState != tunerLocked) {
            critical.append(QStringLiteral("channel %1 output on: %2")
                                .arg(channel.channel)
                                .arg(tunerProblem(channel)));
            continue;
        }
        ++locked;
        if (!channel.snrTenths)
            continue;
        const double snr = *channel.snrTenths / 10.0;
        if (const Breach breach = breachOf(thresholds.critSnr, snr); breach != Breach::None)
            criticalSnr.append({channel.channel, snr, breach});
        else if (const Breach breach = breachOf(thresholds.warnSnr, snr); breach != Breach::None)
            warningSnr.append({channel.channel, snr, breach});
    }
    // A weak dish drags every channel down at once; one line per channel would bury the
    // summary, so beyond a few channels on one side of the range only the count and the worst
    // one are named.
    const auto snrProblems = [](const QList<SnrAlert> &alerts, const HealthRange &range) {
        constexpr qsizetype namedChannels = 3;
        QStringList texts;
        for (const Breach side : {Breach::Below, Breach::Above, Breach::Inside}) {
            QList<SnrAlert> group;
            std::copy_if(alerts.begin(), alerts.end(), std::back_inserter(group),
                         [side](const SnrAlert &alert) { return alert.breach == side; });
            if (group.isEmpty())
                continue;
            const QString where = breachWords(range, side);
            if (group.size() <= namedChannels) {
                for (const SnrAlert &alert : group)
                    texts.append(QStringLiteral("channel %1 S/N %2 dB %3")
                                     .arg(alert.channel)
                                     .arg(QString::number(alert.snr, 'f', 1), where));
                continue;
            }
            // The first of equals is named, as a reader scans from channel 1.
            const auto bySnr = [](const SnrAlert &a, const SnrAlert &b) {
                return a.snr < b.snr;
            };
            const bool high = side == Breach::Above;
            const SnrAlert &worst = high ? *std::max_element(group.begin(), group.end(), bySnr)
                                         : *std::min_element(group.begin(), group.end(), bySnr);
            texts.append(QStringLiteral("S/N %1 dB on %2 channels, %3 %4 dB on channel %5")
                             .arg(where)
                             .arg(group.size())
                             .arg(high ? QStringLiteral("highest") : QStringLiteral("lowest"))
                             .arg(QString::number(worst.snr, 'f', 1))
                             .arg(worst.channel));
        }
        return texts;
    };
    critical += snrProblems(criticalSnr, thresholds.critSnr);
    warning += snrProblems(warningSnr, thresholds.warnSnr);

    report.status = !critical.isEmpty()  ? HealthStatus::Critical
                    : !warning.isEmpty() ? HealthStatus::Warning
                                         : HealthStatus::Ok;
    const QString outputs =
        QStringLiteral("%1 of %2 active outputs locked").arg(locked).arg(active);
    const QStringList problems = critical + warning;
    const bool temperatureNamed =
        criticalTemperature != Breach::None || warningTemperature != Breach::None;
    const QString overview =
        temperatureNamed ? outputs
                         : QStringLiteral("temperature %1 C, ").arg(reading.temperature) + outputs;
    report.summary = problems.isEmpty()
                         ? overview
                         : problems.join(QStringLiteral(", ")) + QStringLiteral("; ") + overview;
    return report;
}

HealthReport unknownHealth(const QString &reason)
{
    HealthReport report;
    report.status = HealthStatus::Unknown;
    report.summary = reason;
    return report;
}

QString healthStatusName(HealthStatus status)
{
    switch (status) {
    case HealthStatus::Ok:
        return QStringLiteral("OK");
    case HealthStatus::Warning:
        return QStringLiteral("WARNING");
    case HealthStatus::Critical:
        return QStringLiteral("CRITICAL");
    case HealthStatus::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

QString nagiosLine(const HealthReport &report)
{
    QString line =
        healthStatusName(report.status) + QStringLiteral(" - ") + oneLine(report.summary);
    QStringList perfdata;
    for (const HealthFigure &figure : report.figures)
        perfdata.append(perfdataItem(figure));
    if (!perfdata.isEmpty())
        line += QStringLiteral(" | ") + perfdata.join(QLatin1Char(' '));
    return line;
}

QList<MetricSample> healthSamples(const QList<HealthReport> &reports)
{
    QList<MetricSample> samples;
    for (const HealthReport &report : reports) {
        // Every reading carries the headend's own figures; only a headend that stayed silent
        // has none.
        const bool answered = !report.figures.isEmpty();
        samples.append(
            healthSample(QStringLiteral("keldor_up"),
                         QStringLiteral("1 when the headend answered the health read, else 0."),
                         report.headend, 0, answered ? QStringLiteral("1") : QStringLiteral("0")));
        samples.append(healthSample(
            QStringLiteral("keldor_health_status"),
            QStringLiteral("Health check result: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN."),
            report.headend, 0, QString::number(int(report.status))));
        for (const HealthFigure &figure : report.figures) {
            // Prometheus has no "not determined"; a missing sample says it.
            if (figure.value)
                samples.append(healthSample(figure.metric, figure.help, report.headend,
                                            figure.channel, valueText(figure)));
        }
    }
    return samples;
}

QString exposition(const QList<MetricSample> &samples)
{
    QStringList order;
    std::map<QString, QList<const MetricSample *>> byMetric;
    for (const MetricSample &sample : samples) {
        auto [found, isNew] = byMetric.try_emplace(sample.metric);
        if (isNew)
            order.append(sample.metric);
        found->second.append(&sample);
    }
    QString text;
    for (const QString &name : order) {
        const QList<const MetricSample *> &metric = byMetric.at(name);
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                    .arg(name, escapedHelp(metric.first()->help), metric.first()->type);
        for (const MetricSample *sample : metric) {
            QStringList labels;
            for (const auto &[label, value] : sample->labels)
                labels.append(QStringLiteral("%1=\"%2\"").arg(label, escapedLabelValue(value)));
            text += name + sample->suffix;
            if (!labels.isEmpty())
                text += QLatin1Char('{') + labels.join(QLatin1Char(',')) + QLatin1Char('}');
            text += QLatin1Char(' ') + sample->value + QLatin1Char('\n');
        }
    }
    return text;
}

QString prometheusText(const QList<HealthReport> &reports)
{
    return exposition(healthSamples(reports));
}

} // namespace keldor
