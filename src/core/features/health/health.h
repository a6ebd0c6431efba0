#pragma once

#include <QList>
#include <QString>

#include <limits>
#include <optional>
#include <utility>
#include <variant>

namespace keldor {

// A threshold in the range form monitoring plugins share, [@]START:END: it alerts on a value
// outside START..END, or with '@' on one inside; both ends belong to the range. A START left out
// is 0, a START of '~' minus infinity, an END left out after the ':' infinity.
struct HealthRange {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    bool inside = false;
    QString text; // as the perfdata shows it

    bool alerts(double value) const;
};

// A threshold given as a plain number keeps the meaning it had before ranges: a temperature
// alerts above it, an S/N below it. (The range form would read "60" as 0:60.)
enum class PlainThreshold { AlertAbove, AlertBelow };

HealthRange plainThreshold(double value, PlainThreshold plain);
// The range a threshold's text gives, or why it is refused.
std::variant<HealthRange, QString> parseHealthRange(const QString &text, PlainThreshold plain);

// The limits a check judges a headend by. Temperature is the unit's actual temperature; the
// peak it remembers is reported but never judged, as it would keep alerting long after the
// cause was gone.
struct HealthThresholds {
    // degrees C, higher is worse
    HealthRange warnTemperature = plainThreshold(60, PlainThreshold::AlertAbove);
    HealthRange critTemperature = plainThreshold(70, PlainThreshold::AlertAbove);
    // dB at the tuner input, lower is worse
    HealthRange warnSnr = plainThreshold(9, PlainThreshold::AlertBelow);
    HealthRange critSnr = plainThreshold(6, PlainThreshold::AlertBelow);
};

// The thresholds contradict each other: a warning that would come after the critical state, named
// by the options of check.
QString thresholdProblem(const HealthThresholds &thresholds);

// One channel in use as the health read found it.
struct ChannelHealth {
    int channel = 1; // as the operator counts, from 1
    bool outputOn = false;
    int tunerState = 0; // 1 locked, 0 unlocked, anything else a fault code
    bool noSignal = false;
    // Only a locked tuner reports them.
    std::optional<qint32> bitErrors; // per 10^7 bits
    std::optional<qint32> snrTenths; // tenths of a dB
};

struct HealthReading {
    int temperature = 0; // degrees C
    int maximumTemperature = 0;
    qint32 operatingHours = 0;
    qint32 criticalHours = 0;
    QList<ChannelHealth> channels;
};

// The exit statuses of a monitoring plugin.
enum class HealthStatus { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

// One measured figure, carried to both output formats.
struct HealthFigure {
    QString label;  // the perfdata label
    QString metric; // the Prometheus name
    QString help;
    int channel = 0;             // from 1; 0 for a figure of the whole headend
    std::optional<double> value; // nothing: not determined this time
    int decimals = 0;
    QString warn; // ranges in the plugin convention
    QString crit;
    std::optional<double> min;
    std::optional<double> max;
};

struct HealthReport {
    QString headend; // the name the figures are labelled with
    HealthStatus status = HealthStatus::Unknown;
    QString summary;
    QList<HealthFigure> figures;
};

HealthReport evaluateHealth(const HealthReading &reading, const HealthThresholds &thresholds);
// A headend that couldn't be read, with the reason.
HealthReport unknownHealth(const QString &reason);

QString healthStatusName(HealthStatus status);

// "STATUS - summary | perfdata", one line without its line break.
QString nagiosLine(const HealthReport &report);

// One sample of the text exposition format, its labels in the order they are written.
struct MetricSample {
    QString metric;
    QString help;
    QString type = QStringLiteral("gauge");
    QList<std::pair<QString, QString>> labels;
    QString value;
    QString suffix = {}; // after the name in the sample's line: a summary's _sum and _count
};

// The samples of the reports: keldor_up, keldor_health_status and every figure that was
// determined, labelled with the headend's name when it has one and the channel.
QList<MetricSample> healthSamples(const QList<HealthReport> &reports);

// The text exposition format: HELP and TYPE once per metric, its samples under them in the
// order they first came, so one file can hold a whole fleet.
QString exposition(const QList<MetricSample> &samples);

QString prometheusText(const QList<HealthReport> &reports);

} // namespace keldor
