#include "diagnostics/diagnostics.h"
#include "diagnostics/diagnosticview.h"
#include "link/session.h"
#include "model/unitdata.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QMap>
#include <QTest>

#include <array>

using namespace keldor;
using namespace std::chrono_literals;
using Field = DiagnosticView::Field;
using Column = DiagnosticView::Column;
using State = DiagnosticView::State;

namespace {

class RecordingView : public DiagnosticView {
public:
    RecordingView()
    {
        for (auto &column : icons)
            column.fill(unset);
    }
    void setRowVisible(int row, bool visible) override { rows.at(size_t(row)) = visible ? 1 : 0; }
    void setText(Field field, const QString &text, Tint tint) override
    {
        texts[field] = text;
        tints[field] = tint;
    }
    void setIcon(Column column, int row, State state) override
    {
        icons.at(size_t(column)).at(size_t(row)) = int(state);
    }
    void setTuner(int row, State state, int code, const QString &name) override
    {
        setIcon(Column::Tuner, row, state);
        tunerStates[row] = {code, name};
    }
    void setMixerClipping(State state) override { mixer = int(state); }

    // One character per row: G good, B bad, ? unknown, - never set.
    QString column(Column c) const
    {
        QString out;
        for (int state : icons.at(size_t(c)))
            out += state == unset ? '-' : QString("GB?").at(state);
        return out;
    }

    static constexpr int unset = -1;
    std::array<int, 16> rows{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    QMap<Field, QString> texts;
    QMap<Field, Tint> tints;
    std::array<std::array<int, 16>, 4> icons{};
    QMap<int, std::pair<int, QString>> tunerStates;
    int mixer = unset;
};

} // namespace

class TestDiagnostics : public QObject {
    Q_OBJECT

private:
    void setFault(sim::Fault fault, int code)
    {
        sim::FaultPlan plan;
        plan.fault = fault;
        plan.code = code;
        m_sim->headend.setFault(plan);
    }

    bool read() { return read_diagnostic_data(m_session->exchange, m_unit, m_view); }

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        QVERIFY(m_sim->connect(*m_session));
        m_sim->headend.clearTranscript();
        m_view = RecordingView();
        m_unit = UnitData();
    }

    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
        m_ui.reset();
    }

    void everythingIsShown()
    {
        sim::Diagnostics &diag = m_sim->headend.state().diagnostics;
        diag.actualTemperatureRaw = 10;
        diag.maxTemperatureRaw = 16 + 58;
        diag.hoursTotal = 43210;
        diag.hoursCritical = 7;
        m_sim->headend.state().channels[3].tuner.status = 0;
        QVERIFY(read());
        QCOMPARE(m_ui->messages.size(), 0);

        QCOMPARE(m_view.texts[Field::ActualTemperature], QStringLiteral("-6"));
        QCOMPARE(m_view.texts[Field::MaximumTemperature], QStringLiteral("58"));
        QCOMPARE(m_view.texts[Field::OperatingHours], QStringLiteral("43210"));
        QCOMPARE(m_view.texts[Field::CriticalHours], QStringLiteral("7"));
        // 0xF5: VCO and output PLL locked, SERDES and DAC not, eye 15.
        QCOMPARE(m_view.texts[Field::VcoLock], QStringLiteral("LOCKED"));
        QCOMPARE(m_view.tints[Field::VcoLock], Tint::Green);
        QCOMPARE(m_view.texts[Field::SerdesLock], QStringLiteral("UNLOCKED"));
        QCOMPARE(m_view.tints[Field::SerdesLock], Tint::Red);
        QCOMPARE(m_view.texts[Field::OutPllLock], QStringLiteral("LOCKED"));
        QCOMPARE(m_view.tints[Field::OutPllLock], Tint::Green);
        QCOMPARE(m_view.texts[Field::DacLock], QStringLiteral("UNLOCKED"));
        QCOMPARE(m_view.tints[Field::DacLock], Tint::Red);
        QCOMPARE(m_view.texts[Field::EyeValue], QStringLiteral(" 15"));

        // The sim's default model has 12 channels.
        QCOMPARE(m_view.column(Column::Tuner), QStringLiteral("GGGBGGGGGGGG----"));
        QCOMPARE(m_view.rows,
                 (std::array<int, 16>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0}));
        QCOMPARE(m_view.mixer, int(State::Good));
        QCOMPARE(m_view.column(Column::Clipping), QString(16, 'G'));
        QCOMPARE(m_view.column(Column::AsiSync), QString(16, 'G'));
        QCOMPARE(m_view.column(Column::Asi188), QString(16, 'G'));
    }

    void tunerStates_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QChar>("mark");
        QTest::addColumn<QString>("name");
        QTest::newRow("not locked") << 0 << QChar('B') << "Tuner unlocked";
        QTest::newRow("locked") << 1 << QChar('G') << "Tuner Locked";
        QTest::newRow("2") << 2 << QChar('?') << "Status Unknown";
        QTest::newRow("11") << 11 << QChar('?') << "Status Unknown";
        QTest::newRow("I2C error") << 12 << QChar('?') << "I2C NOACKE";
        QTest::newRow("13") << 13 << QChar('?') << "Status Unknown";
        QTest::newRow("negative") << -1 << QChar('?') << "Status Unknown";
    }
    void tunerStates()
    {
        QFETCH(int, code);
        QFETCH(QChar, mark);
        QFETCH(QString, name);
        m_sim->headend.state().channels[5].tuner.status = qint16(code);
        QVERIFY(read());
        QCOMPARE(m_view.column(Column::Tuner).at(5), mark);
        QCOMPARE(m_view.column(Column::Tuner).at(4), QChar('G'));
        QCOMPARE(m_view.tunerStates.value(5), std::make_pair(code, name));
    }

    void eightChannelsHideTheRest()
    {
        m_sim->headend.state().identity.variant = 1;
        QVERIFY(read());
        QCOMPARE(m_unit.max_channel, 7);
        QCOMPARE(m_view.rows,
                 (std::array<int, 16>{1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
        QList<int> asked;
        for (const auto &frame : m_sim->frames(0x60))
            asked.append(frame.channel());
        QCOMPARE(asked, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(m_view.column(Column::Tuner), QStringLiteral("GGGGGGGG--------"));
        // The status string still serves all 16 rows, hidden ones included.
        QCOMPARE(m_view.column(Column::Clipping), QString(16, 'G'));
    }

    void statusStringBits_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("locks");
        QTest::addColumn<QString>("eye");
        QTest::addColumn<int>("mixer");
        QTest::addColumn<QString>("clipping");
        QTest::addColumn<QString>("sync");
        QTest::addColumn<QString>("asi188");
        QTest::newRow("every bit its own row")
            << QByteArray::fromHex("0A80018002000401") << "UNLOCKED LOCKED UNLOCKED LOCKED"
            << " 0" << int(State::Bad) << "BGGGGGGGGGGGGGGB"
            << "BGBBBBBBBBBBBBBB"
            << "BBGBBBBBGBBBBBBB";
        QTest::newRow("all set") << QByteArray::fromHex("FFFFFFFFFFFFFFFF")
                                 << "LOCKED LOCKED LOCKED LOCKED"
                                 << " 15" << int(State::Bad) << QString(16, 'B') << QString(16, 'G')
                                 << QString(16, 'G');
        QTest::newRow("three characters")
            << QByteArray::fromHex("F58001") << "LOCKED UNLOCKED LOCKED UNLOCKED"
            << " 15" << int(State::Bad) << "BGGGGGGG????????" << QString(16, '?')
            << QString(16, '?');
        QTest::newRow("one character")
            << QByteArray::fromHex("30") << "UNLOCKED UNLOCKED UNLOCKED UNLOCKED"
            << " 3" << int(State::Unknown) << QString(16, '?') << QString(16, '?')
            << QString(16, '?');
        QTest::newRow("empty") << QByteArray() << "UNKNOWN UNKNOWN UNKNOWN UNKNOWN"
                               << "?" << int(State::Unknown) << QString(16, '?') << QString(16, '?')
                               << QString(16, '?');
    }
    void statusStringBits()
    {
        QFETCH(QByteArray, status);
        QFETCH(QString, locks);
        QFETCH(QString, eye);
        QFETCH(int, mixer);
        QFETCH(QString, clipping);
        QFETCH(QString, sync);
        QFETCH(QString, asi188);
        m_sim->headend.state().diagnostics.status = status;
        QVERIFY(read());
        QCOMPARE(QStringList({m_view.texts[Field::VcoLock], m_view.texts[Field::SerdesLock],
                              m_view.texts[Field::OutPllLock], m_view.texts[Field::DacLock]})
                     .join(' '),
                 locks);
        QCOMPARE(m_view.texts[Field::EyeValue], eye);
        QCOMPARE(m_view.mixer, mixer);
        QCOMPARE(m_view.column(Column::Clipping), clipping);
        QCOMPARE(m_view.column(Column::AsiSync), sync);
        QCOMPARE(m_view.column(Column::Asi188), asi188);
    }

    void failedReadStopsThere()
    {
        setFault(sim::Fault::DropAnswer, 0x09);
        QVERIFY(!read());
        QCOMPARE(m_view.texts[Field::ActualTemperature], QStringLiteral("41"));
        QVERIFY(!m_view.texts.contains(Field::VcoLock));
        QCOMPARE(m_sim->frames(0x60).size(), 0);
        QCOMPARE(m_view.column(Column::Clipping), QString(16, '-'));
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
    }

    void silentHeadendShowsNothing()
    {
        setFault(sim::Fault::Silent, -1);
        QVERIFY(!read());
        QVERIFY(m_view.texts.isEmpty());
        QCOMPARE(m_view.rows[0], -1);
    }

    void fanOption_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<bool>("sent");
        QTest::newRow("FAN1") << 0 << true;
        QTest::newRow("FAN3") << 2 << true;
        QTest::newRow("no such option") << 3 << false;
        QTest::newRow("negative") << -1 << false;
    }
    void fanOption()
    {
        QFETCH(int, option);
        QFETCH(bool, sent);
        m_sim->headend.state().diagnostics.fan = 9;
        QCOMPARE(set_fan(m_session->exchange, option), sent);
        QCOMPARE(m_sim->frames(0x85).size(), sent ? 1 : 0);
        QCOMPARE(int(m_sim->headend.state().diagnostics.fan), sent ? option : 9);
        QCOMPARE(m_ui->messages.size(), sent ? 0 : 1);
    }

    void resetCounter()
    {
        m_sim->headend.state().diagnostics.resetCount = 7;
        m_view.texts[Field::ResetCount] = QStringLiteral("7");
        QVERIFY(reset_counter(m_session->exchange, m_view));
        QCOMPARE(m_view.texts[Field::ResetCount], QStringLiteral("0"));
        QCOMPARE(m_sim->frames(0x99).size(), 1);
        QCOMPARE(m_sim->frames(0x9C).size(), 1);
    }

    void failedResetSkipsTheCount()
    {
        m_sim->headend.state().diagnostics.resetCount = 7;
        setFault(sim::Fault::DropAnswer, 0x99);
        QVERIFY(!reset_counter(m_session->exchange, m_view));
        QCOMPARE(m_sim->frames(0x9C).size(), 0);
        QVERIFY(!m_view.texts.contains(Field::ResetCount));
    }

private:
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
    RecordingView m_view;
    UnitData m_unit;
};

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
