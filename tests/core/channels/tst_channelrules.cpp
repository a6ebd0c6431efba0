#include "core/features/channels/frequencyplan.h"
#include "core/features/channels/inputrules.h"
#include "core/features/channels/keyfilters.h"
#include "core/features/channels/outputrules.h"
#include "core/model/channeltextsview.h"
#include "core/model/readunitdata.h"
#include "core/model/tunerinfo.h"
#include "core/model/unitdiff.h"

#include <QJsonDocument>
#include <QLocale>
#include <QTest>

#include <limits>

using namespace keldor;

namespace {

const QString highDatarate =
    QStringLiteral("This transponder cannot be converted due to high datarate!");
const QString invalidSymbolrate = QStringLiteral("Please enter a valid Symbolrate!");
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();
using F = RuleOutcome::Focus;

QStringList texts(const RuleOutcome &outcome)
{
    QStringList out;
    for (const RuleMessage &m : outcome.messages)
        out.append(m.text);
    return out;
}

QStringList listOf(const QString &message)
{
    return message.isEmpty() ? QStringList() : QStringList{message};
}

// A rule message sends the focus back to the field; silence lets it go.
void checkOne(const RuleOutcome &outcome, const QString &message)
{
    QCOMPARE(texts(outcome), listOf(message));
    QCOMPARE(outcome.focus, message.isEmpty() ? F::Leave : F::Back);
    for (const RuleMessage &m : outcome.messages)
        QVERIFY(m.title == "Error" && m.icon == UserInterface::Icon::Critical);
}

QString collision(const char *side, int ch, const char *at)
{
    return QStringLiteral("Collision with %1 CHANNEL %2 at %3MHz!!!").arg(side).arg(ch).arg(at);
}

} // namespace

class TestChannelRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void dataRateBoundaries()
    {
        // clang-format off
        struct { int bandwidth; float rate; int qam; } minQam[]{
            {1, 38, 3}, {0, 38, 4}, {1, 30, 2}, {1, 50, 5}, {0, 60, 6}, {1, 0, 1}, {2, 4.5f, 2}};
        for (const auto &r : minQam)
            QCOMPARE(getMinQam(r.bandwidth, r.rate), r.qam);
        struct { double bits; int qam; } perSymbol[]{{8.0, 5}, {8.0001, 6}, {7.0, 4}, {6.0, 3}, {5.0, 2}, {4.0, 1}};
        for (const auto &r : perSymbol)
            QCOMPARE(qamForBitsPerSymbol(r.bits), r.qam);
        // 4 * 188 / 204 Mbit/s * 2.5005 gives 2498.5 after the subtraction: halves go to the
        // even neighbour. Beyond any cable channel the rate saturates; NaN means no minimum.
        struct { int qam; float rate; int symbolrate; } minSymbol[]{
            {3, 38, 6870}, {5, 38, 5152}, {0, 38, 0}, {6, 38, 0}, {-1, 38, 0}, {1, 0, -2},
            {1, float(4.0 * 188 / 204 * 2.5005), 2498}, {3, 39.82282f, 7200}, {1, 1.0e6f, 32767}, {1, inf, 32767}, {1, -inf, -32768}, {1, notANumber, 0}};
        // clang-format on
        for (const auto &r : minSymbol)
            QCOMPARE(getMinSymbol(r.qam, r.rate), r.symbolrate);
    }

    void tunerTexts()
    {
        // clang-format off
        struct { qint32 errors; const char *text; } ber[]{{2345, "2.3e-4"}, {0, "0e-7"}, {-5, "0e-7"}, {1, "1e-7"}, {1000, "1e-4"},
            {2350, "2.4e-4"}, {2250, "2.2e-4"}, {9999, "1e-3"}, {10000000, "1e-0"}};
        for (const auto &r : ber)
            QCOMPARE(berText(r.errors), r.text);
        struct { qint32 tenths; const char *text; } snr[]{{105, "11"}, {115, "12"}, {104, "10"}, {0, "0"}, {-15, "-2"}};
        for (const auto &r : snr)
            QCOMPARE(snrText(r.tenths), r.text);
        // Versions compare as texts: "1.1" is above "1.06".
        struct { const char *fpga, *controller; int variant; bool supported; } lists[]{
            {"1.06", "1.05", 0, true}, {"1.05", "1.05", 0, false}, {"1.06", "1.04", 1, false},
            {"1.10", "1.10", 3, false}, {"1.1", "1.05", 2, true}};
        // clang-format on
        for (const auto &r : lists)
            QCOMPARE(serviceListsSupported(r.fpga, r.controller, r.variant), r.supported);
    }

    // The buttons and the status colour a tuner state sets; -1: the button keeps what it had.
    void tunerStateButtons()
    {
        // clang-format off
        struct { std::optional<TunerState> state; bool black; int search, services; } rows[]{
            {std::nullopt, true, 0, 1}, {TunerState{tunerLocked}, true, 0, 1}, {TunerState{tunerUnlocked}, false, -1, 0},
            {TunerState{tunerUnlocked, true}, false, -1, 0}, {TunerState{12}, false, -1, -1}};
        // clang-format on
        for (const auto &r : rows) {
            for (const bool before : {false, true}) {
                UnitData unit;
                unit.tuners[0] = r.state;
                ChannelTextsView view;
                view.setSearchEnabled(0, before);
                view.setServiceListEnabled(0, before);
                showTunerState(unit, 0, view);
                QCOMPARE(view.statusBlack(0), r.black);
                QCOMPARE(view.state(0).searchEnabled, r.search < 0 ? before : r.search == 1);
                QCOMPARE(view.state(0).serviceListEnabled,
                         r.services < 0 ? before : r.services == 1);
            }
        }
    }

    void keyFilters()
    {
        // Filter A: five digits; B: six characters with one separator ('d' uses ','); C: four
        // digits.
        const QChar bs = backspaceKey;
        // clang-format off
        struct { char filter; const char *text; int start, length; QChar key; bool accepted; } rows[]{
            {'A', "1234", 4, 0, '5', true}, {'A', "12345", 5, 0, '6', false},
            {'A', "12345", 0, 5, '6', true}, {'A', "12345", 1, 4, '6', false},
            {'A', "12345", 5, 0, bs, true}, {'A', "", 0, 0, 'a', false}, {'A', "1", 1, 0, '.', false},
            {'B', "114.0", 5, 0, '0', true}, {'B', "114.00", 6, 0, '1', false},
            {'B', "114.00", 0, 6, '1', true}, {'B', "114", 3, 0, '.', true},
            {'B', "114.0", 5, 0, '.', false}, {'B', "114", 3, 0, ',', false},
            {'B', "", 0, 0, '-', false}, {'d', "114", 3, 0, ',', true}, {'d', "114", 3, 0, '.', false},
            {'C', "690", 3, 0, '0', true}, {'C', "6900", 4, 0, '1', false}, {'C', "6900", 0, 4, '1', true}, {'C', "6900", 4, 0, bs, true}};
        // clang-format on
        for (const auto &r : rows) {
            const bool accepted =
                r.filter == 'A'   ? acceptsFiveDigitKey(r.text, r.start, r.length, r.key)
                : r.filter == 'C' ? acceptsFourDigitKey(r.text, r.start, r.length, r.key)
                                  : acceptsFrequencyKey(r.text, r.start, r.length, r.key,
                                                        r.filter == 'B' ? '.' : ',');
            QVERIFY2(accepted == r.accepted,
                     qPrintable(QString("%1 %2 +%3").arg(r.filter).arg(r.text).arg(r.key)));
        }
    }

    void inputRules()
    {
        const QString autoRange = "TP-Frequency must be in the range 10700MHz to 12750MHz";
        const QString lowBand = "TP-Frequency must be in the range 10700 to 11900MHz";
        const QString highBand = "TP-Frequency must be in the range 11550 to 12750MHz";
        const QString invalid = "Please enter a valid Transponder-Frequency!";
        // clang-format off
        struct { const char *frequency, *lo; QString message; } frequencies[]{
            {"10700", "AUTO", {}}, {"12750", "AUTO", {}}, {"10699", "AUTO", autoRange},
            {"12751", "AUTO", autoRange}, {"12751", "auto", autoRange}, {"99999", "AUTO", autoRange},
            {"10700", "09750", {}}, {"11900", "9750", {}}, {"10699", "9750", lowBand},
            {"11901", "9750", lowBand}, {"11550", "10600", {}}, {"11549", "10600", highBand},
            {"12751", "10600", highBand}, {"5", "", {}}, {"5", "OTHER", {}}, {"", "AUTO", invalid}, {"12a", "9750", invalid}};
        for (const auto &r : frequencies)
            checkOne(transponderFrequencyRule(r.frequency, r.lo), r.message);

        struct { const char *text; bool accepted; } symbolrates[]{
            {"2000", true}, {"45000", true}, {"1999", false}, {"45001", false}, {"", false},
            {"27500kS", true}, {" 27 500", true}, {"x27500", false}};
        for (const auto &r : symbolrates)
            checkOne(inputSymbolrateRule(r.text),
                     r.accepted ? QString() : "Symbolrate must be in the range 2000 to 45000kSym");

        const QStringList standard{"AUTO", "09750", "10600", "OTHER"};
        const QString range = "LO-Frequency must be in the range 9500 to 11000MHz";
        const QString noLo = "Please enter a valid LO-Frequency!";
        struct { const char *text; QStringList entries; QString message, appended; } los[]{
            {"AUTO", standard, {}, {}}, {"auto", standard, {}, {}}, {"9750", standard, {}, {}},
            {"09750", standard, {}, {}}, {"10600", standard, {}, {}}, {"9500", standard, {}, "9500"},
            {"11000", standard, {}, "11000"}, {"11000", standard + QStringList{"11000"}, {}, {}},
            {"9499", standard, range, {}}, {"11001", standard, range, {}},
            {"99999", standard, range, {}}, {"OTHER", standard, noLo, {}}, {"", standard, noLo, {}}};
        // clang-format on
        for (const auto &r : los) {
            const RuleOutcome outcome = loRule(r.text, r.entries);
            checkOne(outcome, r.message);
            QCOMPARE(outcome.appendLoEntry.value_or(QString()), r.appended);
        }
    }

    void outputFrequency()
    {
        const QString range = "Frequency must be in the range 112 to 858MHz";
        // clang-format off
        struct { const char *typed, *rewritten; bool outside; } rows[]{
            {"112", "112.00", false}, {"858", "858.00", false}, {"111", "111.00", true},
            {"859", "859.00", true}, {"858.4", "858.40", false}, {"111.5", "111.50", false}, {"40000", "40000.00", true}};
        // clang-format on
        for (const auto &r : rows) {
            const RuleOutcome outcome = outputFrequencyRule({{r.typed, "6900"}}, 0);
            QCOMPARE(outcome.fieldText.value_or(QString()), r.rewritten);
            checkOne(outcome, r.outside ? range : QString());
        }
        const RuleOutcome invalid = outputFrequencyRule({{"abc", "6900"}, {"114.00", "6900"}}, 0);
        checkOne(invalid, "Please enter a valid Output-Frequency!");
        QVERIFY(!invalid.fieldText);
    }

    void collisions()
    {
        // Two 6900 kSym channels collide when their centres are less than 8 MHz apart.
        // clang-format off
        struct { QList<OutputSpan> columns; int edited; QStringList warnings; } rows[]{{{{"114.00", "6900"}, {"122", "6900"}}, 0, {}},
            {{{"114.00", "6900"}, {"121.00", "6900"}}, 0, {collision("upper", 2, "121.00")}},
            {{{"114.00", "6900"}, {"121", "6900"}}, 1, {collision("lower", 1, "114.00")}},
            {{{"114.00", "6900"}, {"130", "6900"}, {"114.00", "6900"}}, 2, {collision("upper", 1, "114.00")}},
            {{{"120", "6900"}, {"114.00", "6900"}, {"300.00", "6900"}, {"126.00", "6900"}}, 0,
             {collision("lower", 2, "114.00"), collision("upper", 4, "126.00")}},
            {{{"114", "6900"}, {"", ""}, {"115.00", "x"}, {"abc", "6900"}}, 0, {}}, {{{"114", ""}, {"114.00", "6900"}}, 0, {}},
            {{{"114", "6900"}, {"115.00", "0"}}, 0, {collision("upper", 2, "115.00")}},
            {{{"111", "6900"}, {"114.00", "6900"}}, 0, {"Frequency must be in the range 112 to 858MHz", collision("upper", 2, "114.00")}}};
        // clang-format on
        for (const auto &r : rows) {
            const RuleOutcome outcome = outputFrequencyRule(r.columns, r.edited);
            QCOMPARE(texts(outcome), r.warnings);
            for (const RuleMessage &m : outcome.messages) {
                if (m.text.startsWith(QLatin1String("Collision")))
                    QVERIFY(m.title == "WARNING!!!" && m.icon == UserInterface::Icon::Critical &&
                            m.buttons == UserInterface::Buttons::AbortRetryIgnore);
            }
        }
    }

    void frequencyPlanOverlaps()
    {
        // Channel 1 sits at 346 MHz, 8 MHz wide (342..350), channel 3 far away.
        // clang-format off
        struct { const char *name; float centre; quint8 bandwidth, on; QList<SpanOverlap> overlaps; } rows[]{
            {"8 MHz neighbour touching", 354, 1, 1, {}}, {"8 MHz neighbour touching below", 338, 1, 1, {}}, {"8 MHz neighbour overlapping", 353.5f, 1, 1, {{0, 1, 349.5, 350}}},
            {"7 MHz neighbour touching", 353.5f, 0, 1, {}}, {"7 MHz neighbour overlapping", 353, 0, 1, {{0, 1, 349.5, 350}}},
            {"same frequency, switched off", 346, 1, 0, {}}, {"same frequency", 346, 0, 1, {{0, 1, 342.5, 349.5}}}};
        // clang-format on
        for (const auto &r : rows) {
            UnitData unit;
            unit.maxChannel = 2;
            unit.channels[0] = {.outFrequency = 346, .bandwidth = 1, .outputOn = 1};
            unit.channels[1] = {
                .outFrequency = r.centre, .bandwidth = r.bandwidth, .outputOn = r.on};
            unit.channels[2] = {.outFrequency = 800, .bandwidth = 1, .outputOn = 1};
            const FrequencyPlan plan = frequencyPlan(unit);
            QVERIFY2(plan.overlaps == r.overlaps, r.name);
            QCOMPARE(plan.bars.size(), 3);
        }
        // A span without width inside another still overlaps it; pairs come out ordered.
        QCOMPARE(findOverlaps({{5, 100, 110}, {2, 104, 104}, {1, 109, 120}}),
                 (QList<SpanOverlap>{{1, 5, 109, 110}, {2, 5, 104, 104}}));
    }

    // The plan zooms to its channels, and their numbers never touch: on the 880 pixels a
    // 1280x800 screen leaves the band, with digits 7 pixels wide and 3 pixels between labels.
    // Each label covers its bar's centre, pushed inside only at the ends; as few rows as need be.
    void frequencyPlanLabels()
    {
        const auto plan = [](int count, double first, QList<PlanBar> more = {}) {
            FrequencyPlan p;
            for (int ch = 0; ch < count; ++ch)
                p.bars.append({ch, first + 8 * ch, 8, true});
            p.bars.append(more);
            return p;
        };
        constexpr double pixels = 880, gap = 3;
        const auto digits = [](const QString &t) {
            return 7.0 * t.size();
        };
        // clang-format off
        struct { const char *name; FrequencyPlan plan; bool whole; PlanRange range; int rows; } rows[]{
            {"16 channels 8 MHz apart", plan(16, 114), false, {112, 250}, 1},
            {"16 channels 8 MHz apart, whole band", plan(16, 114), true, {112, 858}, 2},
            {"12 packed into 112-210", plan(12, 114), false, {112, 210}, 1},
            {"12 packed, whole band", plan(12, 114), true, {112, 858}, 2},
            {"touching bands", plan(2, 346), false, {320, 380}, 1},
            {"the last channel at the band's top", plan(1, 846, {{1, 854, 8, true}}), false, {810, 858}, 1},
            {"a single channel", plan(1, 346), false, {320, 370}, 1},
            {"three on one frequency", plan(1, 346, {{1, 346, 7, true}, {2, 346, 8, false}}), false, {320, 370}, 3},
            {"a channel off far up", plan(3, 114, {{3, 800, 8, false}}), false, {112, 810}, 2},
            {"channels off, whole band, both ends", plan(0, 0, {{0, 858, 8, false}, {1, 850, 8, false}, {2, 112, 8, true}}), true, {112, 858}, 2},
            {"only a channel touching the band's top", plan(0, 0, {{0, 862, 8, true}}), false, {112, 858}, 0}};
        // clang-format on
        for (const auto &r : rows) {
            const PlanRange range = r.whole ? PlanRange{} : occupiedRange(r.plan);
            QVERIFY2(range == r.range, r.name);
            const QList<PlanLabel> labels = placePlanLabels(r.plan, range, pixels, digits, gap);
            int shown = 0, rowCount = 0;
            for (const PlanBar &bar : r.plan.bars)
                shown += bar.centreMHz >= range.lowMHz && bar.centreMHz <= range.highMHz;
            QVERIFY2(labels.size() == shown, r.name);
            for (const PlanLabel &a : labels) {
                const PlanBar &bar = r.plan.bars.at(a.channel);
                const double x = planX(range, pixels, bar.centreMHz);
                QVERIFY2(a.text == QString::number(a.channel + 1) && a.width == 7.0 * a.text.size(),
                         r.name);
                QVERIFY2(a.left >= 0 && a.left + a.width <= pixels, r.name);
                QVERIFY2(a.left <= x && x <= a.left + a.width, r.name);
                // Labels on one spot stack in channel order.
                for (const PlanLabel &b : labels)
                    QVERIFY2((&a == &b || a.row != b.row || a.left + a.width + gap <= b.left ||
                              b.left + b.width + gap <= a.left) &&
                                 (a.left != b.left || a.channel >= b.channel || a.row < b.row),
                             r.name);
                rowCount = std::max(rowCount, a.row + 1);
            }
            QVERIFY2(rowCount == r.rows, r.name);
        }
        // Exactly the gap between two labels keeps them in one row, half a pixel less does not.
        for (const auto &[second, rowCount] : {std::pair{160.0, 0}, {159.5, 1}}) {
            const FrequencyPlan close = plan(0, 0, {{0, 150, 8, true}, {1, second, 8, true}});
            QCOMPARE(placePlanLabels(close, {100, 200}, 100, digits, gap).last().row, rowCount);
        }
        // The axis names the range's ends and the round numbers that keep their distance, a
        // number exactly that far away included; a band not laid out yet only its ends.
        const std::tuple<PlanRange, double, QList<double>> ticks[] = {
            {{112, 858}, 880, {112, 200, 300, 400, 500, 600, 700, 858}},
            {{112, 250}, 880, {112, 140, 160, 180, 200, 220, 250}},
            {{100, 200}, 100, {100, 120, 140, 160, 180, 200}},
            {{112, 858}, 0, {112, 858}}};
        for (const auto &[range, width, expected] : ticks)
            QCOMPARE(planTicks(range, width, width > 100 ? 75 : 20), expected);
    }

    void unitDiff()
    {
        using Change = void (*)(ChannelRecord &);
        // clang-format off
        struct { const char *name; Change change; QList<FieldChange> fields; QList<qint16> added, removed; } rows[]{
            {"frequency", [](ChannelRecord &r) { r.outFrequency = 354; }, {{"Output Frequency", "346.00 MHz", "354.00 MHz"}}, {}, {}},
            {"no frequency", [](ChannelRecord &r) { r.outFrequency = 0; }, {{"Output Frequency", "346.00 MHz", "0.00 MHz"}}, {}, {}},
            {"hidden decimals", [](ChannelRecord &r) { r.outFrequency = 346.001f; },
             {{"Output Frequency", "346.00 MHz [346]", "346.00 MHz [346.001007]"}}, {}, {}},
            {"switch and QAM", [](ChannelRecord &r) { r.outputOn = 0; r.qam = 3; },
             {{"Output", "on", "off"}, {"QAM", "QAM-256", "QAM-64"}}, {}, {}},
            {"LO fixed", [](ChannelRecord &r) { r.loMode = 1; }, {{"LO", "AUTO", "9750 MHz"}}, {}, {}},
            {"LO behind AUTO", [](ChannelRecord &r) { r.loFrequency = 10600; },
             {{"LO", "AUTO [9750 MHz, mode 0]", "AUTO [10600 MHz, mode 0]"}}, {}, {}},
            {"input", [](ChannelRecord &r) { r.polarisation = 1; r.inFrequency = 0; r.inSymbolrate = 22000; },
             {{"Input", "SAT 1", "SAT 2"}, {"Input Frequency", "11778 MHz", "0 MHz"}, {"Input Symbol Rate", "27500 kSym", "22000 kSym"}}, {}, {}},
            {"output lists", [](ChannelRecord &r) { r.bandwidth = 0; r.outSymbolrate = 6875; r.spectrum = 1; r.attenuation = 3; r.opmode = 9; },
             {{"Mode", "Normal", "9 (not in this program's lists)"}, {"Bandwidth", "8 MHz", "7 MHz"}, {"Output Symbol Rate", "6900 kSym", "6875 kSym"},
              {"Spectrum", "Normal", "Invers"}, {"Attenuation", "0dB", "-3dB"}}, {}, {}},
            {"services swapped", [](ChannelRecord &r) { r.serviceIds[0] = -1; }, {}, {-1}, {28106}},
            {"services dropped", [](ChannelRecord &r) { r.serviceCount = 0; r.serviceMode = 0; },
             {{"Service Mode", "only the listed services pass", "every service passes"}}, {}, {28106, 28107}},
            {"service mode outside the lists", [](ChannelRecord &r) { r.serviceMode = 129; },
             {{"Service Mode", "only the listed services pass", "129 (not in this program's lists)"}}, {}, {}},
            {"service order", [](ChannelRecord &r) { std::swap(r.serviceIds[0], r.serviceIds[1]); },
             {{"Service Order", "28106, 28107", "28107, 28106"}}, {}, {}},
            {"beyond the channels in use", [](ChannelRecord &) {}, {}, {}, {}}};
        UnitData before;
        before.maxChannel = 1;
        before.channels[1] = {.inFrequency = 11778, .loFrequency = 9750, .inSymbolrate = 27500, .outFrequency = 346, .bandwidth = 1, .qam = 5,
                              .outSymbolrate = 6900, .outputOn = 1, .serviceCount = 2, .serviceMode = 1, .serviceIds = {28106, 28107}};
        // clang-format on
        for (const auto &r : rows) {
            UnitData after = before;
            r.change(after.channels[1]);
            after.channels[2].outFrequency = 500; // not sent, so not compared
            const UnitDiff diff = diffUnits(before, after);
            const bool changes = !r.fields.isEmpty() || !r.added.isEmpty() || !r.removed.isEmpty();
            QVERIFY2(diff.channels.size() == (changes ? 1 : 0), r.name);
            if (changes)
                QVERIFY2(diff.channels[0] == (ChannelChange{1, r.fields, r.added, r.removed}),
                         r.name);
            QCOMPARE(diffText(diff).isEmpty(), !changes);
        }

        // The question before a write names what no list has, each list at its last entry and
        // one beyond; nothing of a channel the write doesn't send.
        UnitData raw = before;
        raw.channels[0] = {.polarisation = 5, .qam = 5, .serviceMode = 128};
        raw.channels[1].polarisation = 4;
        raw.channels[1].bandwidth = 2;
        raw.channels[1].attenuation = 13;
        raw.channels[1].serviceMode = 2;
        raw.channels[2].qam = 6;
        QCOMPARE(valuesOutsideLists(raw),
                 (QStringList{"Channel 1 Input: 5", "Channel 2 Bandwidth: 2",
                              "Channel 2 Attenuation: 13", "Channel 2 Service Mode: 2"}));

        UnitData after = before;
        after.channels[1].outFrequency = 354;
        after.channels[1].serviceIds[1] = 28200;
        const UnitDiff diff = diffUnits(before, after);
        QCOMPARE(diffText(diff), "Channel 2\n  Output Frequency: 346.00 MHz -> 354.00 MHz\n"
                                 "  services added: 28200\n  services removed: 28107\n");
        QCOMPARE(
            QJsonDocument(diffJson(diff)).toJson(QJsonDocument::Compact),
            R"([{"channel":2,"fields":[{"after":"354.00 MHz","before":"346.00 MHz",)"
            R"("field":"Output Frequency"}],"servicesAdded":[28200],"servicesRemoved":[28107]}])");
    }

    void symbolrateQamAndBandwidth()
    {
        const QString range = "Output Symbolrate must be in the range 6870 to 7200kSym";
        // clang-format off
        struct { const char *text; int qam; float rate; QString message; F focus; } rates[]{
            {"7200", 3, 38, {}, F::Leave}, {"7201", 3, 38, range, F::Back}, {"6870", 3, 38, {}, F::Leave}, {"6869", 3, 38, range, F::Back},
            {"1000", 3, 0, {}, F::Leave}, {"99999", 3, 0, "Output Symbolrate must be in the range-2 to 7200kSym", F::Back},
            {"7200", 3, 39.82282f, {}, F::Leave}, // a minimum of exactly 7200 still fits
            {"", 3, 38, invalidSymbolrate, F::Back}, {"6900", 1, 38, highDatarate, F::Leave}};
        // clang-format on
        for (const auto &r : rates) {
            const RuleOutcome outcome = outputSymbolrateRule(r.text, r.qam, r.rate);
            QCOMPARE(texts(outcome), listOf(r.message));
            QCOMPARE(outcome.focus, r.focus);
        }

        QCOMPARE(qamRule("6000", 3, 38.0f).outSymbolrateText, QString(" 6870"));
        QVERIFY(!qamRule("6900", 3, 38.0f).outSymbolrateText);
        const RuleOutcome invalid = qamRule("", 3, 38.0f);
        QCOMPARE(texts(invalid), QStringList{invalidSymbolrate});
        QCOMPARE(invalid.focus, F::OutSymbolrate);

        // firstCode -1: the QAM list stays as it is.
        // clang-format off
        struct { int bandwidth, qam; const char *symbolrate; float rate; QString message; int firstCode, selected; const char *raised; } bandwidths[]{
            {1, 5, "6900", 38, {}, 3, 5, ""}, {1, 1, "6900", 38, {}, 3, 3, ""}, {1, 1, "5000", 38, {}, 3, 3, " 6870"},
            {1, 1, "6900", 48, {}, 5, 5, ""}, // only the highest order carries it
            {0, 5, "6900", 60, "This transponder does not fit into a 7MHz channel!", -1, 0, ""},
            {1, 5, "6900", 70, highDatarate, -1, 0, ""}, {1, 5, "", 38, invalidSymbolrate, 3, 5, ""}};
        // clang-format on
        for (const auto &r : bandwidths) {
            const RuleOutcome outcome = bandwidthRule(r.bandwidth, r.qam, r.symbolrate, r.rate);
            QVERIFY(outcome.enableSet);
            QCOMPARE(texts(outcome), listOf(r.message));
            const std::optional<QamList> qamList =
                r.firstCode < 0 ? std::nullopt : std::optional(QamList{r.firstCode, r.selected});
            QCOMPARE(outcome.qamList, qamList);
            QCOMPARE(outcome.outSymbolrateText.value_or(QString()), r.raised);
        }
        const RuleOutcome noRate = bandwidthRule(0, 5, "", 0.0f);
        QVERIFY(noRate.accepted() && !noRate.enableSet && !noRate.qamList &&
                !noRate.outSymbolrateText);
    }
};

QTEST_GUILESS_MAIN(TestChannelRules)
#include "tst_channelrules.moc"
