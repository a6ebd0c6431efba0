#include "core/features/health/health.h"
#include "core/features/health/inventory.h"
#include "core/model/tunerinfo.h"

#include <QTest>

#include <array>
#include <limits>

using namespace keldor;

namespace {

constexpr auto above = PlainThreshold::AlertAbove;
constexpr auto below = PlainThreshold::AlertBelow;
constexpr double infinity = std::numeric_limits<double>::infinity();

HealthRange rangeOf(const QString &text, PlainThreshold plain)
{
    const auto parsed = parseHealthRange(text, plain);
    if (const auto *problem = std::get_if<QString>(&parsed))
        qFatal("test range refused: %s", qPrintable(*problem));
    return std::get<HealthRange>(parsed);
}

// --warn-temp, --crit-temp, --warn-snr and --crit-snr as given; an empty one keeps its default.
HealthThresholds thresholdsOf(const QStringList &texts)
{
    HealthThresholds thresholds;
    const std::array<std::pair<HealthRange *, PlainThreshold>, 4> limits{
        {{&thresholds.warnTemperature, above},
         {&thresholds.critTemperature, above},
         {&thresholds.warnSnr, below},
         {&thresholds.critSnr, below}}};
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!texts.at(i).isEmpty())
            *limits.at(i).first = rangeOf(texts.at(i), limits.at(i).second);
    }
    return thresholds;
}

// A headend at this temperature whose channels are all on and locked at these S/N (dB).
HealthReading readingOf(int temperature, const QList<double> &snr)
{
    HealthReading reading;
    reading.temperature = temperature;
    for (qsizetype i = 0; i < snr.size(); ++i)
        reading.channels.append({int(i + 1), true, tunerLocked, false, {}, qRound(snr.at(i) * 10)});
    return reading;
}

} // namespace

class TestHealth : public QObject {
    Q_OBJECT

private slots:
    // The range as perfdata shows it, or why the text is refused.
    void parseRange()
    {
        const QString malformed =
            "\"%1\" is neither a number nor a range such as 10:20, 10:, ~:10 or @10:20";
        // clang-format off
        struct Row { QString text; PlainThreshold plain; QString result; };
        const QList<Row> rows{
            {"60", above, "60"}, {"9", below, "9:"}, {"-5.5", above, "-5.5"}, {"1e1", below, "10:"},
            {"10:", above, "10:"}, {"~:10", below, "~:10"}, {"10:20", above, "10:20"},
            {"@10:20", below, "@10:20"}, {"@10", above, "@0:10"}, {":10", above, "0:10"},
            {":", below, "0:"}, {"~:", above, "~:"}, {"@~:", above, "@~:"},
            {"-10:-5", above, "-10:-5"}, {"10:10", above, "10:10"}, {"@9.9:10", below, "@9.9:10"},
            {"10.1:10", above, "\"10.1:10\" starts above its end"},
            {"@20:10", below, "\"@20:10\" starts above its end"},
            {"", above, malformed.arg("")}, {"@", above, malformed.arg("@")},
            {"~", above, malformed.arg("~")}, {"~10", above, malformed.arg("~10")},
            {"10:~", above, malformed.arg("10:~")}, {"10:20:30", above, malformed.arg("10:20:30")},
            {"x:10", below, malformed.arg("x:10")}, {"@@10", below, malformed.arg("@@10")},
            {"inf", above, malformed.arg("inf")}, {"~:nan", above, malformed.arg("~:nan")},
            {"1e999:", below, malformed.arg("1e999:")}, {"10,5", above, malformed.arg("10,5")},
        };
        // clang-format on
        for (const Row &row : rows) {
            const auto parsed = parseHealthRange(row.text, row.plain);
            const auto *range = std::get_if<HealthRange>(&parsed);
            QCOMPARE(range ? range->text : std::get<QString>(parsed), row.result);
        }
    }

    // Both ends belong to the range: each is tried at equality and a step to each side.
    void rangeAlerts()
    {
        // clang-format off
        struct Row { QString text; PlainThreshold plain; QList<double> alerting; QList<double> quiet; };
        const QList<Row> rows{
            {"60", above, {60.1, infinity}, {59.9, 60, -1000}},
            {"9", below, {8.9, -infinity}, {9, 9.1, 1000}},
            {"10:20", above, {9.9, 20.1}, {10, 10.1, 19.9, 20}},
            {"@10:20", below, {10, 10.1, 19.9, 20}, {9.9, 20.1}},
            {"10:", above, {9.9}, {10, 10.1, 1e300}},
            {"~:10", below, {10.1}, {-1e300, 9.9, 10}},
            {":10", above, {-0.1, 10.1}, {0, 10}},
            {"@10", above, {0, 10}, {-0.1, 10.1}},
            {"@~:10", above, {-1e300, 10}, {10.1}},
            {"@10:", below, {10, 1e300}, {9.9}},
            {"-10:-5", above, {-10.1, -4.9}, {-10, -5}},
            {"~:", above, {}, {-1e300, 0, 1e300}},
            {"@~:", above, {-1e300, 0, 1e300}, {}},
        };
        // clang-format on
        for (const Row &row : rows) {
            const HealthRange range = rangeOf(row.text, row.plain);
            for (const double value : row.alerting)
                QVERIFY2(range.alerts(value), qPrintable(row.text + " " + QString::number(value)));
            for (const double value : row.quiet)
                QVERIFY2(!range.alerts(value), qPrintable(row.text + " " + QString::number(value)));
        }
    }

    // The status and the summary at each threshold's edge, with the thresholds in perfdata.
    void evaluate()
    {
        // clang-format off
        struct Row { QStringList thresholds; int temperature; QList<double> snr; HealthStatus status; QString summary; QString perfdata; };
        using S = HealthStatus;
        const QList<Row> rows{
            {{}, 60, {9, 9.1}, S::Ok, "temperature 60 C, 2 of 2 active outputs locked", "| 'temperature'=60;60;70 "},
            {{}, -40, {}, S::Ok, "temperature -40 C, 0 of 0 active outputs locked", ""},
            {{}, 61, {}, S::Warning, "temperature 61 C above 60; 0 of 0 active outputs locked", ""},
            {{}, 70, {}, S::Warning, "temperature 70 C above 60; 0 of 0 active outputs locked", ""},
            {{}, 71, {}, S::Critical, "temperature 71 C above 70; 0 of 0 active outputs locked", ""},
            {{}, 41, {8.9, 6, 5.9, 7}, S::Critical, "channel 3 S/N 5.9 dB below 6, channel 1 S/N 8.9 dB below 9, channel 2 S/N 6.0 dB below 9, channel 4 S/N 7.0 dB below 9; temperature 41 C, 4 of 4 active outputs locked", "'ch1_snr'=8.9;9:;6:"},
            {{"@40:50", "0:70"}, 40, {}, S::Warning, "temperature 40 C inside @40:50; 0 of 0 active outputs locked", "'temperature'=40;@40:50;0:70"},
            {{"@40:50", "0:70"}, 0, {}, S::Ok, "temperature 0 C, 0 of 0 active outputs locked", ""},
            {{"@40:50", "0:70"}, -1, {}, S::Critical, "temperature -1 C below 0; 0 of 0 active outputs locked", ""},
            {{"", "", "9:30", "6:40"}, 41, {30, 30.1, 8.9}, S::Warning, "channel 3 S/N 8.9 dB below 9, channel 2 S/N 30.1 dB above 30; temperature 41 C, 3 of 3 active outputs locked", "'ch1_snr'=30.0;9:30;6:40"},
            {{"", "", "9:30", "6:40"}, 41, {40, 40.1}, S::Critical, "channel 2 S/N 40.1 dB above 40, channel 1 S/N 40.0 dB above 30; temperature 41 C, 2 of 2 active outputs locked", ""},
            {{"", "", "9:30"}, 41, {31, 33, 32, 33}, S::Warning, "S/N above 30 dB on 4 channels, highest 33.0 dB on channel 2; temperature 41 C, 4 of 4 active outputs locked", ""},
            {{"", "", "@9:12"}, 41, {9, 10, 12, 9}, S::Warning, "S/N inside @9:12 dB on 4 channels, lowest 9.0 dB on channel 1; temperature 41 C, 4 of 4 active outputs locked", ""},
            {{"", "", "@9:12"}, 41, {8.9, 12.1}, S::Ok, "temperature 41 C, 2 of 2 active outputs locked", ""},
        };
        // clang-format on
        for (const Row &row : rows) {
            const HealthReport report =
                evaluateHealth(readingOf(row.temperature, row.snr), thresholdsOf(row.thresholds));
            const QByteArray what = (row.thresholds.join(' ') + " -> " + report.summary).toUtf8();
            QVERIFY2(report.status == row.status && report.summary == row.summary, what);
            QVERIFY2(nagiosLine(report).contains(row.perfdata), qPrintable(nagiosLine(report)));
        }
    }

    // An active channel that isn't locked is CRITICAL in the headend's words and has no figures;
    // one that is switched off is neither judged nor reported.
    void channelStates()
    {
        // One figure serves as bit errors and S/N.
        const auto channel = [](int state, bool noSignal, bool on, std::optional<qint32> snr) {
            return ChannelHealth{1, on, state, noSignal, snr, snr};
        };
        const QString device = "'temperature'=41;60;70 'temperature_max'=0 "
                               "'operating_hours'=0;;;0 'critical_hours'=0;;;0";
        const QString unread = " 'ch1_ber'=U;;;0 'ch1_snr'=U;9:;6:";
        // clang-format off
        struct Row { ChannelHealth channel; QString line; };
        const QList<Row> rows{
            {channel(tunerUnlocked, false, true, 95), "CRITICAL - channel 1 output on: Tuner unlocked; temperature 41 C, 0 of 1 active outputs locked | " + device + " 'ch1_lock'=0;;1:;0;1" + unread},
            {channel(tunerUnlocked, true, true, {}), "CRITICAL - channel 1 output on: No Signal; temperature 41 C, 0 of 1 active outputs locked | " + device + " 'ch1_lock'=0;;1:;0;1" + unread},
            {channel(12, true, true, {}), "CRITICAL - channel 1 output on: I2C NOACKE; temperature 41 C, 0 of 1 active outputs locked | " + device + " 'ch1_lock'=0;;1:;0;1" + unread},
            {channel(tunerLocked, false, true, {}), "OK - temperature 41 C, 1 of 1 active outputs locked | " + device + " 'ch1_lock'=1;;1:;0;1" + unread},
            {channel(tunerLocked, false, true, 95), "OK - temperature 41 C, 1 of 1 active outputs locked | " + device + " 'ch1_lock'=1;;1:;0;1 'ch1_ber'=0.0000095;;;0 'ch1_snr'=9.5;9:;6:"},
            {channel(tunerUnlocked, true, false, {}), "OK - temperature 41 C, 0 of 0 active outputs locked | " + device},
        };
        // clang-format on
        for (const Row &row : rows) {
            HealthReading reading = readingOf(41, {});
            reading.channels.append(row.channel);
            QCOMPARE(nagiosLine(evaluateHealth(reading, {})), row.line);
        }
    }

    // A warning that could only come after the critical state is refused, on either side.
    void thresholdOrder()
    {
        // clang-format off
        struct Row { QStringList thresholds; QString problem; };
        const QList<Row> rows{
            {{"70", "70", "6", "6"}, ""},
            {{"70.1", "70"}, "--warn-temp must not be above --crit-temp"},
            {{"~:71", "~:70"}, "--warn-temp must not be above --crit-temp"},
            {{"0:71", "~:70"}, "--warn-temp must not be above --crit-temp"},
            {{"-0.1:60", "0:70"}, "--warn-temp must not be below --crit-temp"},
            {{"0:60", "0:70"}, ""},
            {{"", "", "5.9", "6"}, "--warn-snr must not be below --crit-snr"},
            {{"", "", "9:40.1", "6:40"}, "--warn-snr must not be above --crit-snr"},
            {{"", "", "9:40", "6:40"}, ""},
            {{"~:", "70", "~:", "6"}, ""},
            {{"0:", "~:70", "~:30", "6:"}, ""},
            {{"@71:80", "70"}, ""},
            {{"71", "@0:10"}, ""},
        };
        // clang-format on
        for (const Row &row : rows)
            QVERIFY2(thresholdProblem(thresholdsOf(row.thresholds)) == row.problem,
                     qPrintable(row.thresholds.join(' ')));
    }

    // Whatever a headend or an operator calls things, each format keeps its shape: one status
    // line, label values escaped, spreadsheet cells that stay texts.
    void outputFormats()
    {
        HealthReport report = unknownHealth("a\rb\nc|d");
        report.headend = "q\"b\\s\nl";
        QCOMPARE(nagiosLine(report), "UNKNOWN - a b c/d");
        QVERIFY(prometheusText({report}).contains("keldor_up{headend=\"q\\\"b\\\\s\\nl\"} 0"));
        // clang-format off
        const std::pair<QString, QString> cells[]{{"", ""}, {"a b", "a b"}, {"=1", "'=1"}, {"+1", "'+1"}, {"-1", "'-1"}, {"@a", "'@a"},
            {"\tx", "'\tx"}, {"\rx", "\"'\rx\""}, {"a\nb", "\"a\nb\""}, {"a\"b", "\"a\"\"b\""}, {"a,b", "\"a,b\""}};
        // clang-format on
        for (const auto &[text, cell] : cells)
            QCOMPARE(inventoryCsv({{text, "", 0, "", "", "", 0}}).section('\n', 1),
                     cell + ",,0,,,,0\n");
        // The table pads each column to its widest cell; without any name it has no NAME column.
        const InventoryRecord rack{"rack-a", "KELDOR QAM", 4711, "1.00", "1.05", "1.06", 16};
        QCOMPARE(inventoryTable({rack, {"b", "X", 1, "", "", "", 8}}),
                 "NAME    DEVICE TYPE  SERIAL  HARDWARE  CONTROLLER  FPGA  CHANNELS\n"
                 "rack-a  KELDOR QAM   4711    1.00      1.05        1.06  16\n"
                 "b       X            1                                   8\n");
        QCOMPARE(inventoryTable({{"", "X", 1, "", "", "", 8}}),
                 "DEVICE TYPE  SERIAL  HARDWARE  CONTROLLER  FPGA  CHANNELS\n"
                 "X            1                                   8\n");
    }
};

QTEST_GUILESS_MAIN(TestHealth)
#include "tst_health.moc"
