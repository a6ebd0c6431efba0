#include "channels/inputrules.h"
#include "channels/keyfilters.h"
#include "channels/outputrules.h"
#include "protocol/readunitdata.h"
#include "protocol/tunerinfo.h"

#include <QLocale>
#include <QTest>

#include <limits>

using namespace keldor;

namespace {

const QString highDatarate =
    QStringLiteral("This transponder cannot be converted due to high datarate!");

QStringList texts(const RuleOutcome &outcome)
{
    QStringList out;
    for (const RuleMessage &m : outcome.messages)
        out.append(m.text);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(RuleOutcome::Focus)

class TestChannelRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void minimumQam_data()
    {
        QTest::addColumn<int>("bandwidth");
        QTest::addColumn<float>("rate");
        QTest::addColumn<int>("qam");
        QTest::newRow("8 MHz 38") << 1 << 38.0f << 3;
        QTest::newRow("7 MHz 38") << 0 << 38.0f << 4;
        QTest::newRow("8 MHz 30") << 1 << 30.0f << 2;
        QTest::newRow("8 MHz 50") << 1 << 50.0f << 5;
        QTest::newRow("7 MHz 60") << 0 << 60.0f << 6;
        QTest::newRow("no data rate") << 1 << 0.0f << 1;
        QTest::newRow("other bandwidth: bits unscaled") << 2 << 4.5f << 2;
    }
    void minimumQam()
    {
        QFETCH(int, bandwidth);
        QFETCH(float, rate);
        QFETCH(int, qam);
        QCOMPARE(get_minqam(bandwidth, rate), qam);
    }

    void bitsPerSymbolBordersAreStrict()
    {
        QCOMPARE(qam_for_bits_per_symbol(8.0), 5);
        QCOMPARE(qam_for_bits_per_symbol(8.0001), 6);
        QCOMPARE(qam_for_bits_per_symbol(5.0), 2);
        QCOMPARE(qam_for_bits_per_symbol(4.0), 1);
    }

    void minimumSymbolrate()
    {
        QCOMPARE(get_minsymbol(3, 38.0f), 6870);
        QCOMPARE(get_minsymbol(5, 38.0f), 5152); // 5154.3 - 2
        QCOMPARE(get_minsymbol(0, 38.0f), 0);
        QCOMPARE(get_minsymbol(6, 38.0f), 0);
        QCOMPARE(get_minsymbol(-1, 38.0f), 0);
        QCOMPARE(get_minsymbol(1, 0.0f), -2);
        // 4 * 188 / 204 Mbit/s gives exactly 1000 kSym/s plus a half after the subtraction:
        // halves go to the even neighbour.
        QCOMPARE(get_minsymbol(1, static_cast<float>(4.0 * 188 / 204 * 2.5005)), 2498);
        // A data rate far beyond any cable channel saturates instead of wrapping around.
        QCOMPARE(get_minsymbol(1, 1.0e6f), 32767);
        QCOMPARE(get_minsymbol(1, std::numeric_limits<float>::infinity()), 32767);
        QCOMPARE(get_minsymbol(1, -std::numeric_limits<float>::infinity()), -32768);
        // The headend's answer was no number at all: no minimum rather than a garbage one.
        QCOMPARE(get_minsymbol(1, std::numeric_limits<float>::quiet_NaN()), 0);
    }

    void berText_data()
    {
        QTest::addColumn<qint32>("errors");
        QTest::addColumn<QString>("text");
        QTest::newRow("2345") << 2345 << "2.3e-4";
        QTest::newRow("zero") << 0 << "0e-7";
        QTest::newRow("negative") << -5 << "0e-7";
        QTest::newRow("one") << 1 << "1e-7";
        QTest::newRow("1000") << 1000 << "1e-4";
        QTest::newRow("2350 half to even") << 2350 << "2.4e-4";
        QTest::newRow("2250 half to even") << 2250 << "2.2e-4";
        QTest::newRow("9999 stays one digit") << 9999 << "1e-3";
        QTest::newRow("10^7") << 10000000 << "1e-0";
    }
    void berText()
    {
        QFETCH(qint32, errors);
        QFETCH(QString, text);
        QCOMPARE(ber_text(errors), text);
    }

    void snrText_data()
    {
        QTest::addColumn<qint32>("tenths");
        QTest::addColumn<QString>("text");
        QTest::newRow("10.5 away from zero") << 105 << "11";
        QTest::newRow("11.5") << 115 << "12";
        QTest::newRow("10.4") << 104 << "10";
        QTest::newRow("zero") << 0 << "0";
        QTest::newRow("-1.5") << -15 << "-2";
    }
    void snrText()
    {
        QFETCH(qint32, tenths);
        QFETCH(QString, text);
        QCOMPARE(snr_text(tenths), text);
    }

    void serviceListButtons_data()
    {
        QTest::addColumn<QByteArray>("fpga");
        QTest::addColumn<QByteArray>("controller");
        QTest::addColumn<int>("variant");
        QTest::addColumn<bool>("supported");
        QTest::newRow("1.06 / 1.05 on 12 channels")
            << QByteArray("1.06") << QByteArray("1.05") << 0 << true;
        QTest::newRow("FPGA 1.05") << QByteArray("1.05") << QByteArray("1.05") << 0 << false;
        QTest::newRow("controller 1.04") << QByteArray("1.06") << QByteArray("1.04") << 1 << false;
        QTest::newRow("16 channels") << QByteArray("1.10") << QByteArray("1.10") << 3 << false;
        QTest::newRow("text comparison: 1.1 > 1.06")
            << QByteArray("1.1") << QByteArray("1.05") << 2 << true;
    }
    void serviceListButtons()
    {
        QFETCH(QByteArray, fpga);
        QFETCH(QByteArray, controller);
        QFETCH(int, variant);
        QFETCH(bool, supported);
        QCOMPARE(service_lists_supported(fpga, controller, variant), supported);
    }

    void keyFilters_data()
    {
        QTest::addColumn<char>("filter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QChar>("key");
        QTest::addColumn<bool>("accepted");
        const QChar bs = backspaceKey;
        QTest::newRow("A digit") << 'A' << "1234" << 4 << 0 << QChar('5') << true;
        QTest::newRow("A sixth digit") << 'A' << "12345" << 5 << 0 << QChar('6') << false;
        QTest::newRow("A over full selection") << 'A' << "12345" << 0 << 5 << QChar('6') << true;
        QTest::newRow("A over part selection") << 'A' << "12345" << 1 << 4 << QChar('6') << false;
        QTest::newRow("A backspace when full") << 'A' << "12345" << 5 << 0 << bs << true;
        QTest::newRow("A letter") << 'A' << "" << 0 << 0 << QChar('a') << false;
        QTest::newRow("A point") << 'A' << "1" << 1 << 0 << QChar('.') << false;
        QTest::newRow("B digit") << 'B' << "114.0" << 5 << 0 << QChar('0') << true;
        QTest::newRow("B seventh") << 'B' << "114.00" << 6 << 0 << QChar('1') << false;
        QTest::newRow("B over all") << 'B' << "114.00" << 0 << 6 << QChar('1') << true;
        QTest::newRow("B first separator") << 'B' << "114" << 3 << 0 << QChar('.') << true;
        QTest::newRow("B second separator") << 'B' << "114.0" << 5 << 0 << QChar('.') << false;
        QTest::newRow("B comma not ours") << 'B' << "114" << 3 << 0 << QChar(',') << false;
        QTest::newRow("B minus") << 'B' << "" << 0 << 0 << QChar('-') << false;
        QTest::newRow("C digit") << 'C' << "690" << 3 << 0 << QChar('0') << true;
        QTest::newRow("C fifth") << 'C' << "6900" << 4 << 0 << QChar('1') << false;
        QTest::newRow("C over all") << 'C' << "6900" << 0 << 4 << QChar('1') << true;
        QTest::newRow("C backspace") << 'C' << "6900" << 4 << 0 << bs << true;
    }
    void keyFilters()
    {
        QFETCH(char, filter);
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QChar, key);
        QFETCH(bool, accepted);
        const bool result = filter == 'A'   ? key_filter_a(text, start, length, key)
                            : filter == 'B' ? key_filter_b(text, start, length, key, '.')
                                            : key_filter_c(text, start, length, key);
        QCOMPARE(result, accepted);
    }

    void commaSeparatorForFilterB()
    {
        QVERIFY(key_filter_b("114", 3, 0, QChar(','), ','));
        QVERIFY(!key_filter_b("114", 3, 0, QChar('.'), ','));
    }

    void transponderFrequency_data()
    {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("lo");
        QTest::addColumn<QString>("message");
        const QString autoRange =
            QStringLiteral("TP-Frequency must be in the range 10700MHz to 12750MHz");
        const QString lowBand =
            QStringLiteral("TP-Frequency must be in the range 10700 to 11900MHz");
        const QString highBand =
            QStringLiteral("TP-Frequency must be in the range 11550 to 12750MHz");
        QTest::newRow("auto 10700") << "10700"
                                    << "AUTO"
                                    << "";
        QTest::newRow("auto 12750") << "12750"
                                    << "AUTO"
                                    << "";
        QTest::newRow("auto 10699") << "10699"
                                    << "AUTO" << autoRange;
        QTest::newRow("auto 12751") << "12751"
                                    << "AUTO" << autoRange;
        QTest::newRow("auto lower case") << "12751"
                                         << "auto" << autoRange;
        QTest::newRow("auto beyond 16 bit") << "99999"
                                            << "AUTO" << autoRange;
        QTest::newRow("9750 10700") << "10700"
                                    << "09750"
                                    << "";
        QTest::newRow("9750 11900") << "11900"
                                    << "9750"
                                    << "";
        QTest::newRow("9750 10699") << "10699"
                                    << "9750" << lowBand;
        QTest::newRow("9750 11901") << "11901"
                                    << "9750" << lowBand;
        QTest::newRow("10600 12751") << "12751"
                                     << "10600" << highBand;
        QTest::newRow("10600 11550") << "11550"
                                     << "10600"
                                     << "";
        QTest::newRow("empty LO: no check") << "5"
                                            << ""
                                            << "";
        QTest::newRow("OTHER: no check") << "5"
                                         << "OTHER"
                                         << "";
        QTest::newRow("not a number") << ""
                                      << "AUTO"
                                      << "Please enter a valid Transponder-Frequency!";
        QTest::newRow("letters") << "12a"
                                 << "9750"
                                 << "Please enter a valid Transponder-Frequency!";
    }
    void transponderFrequency()
    {
        QFETCH(QString, frequency);
        QFETCH(QString, lo);
        QFETCH(QString, message);
        const RuleOutcome outcome = transponder_frequency_rule(frequency, lo);
        QCOMPARE(texts(outcome), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(outcome.focus,
                 message.isEmpty() ? RuleOutcome::Focus::Leave : RuleOutcome::Focus::Back);
        if (!message.isEmpty()) {
            QCOMPARE(outcome.messages.first().title, QStringLiteral("Error"));
            QCOMPARE(outcome.messages.first().icon, UserInterface::Icon::Critical);
        }
    }

    void inputSymbolrate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("2000") << "2000" << true;
        QTest::newRow("45000") << "45000" << true;
        QTest::newRow("1999") << "1999" << false;
        QTest::newRow("45001") << "45001" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("leading number") << "27500kS" << true;
        QTest::newRow("blanks inside") << " 27 500" << true;
        QTest::newRow("letters first") << "x27500" << false;
    }
    void inputSymbolrate()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const RuleOutcome outcome = input_symbolrate_rule(text);
        QCOMPARE(texts(outcome),
                 accepted ? QStringList()
                          : QStringList{"Symbolrate must be in the range 2000 to 45000kSym"});
    }

    void loRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("appended");
        const QStringList standard{"AUTO", "09750", "10600", "OTHER"};
        const QString range = QStringLiteral("LO-Frequency must be in the range 9500 to 11000MHz");
        QTest::newRow("AUTO") << "AUTO" << standard << ""
                              << "";
        QTest::newRow("auto") << "auto" << standard << ""
                              << "";
        QTest::newRow("9750 typed") << "9750" << standard << ""
                                    << "";
        QTest::newRow("09750 chosen") << "09750" << standard << ""
                                      << "";
        QTest::newRow("10600") << "10600" << standard << ""
                               << "";
        QTest::newRow("9500 new") << "9500" << standard << ""
                                  << "9500";
        QTest::newRow("11000 new") << "11000" << standard << ""
                                   << "11000";
        QTest::newRow("11000 known") << "11000" << (standard + QStringList{"11000"}) << ""
                                     << "";
        QTest::newRow("9499") << "9499" << standard << range << "";
        QTest::newRow("11001") << "11001" << standard << range << "";
        QTest::newRow("beyond 16 bit") << "99999" << standard << range << "";
        QTest::newRow("OTHER") << "OTHER" << standard << "Please enter a valid LO-Frequency!"
                               << "";
        QTest::newRow("empty") << "" << standard << "Please enter a valid LO-Frequency!"
                               << "";
    }
    void loRule()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QFETCH(QString, message);
        QFETCH(QString, appended);
        const RuleOutcome outcome = lo_rule(text, entries);
        QCOMPARE(texts(outcome), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(outcome.focus,
                 message.isEmpty() ? RuleOutcome::Focus::Leave : RuleOutcome::Focus::Back);
        QCOMPARE(outcome.appendLoEntry.value_or(QString()), appended);
    }

    void outputFrequencyRange_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("rewritten");
        QTest::addColumn<bool>("rangeMessage");
        QTest::newRow("112") << "112"
                             << "112.00" << false;
        QTest::newRow("858") << "858"
                             << "858.00" << false;
        QTest::newRow("111") << "111"
                             << "111.00" << true;
        QTest::newRow("859") << "859"
                             << "859.00" << true;
        QTest::newRow("858.4 rounds to 858") << "858.4"
                                             << "858.40" << false;
        QTest::newRow("111.5 rounds to 112") << "111.5"
                                             << "111.50" << false;
        QTest::newRow("beyond 16 bit") << "40000"
                                       << "40000.00" << true;
    }
    void outputFrequencyRange()
    {
        QFETCH(QString, typed);
        QFETCH(QString, rewritten);
        QFETCH(bool, rangeMessage);
        const RuleOutcome outcome = output_frequency_rule({{typed, "6900"}}, 0);
        QCOMPARE(outcome.fieldText.value_or(QString()), rewritten);
        QCOMPARE(texts(outcome), rangeMessage
                                     ? QStringList{"Frequency must be in the range 112 to 858MHz"}
                                     : QStringList());
        QCOMPARE(outcome.focus,
                 rangeMessage ? RuleOutcome::Focus::Back : RuleOutcome::Focus::Leave);
    }

    void outputFrequencyNotANumber()
    {
        const RuleOutcome outcome = output_frequency_rule({{"abc", "6900"}, {"114.00", "6900"}}, 0);
        QCOMPARE(texts(outcome), QStringList{"Please enter a valid Output-Frequency!"});
        QCOMPARE(outcome.focus, RuleOutcome::Focus::Back);
        QVERIFY(!outcome.fieldText);
    }

    void collisions_data()
    {
        QTest::addColumn<QList<OutputSpan>>("columns");
        QTest::addColumn<int>("edited");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("114 and 122: edges apart")
            << QList<OutputSpan>{{"114.00", "6900"}, {"122", "6900"}} << 0 << QStringList();
        QTest::newRow("114 and 121: upper")
            << QList<OutputSpan>{{"114.00", "6900"}, {"121.00", "6900"}} << 0
            << QStringList{"Collision with upper CHANNEL 2 at 121.00MHz!!!"};
        QTest::newRow("121 edited against 114: lower")
            << QList<OutputSpan>{{"114.00", "6900"}, {"121", "6900"}} << 1
            << QStringList{"Collision with lower CHANNEL 1 at 114.00MHz!!!"};
        QTest::newRow("equal frequencies: upper")
            << QList<OutputSpan>{{"114.00", "6900"}, {"130", "6900"}, {"114.00", "6900"}} << 2
            << QStringList{"Collision with upper CHANNEL 1 at 114.00MHz!!!"};
        QTest::newRow("every colliding column, ascending")
            << QList<OutputSpan>{{"120", "6900"},
                                 {"114.00", "6900"},
                                 {"300.00", "6900"},
                                 {"126.00", "6900"}}
            << 0
            << QStringList{"Collision with lower CHANNEL 2 at 114.00MHz!!!",
                           "Collision with upper CHANNEL 4 at 126.00MHz!!!"};
        QTest::newRow("columns without numbers are skipped")
            << QList<OutputSpan>{{"114", "6900"}, {"", ""}, {"115.00", "x"}, {"abc", "6900"}} << 0
            << QStringList();
        QTest::newRow("edited column without symbol rate: no check")
            << QList<OutputSpan>{{"114", ""}, {"114.00", "6900"}} << 0 << QStringList();
        QTest::newRow("111 still compared")
            << QList<OutputSpan>{{"111", "6900"}, {"114.00", "6900"}} << 0
            << QStringList{"Frequency must be in the range 112 to 858MHz",
                           "Collision with upper CHANNEL 2 at 114.00MHz!!!"};
    }
    void collisions()
    {
        QFETCH(QList<OutputSpan>, columns);
        QFETCH(int, edited);
        QFETCH(QStringList, warnings);
        const RuleOutcome outcome = output_frequency_rule(columns, edited);
        QCOMPARE(texts(outcome), warnings);
        for (const RuleMessage &m : outcome.messages) {
            if (!m.text.startsWith(QLatin1String("Collision")))
                continue;
            QCOMPARE(m.title, QStringLiteral("WARNING!!!"));
            QCOMPARE(m.icon, UserInterface::Icon::Critical);
            QCOMPARE(m.buttons, UserInterface::Buttons::AbortRetryIgnore);
        }
    }

    void outputSymbolrate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("qam");
        QTest::addColumn<float>("rate");
        QTest::addColumn<QString>("message");
        QTest::addColumn<RuleOutcome::Focus>("focus");
        const QString range =
            QStringLiteral("Output Symbolrate must be in the range 6870 to 7200kSym");
        QTest::newRow("7200") << "7200" << 3 << 38.0f << "" << RuleOutcome::Focus::Leave;
        QTest::newRow("7201") << "7201" << 3 << 38.0f << range << RuleOutcome::Focus::Back;
        QTest::newRow("minimum") << "6870" << 3 << 38.0f << "" << RuleOutcome::Focus::Leave;
        QTest::newRow("below minimum") << "6869" << 3 << 38.0f << range << RuleOutcome::Focus::Back;
        QTest::newRow("no data rate") << "1000" << 3 << 0.0f << "" << RuleOutcome::Focus::Leave;
        QTest::newRow("no data rate, negative minimum")
            << "99999" << 3 << 0.0f << "Output Symbolrate must be in the range-2 to 7200kSym"
            << RuleOutcome::Focus::Back;
        QTest::newRow("not a number")
            << "" << 3 << 38.0f << "Please enter a valid Symbolrate!" << RuleOutcome::Focus::Back;
        QTest::newRow("high datarate")
            << "6900" << 1 << 38.0f << highDatarate << RuleOutcome::Focus::Leave;
    }
    void outputSymbolrate()
    {
        QFETCH(QString, text);
        QFETCH(int, qam);
        QFETCH(float, rate);
        QFETCH(QString, message);
        QFETCH(RuleOutcome::Focus, focus);
        const RuleOutcome outcome = output_symbolrate_rule(text, qam, rate);
        QCOMPARE(texts(outcome), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(outcome.focus, focus);
    }

    void qamRuleRaisesTheSymbolrate()
    {
        QCOMPARE(qam_rule("6000", 3, 38.0f).outSymbolrateText, QString(" 6870"));
        QVERIFY(!qam_rule("6900", 3, 38.0f).outSymbolrateText);
        const RuleOutcome invalid = qam_rule("", 3, 38.0f);
        QCOMPARE(texts(invalid), QStringList{"Please enter a valid Symbolrate!"});
        QCOMPARE(invalid.focus, RuleOutcome::Focus::OutSymbolrate);
    }

    void bandwidthRule_data()
    {
        QTest::addColumn<int>("bandwidth");
        QTest::addColumn<int>("qam");
        QTest::addColumn<QString>("symbolrate");
        QTest::addColumn<float>("rate");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("firstCode"); // -1: list untouched
        QTest::addColumn<int>("selectedCode");
        QTest::addColumn<QString>("newSymbolrate");
        QTest::newRow("8 MHz keeps QAM-256")
            << 1 << 5 << "6900" << 38.0f << QStringList() << 3 << 5 << "";
        QTest::newRow("8 MHz lifts QAM-16")
            << 1 << 1 << "6900" << 38.0f << QStringList() << 3 << 3 << "";
        QTest::newRow("lifted QAM raises the symbol rate")
            << 1 << 1 << "5000" << 38.0f << QStringList() << 3 << 3 << " 6870";
        QTest::newRow("7 MHz no fit")
            << 0 << 5 << "6900" << 60.0f
            << QStringList{"This transponder does not fit into a 7MHz channel!"} << -1 << 0 << "";
        QTest::newRow("8 MHz no fit")
            << 1 << 5 << "6900" << 70.0f << QStringList{highDatarate} << -1 << 0 << "";
        QTest::newRow("symbol rate not a number")
            << 1 << 5 << "" << 38.0f << QStringList{"Please enter a valid Symbolrate!"} << 3 << 5
            << "";
    }
    void bandwidthRule()
    {
        QFETCH(int, bandwidth);
        QFETCH(int, qam);
        QFETCH(QString, symbolrate);
        QFETCH(float, rate);
        QFETCH(QStringList, messages);
        QFETCH(int, firstCode);
        QFETCH(int, selectedCode);
        QFETCH(QString, newSymbolrate);
        const RuleOutcome outcome = bandwidth_rule(bandwidth, qam, symbolrate, rate);
        QVERIFY(outcome.enableSet);
        QCOMPARE(texts(outcome), messages);
        if (firstCode < 0)
            QVERIFY(!outcome.qamList);
        else
            QCOMPARE(outcome.qamList, (QamList{firstCode, selectedCode}));
        QCOMPARE(outcome.outSymbolrateText.value_or(QString()), newSymbolrate);
    }

    void bandwidthRuleWithoutDataRateDoesNothing()
    {
        const RuleOutcome outcome = bandwidth_rule(0, 5, "", 0.0f);
        QVERIFY(outcome.accepted());
        QVERIFY(!outcome.enableSet);
        QVERIFY(!outcome.qamList);
        QVERIFY(!outcome.outSymbolrateText);
    }
};

QTEST_GUILESS_MAIN(TestChannelRules)
#include "tst_channelrules.moc"
