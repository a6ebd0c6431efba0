#include "diagnostics/formdiagnostic.h"

#include "connectedstation.h"

#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>

using namespace keldor;

class TestDiagnostic : public QObject {
    Q_OBJECT

private slots:
    // The window reads when it opens and whenever it is activated again, but not when a message
    // box hands the activation back to the main window; its menu item rests while it is open.
    void lockMarksAndReadingOnActivation()
    {
        ConnectedStation s;
        QVERIFY(s.start(8));
        sim::Diagnostics &diagnostics = s.sim.headend.state().diagnostics;
        diagnostics.actualTemperatureRaw = 10;
        diagnostics.status = QByteArray::fromHex("F5800200FBFFF7FF");
        const auto readings = [&] {
            return s.sim.frames(0x80).size();
        };
        const auto text = [&](const char *name) {
            return s.widget<QLabel>(name)->text();
        };
        s.window->item("Diagnostic")->trigger();
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), "-6");
        for (const auto &[name, locked] :
             {std::pair{"Label_VCO_LOCK", true}, {"Label_SERDES_Lock", false}}) {
            QCOMPARE(text(name), locked ? "LOCKED" : "UNLOCKED");
            QVERIFY(s.widget<QLabel>(name)->styleSheet().contains(locked ? "00c000" : "ff0000"));
        }
        QVERIFY(!s.window->item("Diagnostic")->isEnabled());
        s.widget<QRadioButton>("Option_Fan_2")->click();
        QCOMPARE(diagnostics.fan, quint8(2));

        QMdiSubWindow *diagnostic = s.window->mdiArea()->activeSubWindow();
        diagnostics.actualTemperatureRaw = 16 + 44;
        s.window->addChildWindow(new QPushButton);
        QCOMPARE(readings(), 1);
        s.window->mdiArea()->setActiveSubWindow(diagnostic);
        QTRY_COMPARE(text("Label_FPGA_ActTemp"), "44");
        QCOMPARE(readings(), 2);
        QVERIFY(s.ui().keepAliveRunning);
        {
            QDialog box(s.window.get());
            box.setModal(true);
            box.show();
            QVERIFY(QTest::qWaitForWindowActive(&box));
        }
        s.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
        QCoreApplication::processEvents();
        QCOMPARE(readings(), 2);

        s.window->closeAllChildWindows();
        QVERIFY(s.window->item("Diagnostic")->isEnabled());
    }
};

QTEST_MAIN(TestDiagnostic)
#include "tst_diagnostic.moc"
