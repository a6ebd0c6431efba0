#include "diagnostics/formdiagnostic.h"

#include "connectedstation.h"
#include "shell/programfolder.h"

#include <QAction>
#include <QDialog>
#include <QImageWriter>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace keldor;
using State = DiagnosticView::State;

class TestDiagnostic : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_station = std::make_unique<ConnectedStation>();
        // The test's program folder holds no icons: the program paints its own.
        QVERIFY(m_station->start(8));
        sim::Diagnostics &diagnostics = m_station->sim.headend.state().diagnostics;
        diagnostics.actualTemperatureRaw = 10;
        diagnostics.maxTemperatureRaw = 16 + 61;
        diagnostics.hoursTotal = 43800;
        diagnostics.hoursCritical = 7;
        // Mixer clipping; clipping on channel 1; ASI sync lost on channel 2; ASI-188 lost on 3.
        diagnostics.status = QByteArray::fromHex("F5800200FBFFF7FF");
    }

    void cleanup() { m_station.reset(); }

    void eightChannelHeadend()
    {
        m_station->sim.headend.state().channels[5].tuner.status = 12;
        open();
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), QStringLiteral("-6"));
        Form_Diagnostic *form = m_station->child<Form_Diagnostic>();
        QCOMPARE(form->windowTitle(), QStringLiteral("Diagnostic"));
        QCOMPARE(text("Label_FPGA_Temp"), QStringLiteral("61"));
        QCOMPARE(text("Label_OP"), QStringLiteral("43800"));
        QCOMPARE(text("Label_OP_Critical"), QStringLiteral("7"));
        const QList<std::pair<const char *, bool>> locks = {{"Label_VCO_LOCK", true},
                                                            {"Label_SERDES_Lock", false},
                                                            {"Label_OUTPLL_Lock", true},
                                                            {"Label_DAC_Lock", false}};
        for (const auto &[name, locked] : locks) {
            QCOMPARE(text(name), locked ? QStringLiteral("LOCKED") : QStringLiteral("UNLOCKED"));
            QVERIFY(label(name)->styleSheet().contains(locked ? "00c000" : "ff0000"));
        }
        QCOMPARE(text("Label_Eye_Value"), QStringLiteral(" 15"));

        for (int row = 0; row < 16; ++row) {
            const bool shown = row < 8;
            QCOMPARE(label(QStringLiteral("Label_CH_%1").arg(row))->isHidden(), !shown);
            for (const char *column :
                 {"Picture_Tuner", "Picture_Clipping", "Picture_188", "Picture_RAW"}) {
                QCOMPARE(label(QStringLiteral("%1_%2").arg(column).arg(row))->isHidden(), !shown);
            }
        }
        QCOMPARE(m_station->sim.frames(0x60).size(), 8);
        QCOMPARE(state("Picture_Clipping_Outmix"), State::Bad);
        QCOMPARE(state("Picture_Clipping_1"), State::Bad);
        QCOMPARE(state("Picture_Clipping_0"), State::Good);
        QCOMPARE(state("Picture_RAW_2"), State::Bad);
        QCOMPARE(state("Picture_RAW_0"), State::Good);
        QCOMPARE(state("Picture_188_3"), State::Bad);
        QCOMPARE(state("Picture_188_4"), State::Good);
        QCOMPARE(state("Picture_Tuner_0"), State::Good);
        QVERIFY(!label("Picture_Tuner_0")->pixmap().isNull());
        QCOMPARE(label("Picture_Tuner_0")->toolTip(), QStringLiteral("Tuner Locked"));
        // A failing tuner is no lock.
        QCOMPARE(state("Picture_Tuner_5"), State::Unknown);
        QCOMPARE(label("Picture_Tuner_5")->toolTip(), QStringLiteral("I2C NOACKE"));

        QVERIFY(!m_station->window->item("Diagnostic")->isEnabled());
        QVERIFY(ui().keepAliveRunning);
        m_station->window->closeAllChildWindows();
        QVERIFY(m_station->window->item("Diagnostic")->isEnabled());
        QVERIFY(!ui().keepAliveRunning);
    }

    void shortStatusLeavesIconsNeutral()
    {
        m_station->sim.headend.state().diagnostics.status = QByteArray::fromHex("F500");
        open();
        QTRY_COMPARE(text("Label_Eye_Value"), QStringLiteral(" 15"));
        QTRY_COMPARE(m_station->sim.frames(0x60).size(), 8);
        QTRY_COMPARE(state("Picture_Clipping_Outmix"), State::Good);
        QCOMPARE(state("Picture_RAW_0"), State::Unknown);
        QCOMPARE(state("Picture_188_0"), State::Unknown);
        QVERIFY(label("Picture_RAW_0")->pixmap().isNull());
    }

    void refreshReadsAgain()
    {
        open();
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), QStringLiteral("-6"));
        m_station->sim.headend.state().diagnostics.actualTemperatureRaw = 16 + 44;
        auto *refresh = m_station->widget<QPushButton>("Command_Refresh");
        QCOMPARE(refresh->text(), QStringLiteral("REFRESH"));
        refresh->click();
        QCOMPARE(text("Label_FPGA_ActTemp"), QStringLiteral("44"));
        QVERIFY(m_station->child<Form_Diagnostic>()->isEnabled());
    }

    void iconFromTheProgramFolderWins()
    {
        QImage blue(16, 16, QImage::Format_ARGB32);
        blue.fill(Qt::blue);
        QVERIFY(QImageWriter(programFile(QStringLiteral("check.ico")), "ico").write(blue));
        open();
        QTRY_COMPARE(state("Picture_Tuner_0"), State::Good);
        const QImage shown = label("Picture_Tuner_0")->pixmap().toImage();
        QCOMPARE(shown.pixelColor(shown.rect().center()), QColor(Qt::blue));
        // The cross is still the program's own.
        QTRY_COMPARE(state("Picture_Clipping_1"), State::Bad);
        QVERIFY(!label("Picture_Clipping_1")->pixmap().isNull());
    }

    void everyActivationReadsAgain()
    {
        open();
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), QStringLiteral("-6"));
        QMdiArea *area = m_station->window->mdiArea();
        QMdiSubWindow *diagnostic = area->activeSubWindow();
        m_station->sim.headend.state().diagnostics.actualTemperatureRaw = 16 + 44;

        m_station->window->addChildWindow(new QPushButton);
        QCOMPARE(readings(), 1);
        area->setActiveSubWindow(diagnostic);
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), QStringLiteral("44"));
        QCOMPARE(readings(), 2);
        QVERIFY(ui().keepAliveRunning);

        // A message box takes the activation from the main window and gives it back; that is
        // no activation of this window, or a reading that failed would repeat itself.
        {
            QDialog box(m_station->window.get());
            box.setModal(true);
            box.show();
            QVERIFY(QTest::qWaitForWindowActive(&box));
        }
        m_station->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_station->window.get()));
        QCoreApplication::processEvents();
        QCOMPARE(readings(), 2);
    }

    void noReadingWhileOneRuns()
    {
        sim::FaultPlan lost;
        lost.fault = sim::Fault::DropAnswer;
        lost.code = 0x80;
        lost.count = 1;
        m_station->sim.headend.setFault(lost);
        // REFRESH while the first reading waits for its lost answer.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [this, &poll] {
            if (readings() == 1) {
                poll.stop();
                m_station->widget<QPushButton>("Command_Refresh")->click();
            }
        });
        poll.start(1);
        open();
        QTRY_COMPARE(ui().texts(), QStringList{"Connection aborted!"});
        QVERIFY(!poll.isActive());
        QCOMPARE(readings(), 1);
    }

    void fanAndResetCounter()
    {
        m_station->sim.headend.state().diagnostics.resetCount = 9;
        open();
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), QStringLiteral("-6"));
        auto *fan = m_station->widget<QRadioButton>("Option_Fan_2");
        QCOMPARE(fan->text(), QStringLiteral("FAN3"));
        fan->click();
        QCOMPARE(m_station->sim.headend.state().diagnostics.fan, quint8(2));

        auto *reset = m_station->widget<QPushButton>("Command1");
        QCOMPARE(reset->text(), QStringLiteral("Reset"));
        reset->click();
        QCOMPARE(m_station->sim.frames(0x99).size(), 1);
        QCOMPARE(text("Label_Reset_Count"),
                 QString::number(m_station->sim.headend.state().diagnostics.resetCount));
        QCOMPARE(m_station->sim.headend.state().diagnostics.resetCount, quint8(0));
    }

    void silentHeadendKeepsTheWindow()
    {
        sim::FaultPlan silent;
        silent.fault = sim::Fault::Silent;
        m_station->sim.headend.setFault(silent);
        open();
        QTRY_VERIFY(!ui().messages.isEmpty());
        QVERIFY(text("Label_FPGA_ActTemp").isEmpty());
        QVERIFY(m_station->child<Form_Diagnostic>());
        QCOMPARE(state("Picture_Tuner_0"), State::Unknown);
    }

private:
    void open() { m_station->window->item("Diagnostic")->trigger(); }

    QLabel *label(const QString &name) const { return m_station->widget<QLabel>(name); }
    QString text(const char *name) const { return label(QLatin1String(name))->text(); }
    State state(const char *name) const
    {
        return State(label(QLatin1String(name))->property("state").toInt());
    }
    RecordingUi &ui() { return m_station->ui(); }
    // Each reading asks for the actual temperature once.
    qsizetype readings() const { return m_station->sim.frames(0x80).size(); }

    std::unique_ptr<ConnectedStation> m_station;
};

QTEST_MAIN(TestDiagnostic)
#include "tst_diagnostic.moc"
