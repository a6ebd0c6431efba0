#include "overviewfixture.h"

#include "channels/channellists.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QStackedWidget>

using namespace keldor;

namespace {

const QStringList columnControls{"FrameConverter",   "Frame_Input",
                                 "Frame_Output",     "Label_Status_In",
                                 "Text_BER",         "Label_BER",
                                 "Text_SN",          "Label_SN",
                                 "Label_dB",         "Combo_Polarisation",
                                 "Label_IN",         "Text_infrequenz",
                                 "Label_TP",         "Label_In_MHz",
                                 "Combo_LO",         "Label_LO",
                                 "Label_LO_MHz",     "Text_input_symbolrate",
                                 "Label_SR_In",      "Label_inputsymbolrate_kSym",
                                 "Command_Search",   "Command_Servicelist",
                                 "Option_On",        "Option_Off",
                                 "Combo_Opmode",     "Label_Opmode",
                                 "Text_outfrequenz", "Label_Frequenz",
                                 "Label_Out_MHz",    "Combo_Bandbreite",
                                 "Label_BW",         "Combo_QAM",
                                 "Label_QAM",        "Text_output_symbolrate",
                                 "Label_SR_Out",     "Label_Outputsymbolrate_kSym",
                                 "Combo_Spectrum",   "Label_Spectrum",
                                 "Combo_Att",        "Label_Att",
                                 "Command_Set"};

const QStringList deviceLabels{"Label_Typ",
                               "Label_Serial_Number",
                               "Label_HW_Version",
                               "Label_CPU_SW_Version",
                               "Label_FPGA_SW_Version",
                               "Label_Typ_Text",
                               "Label_Serial_Text",
                               "Label_HW_Text",
                               "Label_CPU_SW_Text",
                               "Label_FPGA_SW_Text"};

QStringList entries(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemText(i));
    return out;
}

QList<int> qamCodes(const QComboBox *box)
{
    QList<int> out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemData(i).toInt());
    return out;
}

} // namespace

// The overview against a simulated headend of each model: columns, pages, what the full read
// shows and enables, and what opening and closing the window does to the main window.
class TestOverview : public QObject {
    Q_OBJECT

private slots:
    void pagesPerModel_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QList<int>>("pageSizes");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("8") << 8 << QList<int>{4, 4, 0}
                           << QStringList{"CHANNEL 1 - 4", "CHANNEL 5 - 8"};
        QTest::newRow("10") << 10 << QList<int>{5, 5, 0}
                            << QStringList{"CHANNEL 1 - 5", "CHANNEL 6 - 10"};
        QTest::newRow("12") << 12 << QList<int>{6, 6, 0}
                            << QStringList{"CHANNEL 1 - 6", "CHANNEL 7 - 12"};
        QTest::newRow("16") << 16 << QList<int>{6, 6, 4}
                            << QStringList{"CHANNEL 1 - 6", "CHANNEL 7 - 12", "CHANNEL 13 - 16"};
    }

    void pagesPerModel()
    {
        QFETCH(int, channels);
        QFETCH(QList<int>, pageSizes);
        QFETCH(QStringList, captions);
        OverviewFixture f(channels);
        QVERIFY(f.connect());
        Form_Uebersicht &window = f.open();

        QCOMPARE(window.columnCount(), channels);
        for (int page = 0; page < 3; ++page) {
            auto *frame = window.findChild<QWidget *>(QStringLiteral("Frame_Channel_%1").arg(page));
            QVERIFY(frame);
            QCOMPARE(
                frame->findChildren<QGroupBox *>(QRegularExpression("^FrameConverter_")).size(),
                pageSizes.at(page));
        }
        const QStringList buttons{"Command1_6", "Command7_12", "Command13_16"};
        for (int i = 0; i < 3; ++i) {
            auto *button = window.findChild<QPushButton *>(buttons.at(i));
            QVERIFY(button);
            QCOMPARE(button->isHidden(), i >= captions.size());
            if (i < captions.size())
                QCOMPARE(button->text(), captions.at(i));
        }
        for (int channel = 0; channel < channels; ++channel) {
            for (const QString &name : columnControls) {
                QWidget *control =
                    window.findChild<QWidget *>(name + '_' + QString::number(channel));
                QVERIFY2(control, qPrintable(name + '_' + QString::number(channel)));
                QCOMPARE(control->property("channel").toInt(), channel);
            }
        }
        QCOMPARE(f.find<QGroupBox>("FrameConverter", 6)->title(), QStringLiteral("CHANNEL 7"));
        for (const QString &name : deviceLabels)
            QVERIFY2(window.findChild<QLabel *>(name), qPrintable(name));
        QVERIFY(!f.mainWindow->item("Program")->isEnabled());
    }

    void pageButtonsSwitchPages()
    {
        OverviewFixture f(16);
        QVERIFY(f.connect());
        Form_Uebersicht &window = f.open();
        auto *pages = window.findChild<QStackedWidget *>();
        const auto button = [&](const char *name) {
            return window.findChild<QPushButton *>(name);
        };
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("Frame_Channel_0"));
        QVERIFY(!button("Command1_6")->isEnabled());

        QTest::mouseClick(button("Command13_16"), Qt::LeftButton);
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("Frame_Channel_2"));
        QVERIFY(!button("Command13_16")->isEnabled());
        QVERIFY(button("Command1_6")->isEnabled());
        QVERIFY(button("Command7_12")->isEnabled());
        // The 16-channel model has no service lists.
        QVERIFY(f.button("Command_Servicelist", 0)->isHidden());
        QCOMPARE(f.edit("Text_outfrequenz", 15)->text(), QStringLiteral("234.00"));
    }

    void readShowsEveryChannel_data()
    {
        QTest::addColumn<int>("channels");
        for (int n : {8, 10, 12, 16})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }

    void readShowsEveryChannel()
    {
        QFETCH(int, channels);
        OverviewFixture f(channels);
        f.simChannel(channels - 1).tuner.status = 0;
        QVERIFY(f.connect());
        f.open();

        QVERIFY(f.ui().messages.isEmpty());
        for (int ch = 0; ch < channels; ++ch) {
            const sim::Channel &sc = f.simChannel(ch);
            QCOMPARE(f.edit("Text_infrequenz", ch)->text(), QString::number(sc.inFrequency));
            QCOMPARE(f.edit("Text_outfrequenz", ch)->text(),
                     QString::number(sc.outFrequency, 'f', 2));
            QCOMPARE(f.edit("Text_output_symbolrate", ch)->text(), QStringLiteral("6900"));
            QCOMPARE(f.combo("Combo_LO", ch)->currentText(), QStringLiteral("AUTO"));
            QCOMPARE(f.combo("Combo_Bandbreite", ch)->currentText(), QStringLiteral("8 MHz"));
            QCOMPARE(f.combo("Combo_QAM", ch)->currentText(), QStringLiteral("QAM-256"));
            QCOMPARE(f.combo("Combo_Polarisation", ch)->currentText(), QStringLiteral("SAT 1"));
            QVERIFY(f.find<QRadioButton>("Option_On", ch)->isChecked());
            const QLabel *status = f.find<QLabel>("Label_Status_In", ch);
            const bool locked = ch != channels - 1;
            QCOMPARE(status->text(),
                     locked ? QStringLiteral("Tuner Locked") : QStringLiteral("Tuner unlocked"));
            QCOMPARE(status->palette().color(QPalette::WindowText),
                     locked ? QColor(Qt::black) : QColor(255, 0, 0));
            QCOMPARE(f.edit("Text_BER", ch)->text(), locked ? QStringLiteral("2.3e-4") : QString());
        }
        QCOMPARE(f.window->findChild<QLabel *>("Label_Typ")->text(), QStringLiteral("KELDOR QAM"));
        // The headend's own texts never render as markup.
        QCOMPARE(f.window->findChild<QLabel *>("Label_Typ")->textFormat(), Qt::PlainText);
        QCOMPARE(f.window->findChild<QLabel *>("Label_Serial_Number")->text(),
                 QStringLiteral("123456"));
        QCOMPARE(f.window->findChild<QLabel *>("Label_FPGA_SW_Version")->text(),
                 QStringLiteral("1.06"));
    }

    void listsHoldTheirEntries()
    {
        OverviewFixture f;
        f.simChannel(1).tuner.status = 0;
        QVERIFY(f.connect());
        f.open();

        QCOMPARE(entries(f.combo("Combo_Polarisation", 1)), lists::polarisation());
        QCOMPARE(entries(f.combo("Combo_LO", 1)), lists::lo());
        QCOMPARE(entries(f.combo("Combo_Bandbreite", 1)), lists::bandwidth());
        QCOMPARE(entries(f.combo("Combo_Att", 1)), lists::attenuation());
        QCOMPARE(entries(f.combo("Combo_Spectrum", 1)), lists::spectrum());
        QCOMPARE(entries(f.combo("Combo_Opmode", 1)), lists::opmode());
        // Unlocked: every QAM order; locked at 38 Mbit/s in 8 MHz: QAM-64 and up.
        QCOMPARE(entries(f.combo("Combo_QAM", 1)), lists::qam());
        QCOMPARE(qamCodes(f.combo("Combo_QAM", 1)), (QList<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(entries(f.combo("Combo_QAM", 0)), (QStringList{"QAM-64", "QAM-128", "QAM-256"}));
        QCOMPARE(qamCodes(f.combo("Combo_QAM", 0)), (QList<int>{3, 4, 5}));
    }

    void buttonsAfterActivation()
    {
        OverviewFixture f;
        f.simChannel(2).tuner.status = 0;
        QVERIFY(f.connect());
        f.open();
        for (int ch = 0; ch < 12; ++ch) {
            // Nothing edited yet; a locked tuner offers its service list, nothing else.
            QVERIFY(!f.button("Command_Set", ch)->isEnabled());
            QVERIFY(!f.button("Command_Search", ch)->isEnabled());
            QCOMPARE(f.button("Command_Servicelist", ch)->isEnabled(), ch != 2);
            QVERIFY(!f.button("Command_Servicelist", ch)->isHidden());
        }
    }

    void menusWhileOpenAndAfterClose()
    {
        OverviewFixture f;
        QVERIFY(f.connect());
        f.open();
        MDIForm1 &main = *f.mainWindow;
        for (const char *name :
             {"Settings_Dialog", "MenuLine2", "LAN_Parameter", "MenuLine3", "Reset_Headend"})
            QVERIFY2(main.item(name)->isVisible(), name);
        QVERIFY(!main.item("USB")->isEnabled());
        QVERIFY(!main.item("LAN")->isEnabled());
        QVERIFY(f.ui().keepAliveRunning);

        f.window->close();
        for (const char *name : {"Settings_Dialog", "MenuLine2", "LAN_Parameter"})
            QVERIFY2(!main.item(name)->isVisible(), name);
        QVERIFY(main.item("Program")->isEnabled());
        QVERIFY(main.item("USB")->isEnabled());
        QVERIFY(main.item("LAN")->isEnabled());
        QVERIFY(!f.ui().keepAliveRunning);
        // The LAN link stays: the next window uses it.
        QVERIFY(f.station.station.session.lan.isConnected());
    }

    void closingOverSerialSendsTheClosingFrame()
    {
        OverviewFixture f;
        f.station.settings.setValue("Settings/LAN-Control", "False");
        f.mainWindow = std::make_unique<MDIForm1>(f.station.station, WindowRegistry());
        QVERIFY2(f.sim.openPty(), qPrintable(f.sim.pty.errorString()));
        Session &session = f.station.station.session;
        const QString port = f.sim.pty.slavePath();
        session.usbPorts = [port] {
            return QStringList{port};
        };
        QVERIFY(check_device_present(session));
        f.open();
        QVERIFY(f.ui().messages.isEmpty());
        QCOMPARE(f.edit("Text_infrequenz", 3)->text(), QStringLiteral("10804"));
        QVERIFY(!f.mainWindow->item("Reset_Headend")->isVisible());

        f.window->close();
        QTRY_COMPARE(f.sim.frames(0x50).size(), 1);
        QVERIFY(!session.serial.isOpen());
        QVERIFY(f.mainWindow->item("Program")->isEnabled());
    }

    void failedReadLeavesTheRest()
    {
        OverviewFixture f;
        QVERIFY(f.connect());
        f.window = std::make_unique<Form_Uebersicht>(f.station.station, *f.mainWindow);
        f.edit("Text_output_symbolrate", 0)->setText("1234");
        f.edit("Text_infrequenz", 1)->setText("11111");
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = 0x55;
        f.sim.headend.setFault(plan);

        f.window->activate();

        QCOMPARE(f.ui().texts(), QStringList{"Connection aborted!"});
        QCOMPARE(f.edit("Text_outfrequenz", 0)->text(), QStringLiteral("114.00"));
        QCOMPARE(f.edit("Text_output_symbolrate", 0)->text(), QStringLiteral("1234"));
        QCOMPARE(f.edit("Text_infrequenz", 1)->text(), QStringLiteral("11111"));
        QCOMPARE(f.ui().busyDepth, 0);
        // The menus come all the same: the operator can still close or save.
        QVERIFY(f.mainWindow->item("Settings_Dialog")->isVisible());
    }

    void silentHeadendOnLoadKeepsProgramUsable()
    {
        OverviewFixture f;
        QVERIFY(f.connect());
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        f.sim.headend.setFault(plan);
        Form_Uebersicht window(f.station.station, *f.mainWindow);
        QCOMPARE(window.columnCount(), 12);
        QCOMPARE(f.ui().texts(), QStringList{"Connection aborted!"});
        QVERIFY(f.mainWindow->item("Program")->isEnabled());
    }

    void serviceListButtonOpensTheEditor()
    {
        OverviewFixture f;
        QVERIFY(f.connect());
        Form_Uebersicht &window = f.open();
        QList<int> opened;
        window.openServiceList = [&](int channel) {
            opened.append(channel);
            QCOMPARE(f.unit().current_channel, channel);
        };
        QTest::mouseClick(f.button("Command_Servicelist", 4), Qt::LeftButton);
        QCOMPARE(opened, QList<int>{4});
    }

    void reportTextsFollowTheColumns()
    {
        OverviewFixture f(8);
        f.simChannel(5).outputOn = 0;
        QVERIFY(f.connect());
        Form_Uebersicht &window = f.open();
        f.edit("Text_outfrequenz", 2)->setText("300.00");

        const ReportTexts texts = window.reportTexts();
        QCOMPARE(texts.device.device_type, QStringLiteral("KELDOR QAM"));
        QCOMPARE(texts.device.controller_version, QStringLiteral("1.05"));
        QCOMPARE(texts.channels[2].out_frequency, QStringLiteral("300.00"));
        QCOMPARE(texts.channels[0].status, QStringLiteral("Tuner Locked"));
        QCOMPARE(texts.channels[0].ber, QStringLiteral("2.3e-4"));
        QCOMPARE(texts.channels[0].qam, QStringLiteral("QAM-256"));
        QCOMPARE(texts.channels[0].lo, QStringLiteral("AUTO"));
        QCOMPARE(texts.channels[0].attenuation, QStringLiteral("0dB"));
        QVERIFY(texts.channels[0].output_on);
        QVERIFY(!texts.channels[5].output_on);
        QVERIFY(texts.channels[8].out_frequency.isEmpty());
    }

    void programMenuOpensAndClosesTheOverview()
    {
        OverviewFixture f(10);
        QVERIFY(f.connect());
        f.mainWindow = std::make_unique<MDIForm1>(f.station.station);
        MDIForm1 &main = *f.mainWindow;
        main.show();

        main.item("Program")->trigger();

        QTRY_COMPARE(main.mdiArea()->subWindowList().size(), 1);
        auto *window = main.mdiArea()->subWindowList().first()->findChild<Form_Uebersicht *>();
        QVERIFY(window);
        QCOMPARE(window->columnCount(), 10);
        auto *frequency = window->findChild<QLineEdit *>("Text_outfrequenz_9");
        QTRY_COMPARE(frequency->text(), QStringLiteral("186.00"));
        QVERIFY(!main.item("Program")->isEnabled());
        QVERIFY(main.item("Settings_Dialog")->isVisible());

        QVERIFY(main.closeAllChildWindows());
        QVERIFY(main.item("Program")->isEnabled());
        QVERIFY(!main.item("Settings_Dialog")->isVisible());
        QVERIFY(f.ui().messages.isEmpty());
    }
};

QTEST_MAIN(TestOverview)
#include "tst_overview.moc"
