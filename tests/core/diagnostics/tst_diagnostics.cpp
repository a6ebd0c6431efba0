#include "diagnostics/diagnostics.h"
#include "diagnostics/diagnosticview.h"
#include "model/unitdata.h"

#include "sessionfixture.h"

#include <QTest>

using namespace keldor;

namespace {

// The window as text: the fields in their order, a red one marked '-' and a green one '+';
// every icon column one character a row (G good, B bad, ? unknown, - not set); the rows shown.
class RecordingView : public DiagnosticView {
public:
    void setRowVisible(int row, bool visible) override { rows[row] = visible ? '+' : '-'; }
    void setText(Field field, const QString &text, Tint tint) override
    {
        texts[int(field)] = text + QStringList{"", "-", "+"}[int(tint)];
    }
    void setIcon(Column c, int row, State s) override { icons[int(c)][row] = "GB?"[int(s)]; }
    void setTuner(int row, State state, int code, const QString &name) override
    {
        setIcon(Column::Tuner, row, state);
        tuner += row == 3 ? QString::number(code) + ' ' + name : QString();
    }
    void setMixerClipping(State state) override { mixer = "GB?"[int(state)]; }

    QString rows = QString(16, '-');
    QString texts[10];
    QString icons[4] = {QString(16, '-'), QString(16, '-'), QString(16, '-'), QString(16, '-')};
    QString tuner;
    QChar mixer = '-';
};

// Channel 3's tuner reports `tuner`, the others are locked. A status string cut short leaves
// what it doesn't hold unknown; it serves all 16 rows, the hidden ones too.
// locks: VCO, SERDES, output PLL, DAC, eye, mixer clipping; columns: tuner, clipping, ASI 188, ASI
// sync.
// clang-format off
struct Row { const char *name; int channels; const char *status; int tuner; const char *tunerName, *locks, *columns; };
const Row rows[] = {
    {"every bit its own row", 12, "0A80018002000401", 0, "0 Tuner unlocked", "UNLOCKED- LOCKED+ UNLOCKED- LOCKED+  0 B", "GGGBGGGGGGGG---- BGGGGGGGGGGGGGGB BBGBBBBBGBBBBBBB BGBBBBBBBBBBBBBB"},
    {"all set", 12, "FFFFFFFFFFFFFFFF", 1, "1 Tuner Locked", "LOCKED+ LOCKED+ LOCKED+ LOCKED+  15 B", "GGGGGGGGGGGG---- BBBBBBBBBBBBBBBB GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG"},
    {"three characters", 12, "F58001", 2, "2 Status Unknown", "LOCKED+ UNLOCKED- LOCKED+ UNLOCKED-  15 B", "GGG?GGGGGGGG---- BGGGGGGG???????? ???????????????? ????????????????"},
    {"one character", 12, "30", 12, "12 I2C NOACKE", "UNLOCKED- UNLOCKED- UNLOCKED- UNLOCKED-  3 ?", "GGG?GGGGGGGG---- ???????????????? ???????????????? ????????????????"},
    {"empty", 12, "", 11, "11 Status Unknown", "UNKNOWN UNKNOWN UNKNOWN UNKNOWN ? ?", "GGG?GGGGGGGG---- ???????????????? ???????????????? ????????????????"},
    {"8 channels", 8, "F5000000FFFFFFFF", 13, "13 Status Unknown", "LOCKED+ UNLOCKED- LOCKED+ UNLOCKED-  15 G", "GGG?GGGG-------- GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG"},
    {"16 channels", 16, "F5000000FFFFFFFF", -1, "-1 Status Unknown", "LOCKED+ UNLOCKED- LOCKED+ UNLOCKED-  15 G", "GGG?GGGGGGGGGGGG GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG"},
};
// clang-format on

} // namespace

class TestDiagnostics : public QObject {
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < std::size(rows); ++i)
            QTest::newRow(rows[i].name) << int(i);
    }
    void reading()
    {
        QFETCH(int, row);
        const Row &r = rows[row];
        SessionFixture f;
        QVERIFY(f.start(r.channels));
        sim::DeviceState &state = f.sim.headend.state();
        state.diagnostics = {.actualTemperatureRaw = 10, .hoursTotal = 43210};
        state.diagnostics.status = QByteArray::fromHex(r.status);
        state.channels[3].tuner.status = qint16(r.tuner);
        UnitData unit;
        RecordingView view;
        QVERIFY(read_diagnostic_data(f.exchange(), unit, view) && f.ui.messages.isEmpty());
        // Temperatures travel with 16 added.
        QCOMPARE(QStringList(view.texts, view.texts + 9).join(' ') + ' ' + view.mixer,
                 "-6 58 43210 12 " + QString::fromLatin1(r.locks));
        QCOMPARE(QStringList(view.icons, view.icons + 4).join(' '), QString::fromLatin1(r.columns));
        QCOMPARE(view.rows, QString(r.channels, '+').leftJustified(16, '-'));
        QCOMPARE(view.tuner, QString::fromLatin1(r.tunerName));
    }
};

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
