#include "shell/mdiform1.h"

#include "directory/formheadend.h"
#include "simfixture.h"
#include "stationfixture.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>

using namespace keldor;

namespace {

const QStringList directoryItems{"MenuLine1", "Edit_Headend", "Select_Headend", "Proxy_Setting"};
const QStringList headendItems{"Settings_Dialog", "MenuLine2", "LAN_Parameter", "MenuLine3",
                               "Reset_Headend"};
const QRegularExpression clockText(QStringLiteral("^\\d\\d:\\d\\d$"));

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<StationFixture>();
        m_opened.clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_sim.reset();
        m_fixture.reset();
    }

    void firstStartWithEmptyStore()
    {
        MDIForm1 &window = start();
        QVERIFY(QRegularExpression(QStringLiteral("^KELDOR Station V\\d+\\.\\d+\\.\\d+$"))
                    .match(window.windowTitle())
                    .hasMatch());
        // The test's program folder holds no "sat.ico", as after an installation.
        QVERIFY(!window.windowIcon().pixmap(16).isNull());
        QVERIFY(window.usbChecked());
        QVERIFY(!window.lanChecked());
        QVERIFY(m_fixture->station.session.exchange.serialSelected());
        for (const QString &name : directoryItems + headendItems) {
            auto *action = window.findChild<QAction *>(name);
            QVERIFY2(action && !action->isVisible(), qPrintable(name));
        }
        for (const QString name : {"Program", "Diagnostic", "Update_µC", "Update_QAM", "Exit"})
            QVERIFY2(window.findChild<QAction *>(name)->isVisible(), qPrintable(name));
        QVERIFY(!ui().panels[0].isEmpty());
        QVERIFY(ui().panels[1].isEmpty());
        QVERIFY(clockText.match(ui().panels[2]).hasMatch());
        QCOMPARE(m_fixture->station.shell.active_headend_name, QStringLiteral("non"));
        QVERIFY(ui().messages.isEmpty());
    }

    void storedModeAtStart_data()
    {
        QTest::addColumn<QString>("usb");
        QTest::addColumn<QString>("lan");
        QTest::addColumn<bool>("lanMode");
        QTest::newRow("LAN True") << QString() << "True" << true;
        QTest::newRow("LAN -1, USB False") << "False"
                                           << "-1" << true;
        QTest::newRow("USB True") << "True"
                                  << "False" << false;
        QTest::newRow("nonsense") << "maybe"
                                  << "yes" << false;
        QTest::newRow("both False") << "False"
                                    << "False" << false;
    }

    void storedModeAtStart()
    {
        QFETCH(QString, usb);
        QFETCH(QString, lan);
        QFETCH(bool, lanMode);
        if (!usb.isNull())
            m_fixture->settings.setValue("Settings/USB-Control", usb);
        m_fixture->settings.setValue("Settings/LAN-Control", lan);
        MDIForm1 &window = start();
        QCOMPARE(window.lanChecked(), lanMode);
        QCOMPARE(window.usbChecked(), !lanMode);
        QCOMPARE(m_fixture->station.session.exchange.serialSelected(), !lanMode);
        for (const QString &name : directoryItems)
            QCOMPARE(window.item(name)->isVisible(), lanMode);
        if (lanMode) {
            QCOMPARE(ui().panels[1], QStringLiteral("Active Headend: non"));
            QCOMPARE(ui().panels[2], QStringLiteral("Offline"));
        } else {
            QVERIFY(clockText.match(ui().panels[2]).hasMatch());
        }
    }

    void modeSwitch_data()
    {
        QTest::addColumn<bool>("startInLan");
        QTest::addColumn<QString>("clicked");
        QTest::newRow("USB to LAN") << false << "LAN";
        QTest::newRow("LAN to USB") << true << "USB";
        QTest::newRow("USB again") << false << "USB";
        QTest::newRow("LAN again") << true << "LAN";
    }

    void modeSwitch()
    {
        QFETCH(bool, startInLan);
        QFETCH(QString, clicked);
        if (startInLan)
            m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const bool toLan = clicked == QLatin1String("LAN");
        const bool changes = toLan != startInLan;
        ui().panels[0] = ui().panels[1] = ui().panels[2] = QStringLiteral("unchanged");

        window.item(clicked)->trigger();

        QCOMPARE(window.lanChecked(), toLan);
        QCOMPARE(window.usbChecked(), !toLan);
        QCOMPARE(m_fixture->station.session.exchange.serialSelected(), !toLan);
        for (const QString &name : directoryItems)
            QCOMPARE(window.item(name)->isVisible(), toLan);
        QCOMPARE(m_fixture->stored("USB-Control"), toLan ? "False" : "True");
        QCOMPARE(m_fixture->stored("LAN-Control"), toLan ? "True" : "False");
        if (!changes) {
            QCOMPARE(ui().panels[1], QStringLiteral("unchanged"));
            QCOMPARE(ui().panels[2], QStringLiteral("unchanged"));
        } else if (toLan) {
            QCOMPARE(ui().panels[1], QStringLiteral("Active Headend: non"));
            QCOMPARE(ui().panels[2], QStringLiteral("Offline"));
        } else {
            QCOMPARE(ui().panels[1], QString());
            QVERIFY(clockText.match(ui().panels[2]).hasMatch());
        }
        QTRY_VERIFY(window.menu("Control")->isVisible());
        window.menu("Control")->close();
    }

    void modeSwitchKeepsTheConnection()
    {
        startSim();
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        QVERIFY(lan_connect(m_fixture->station.session, simTarget()));
        window.item("USB")->trigger();
        window.item("LAN")->trigger();
        QVERIFY(m_fixture->station.session.lan.isConnected());
    }

    void connectedSocketSkipsTheSelection_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("updateTarget");
        QTest::newRow("Program") << "Program" << int(HeadendWindow::Program) << 0;
        QTest::newRow("Diagnostic") << "Diagnostic" << int(HeadendWindow::Diagnostic) << 0;
        QTest::newRow("Update_µC") << "Update_µC" << int(HeadendWindow::UpdateController) << 132;
        QTest::newRow("Update_QAM") << "Update_QAM" << int(HeadendWindow::UpdateQam) << 137;
    }

    void connectedSocketSkipsTheSelection()
    {
        QFETCH(QString, item);
        QFETCH(int, target);
        QFETCH(int, updateTarget);
        startSim();
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        QVERIFY(lan_connect(m_fixture->station.session, simTarget()));
        bool selectionShown = false;
        OnNextModal answer([&](QWidget *modal) {
            selectionShown = true;
            modal->close();
        });

        window.item(item)->trigger();

        QVERIFY(!selectionShown);
        QCOMPARE(m_opened, QList<int>{target});
        QCOMPARE(int(m_fixture->station.shell.update_target), updateTarget);
        QCOMPARE(window.mdiArea()->subWindowList().size(), 1);
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 1);
    }

    void openingAWindowClosesTheOthers()
    {
        startSim();
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        QVERIFY(lan_connect(m_fixture->station.session, simTarget()));
        window.item("Program")->trigger();
        QPointer<QMdiSubWindow> first = window.mdiArea()->subWindowList().value(0);
        window.item("Diagnostic")->trigger();
        QTRY_VERIFY(first.isNull());
        QCOMPARE(window.mdiArea()->subWindowList().size(), 1);
    }

    void lanWithoutConnectionAsksForTheHeadend()
    {
        startSim();
        QVERIFY(m_fixture->writeDirectory({{"Sim", "Lab", "127.0.0.1", m_sim->portText()}}));
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        OnNextModal answer([](QWidget *modal) { qobject_cast<Form_Headend *>(modal)->choose(0); });

        window.item("Diagnostic")->trigger();

        QCOMPARE(m_opened, QList<int>{int(HeadendWindow::Diagnostic)});
        QCOMPARE(ui().panels[1], QStringLiteral("Active Headend: Sim"));
        QCOMPARE(ui().panels[2], QStringLiteral("Online"));
        QVERIFY(ui().messages.isEmpty());
    }

    void lanSelectionClosedWithoutChoice()
    {
        startSim();
        QVERIFY(m_fixture->writeDirectory({{"Sim", "Lab", "127.0.0.1", m_sim->portText()}}));
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        OnNextModal answer([](QWidget *modal) { modal->close(); });

        window.item("Program")->trigger();

        // The family still tries to connect and reports that no headend was chosen.
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(ui().texts(), QStringList{"    Connection not possible!\rPlease select a headend "
                                           "first!"});
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
    }

    void selectHeadendConnectsAndOpensTheOverview()
    {
        startSim();
        QVERIFY(m_fixture->writeDirectory(
            {{"Other", "", "127.0.0.1", "1"}, {"Sim", "Lab", "127.0.0.1", m_sim->portText()}}));
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        OnNextModal answer([](QWidget *modal) { qobject_cast<Form_Headend *>(modal)->choose(1); });

        window.item("Select_Headend")->trigger();

        QCOMPARE(m_opened, QList<int>{int(HeadendWindow::Program)});
        QCOMPARE(m_fixture->station.shell.active_headend_ip, QStringLiteral("127.0.0.1"));
        QCOMPARE(ui().panels[2], QStringLiteral("Online"));
        QVERIFY(ui().connectionModeLocked);
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 1);
    }

    void selectHeadendWithoutChoiceConnectsNothing()
    {
        startSim();
        QVERIFY(m_fixture->writeDirectory({{"Sim", "Lab", "127.0.0.1", m_sim->portText()}}));
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        OnNextModal answer([](QWidget *modal) { modal->close(); });

        window.item("Select_Headend")->trigger();

        QVERIFY(m_opened.isEmpty());
        QVERIFY(ui().messages.isEmpty());
        QVERIFY(ui().progressLabels.isEmpty());
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
    }

    void selectionClosesAnOpenConnection()
    {
        startSim();
        QVERIFY(m_fixture->writeDirectory({{"Sim", "Lab", "127.0.0.1", m_sim->portText()}}));
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        QVERIFY(lan_connect(m_fixture->station.session, simTarget()));
        QCOMPARE(ui().panels[2], QStringLiteral("Online"));
        OnNextModal answer([](QWidget *modal) { modal->close(); });

        window.item("Select_Headend")->trigger();

        QVERIFY(!m_fixture->station.session.lan.isConnected());
        QCOMPARE(ui().panels[2], QStringLiteral("Offline"));
        QCOMPARE(ui().panels[1], QStringLiteral("Active Headend: non"));
    }

    void selectionCreatesAMissingDirectory()
    {
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        OnNextModal answer([](QWidget *modal) { modal->close(); });
        window.item("Select_Headend")->trigger();
        QVERIFY(file_exist(directoryPath(m_fixture->folder.path())));
        QCOMPARE(ui().texts(),
                 QStringList{"   Selection not possible.\rPlease edit a headend first!"});
        QCOMPARE(ui().messages.first().title, QStringLiteral("Selection Error"));
    }

    void usbOpensAfterDiscovery()
    {
        startSim();
        QVERIFY(m_sim->openPty());
        MDIForm1 &window = start();
        m_fixture->station.session.usbPorts = [this] {
            return QStringList{m_sim->pty.slavePath()};
        };
        window.item("Program")->trigger();
        QCOMPARE(m_opened, QList<int>{int(HeadendWindow::Program)});
        QVERIFY(ui().connectionModeLocked);
        m_fixture->station.session.serial.close();
    }

    void usbWithoutHeadendOpensNothing()
    {
        MDIForm1 &window = start();
        m_fixture->station.session.usbPorts = [] {
            return QStringList{QString()};
        };
        window.item("Update_QAM")->trigger();
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(ui().messages.first().title, QStringLiteral("Error"));
        QCOMPARE(int(m_fixture->station.shell.update_target), 137);
    }

    void keepAliveOnlyOverUsb()
    {
        startSim();
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 &window = start();
        QVERIFY(lan_connect(m_fixture->station.session, simTarget()));
        window.keepAliveTick();
        QVERIFY(m_sim->frames(0x77).isEmpty());
        QVERIFY(ui().keepAliveChanges.isEmpty());
    }

    void failedKeepAliveStopsTheTimer()
    {
        MDIForm1 &window = start();
        ui().keepAliveRunning = true;
        window.keepAliveTick();
        QVERIFY(!ui().keepAliveRunning);
        QCOMPARE(ui().messages.last().title, QStringLiteral("Error 77"));
    }

    void keepAliveOverUsb()
    {
        startSim();
        QVERIFY(m_sim->openPty());
        MDIForm1 &window = start();
        QVERIFY(m_fixture->station.session.serial.open(m_sim->pty.slavePath()));
        QVERIFY(m_fixture->station.session.exchange.com_start());
        window.keepAliveTick();
        QCOMPARE(m_sim->frames(0x77).size(), 1);
        QVERIFY(ui().keepAliveRunning);
        m_fixture->station.session.serial.close();
    }

private:
    MDIForm1 &start()
    {
        WindowRegistry registry;
        for (HeadendWindow target : {HeadendWindow::Program, HeadendWindow::Diagnostic,
                                     HeadendWindow::UpdateController, HeadendWindow::UpdateQam}) {
            registry.add(target, [this, target](Station &, MDIForm1 &) {
                m_opened.append(int(target));
                return new QWidget;
            });
        }
        m_window = std::make_unique<MDIForm1>(m_fixture->station, registry);
        return *m_window;
    }

    void startSim()
    {
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
    }

    LanTarget simTarget() const
    {
        LanTarget target;
        target.name = QStringLiteral("Sim");
        target.ip = QStringLiteral("127.0.0.1");
        target.port = m_sim->portText();
        return target;
    }

    RecordingUi &ui() { return m_fixture->ui; }

    std::unique_ptr<StationFixture> m_fixture;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<MDIForm1> m_window;
    QList<int> m_opened;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
