#include "overviewfixture.h"

#include "shell/widgetui.h"

#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>

using namespace keldor;

// The rules of a column driven through its widgets: keys, leaving fields, selections and the
// Set and Search buttons, against a simulated twelve-channel headend.
class TestOverviewRules : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_f = std::make_unique<OverviewFixture>();
        m_f->simChannel(3).tuner.status = 0; // no data rate on channel 4
        QVERIFY(m_f->connect());
        m_f->open();
        QVERIFY(m_f->showActive());
        m_f->ui().clear();
    }

    void cleanup() { m_f.reset(); }

    void outputFrequencyOutOfRangeIsReformattedAndKeepsFocus()
    {
        QLineEdit *field = m_f->edit("Text_outfrequenz", 0);
        field->setFocus();
        QTest::keyClicks(field, "111");
        QVERIFY(m_f->button("Command_Set", 0)->isEnabled());
        QTest::keyClick(field, Qt::Key_Tab);

        QTRY_COMPARE(m_f->ui().texts(),
                     QStringList{"Frequency must be in the range 112 to 858MHz"});
        QCOMPARE(m_f->ui().messages.first().title, QStringLiteral("Error"));
        QCOMPARE(m_f->ui().messages.first().icon, UserInterface::Icon::Critical);
        QCOMPARE(field->text(), QStringLiteral("111.00"));
        QTRY_COMPARE(QApplication::focusWidget(), field);
    }

    void collisionWarnsAndKeepsTheText()
    {
        QLineEdit *field = m_f->edit("Text_outfrequenz", 0);
        field->setFocus();
        QTest::keyClicks(field, "121");
        QTest::keyClick(field, Qt::Key_Tab);

        QTRY_COMPARE(m_f->ui().texts(),
                     QStringList{"Collision with upper CHANNEL 2 at 122.00MHz!!!"});
        QCOMPARE(m_f->ui().messages.first().title, QStringLiteral("WARNING!!!"));
        QCOMPARE(m_f->ui().messages.first().buttons, UserInterface::Buttons::AbortRetryIgnore);
        QCOMPARE(field->text(), QStringLiteral("121.00"));
        // A warning lets the operator go on.
        QCOMPARE(QApplication::focusWidget(), m_f->combo("Combo_Bandbreite", 0));
    }

    void loOutOfRangeKeepsTheFocusInTheCombo()
    {
        QComboBox *lo = m_f->combo("Combo_LO", 0);
        lo->setFocus();
        lo->lineEdit()->selectAll();
        QTest::keyClicks(lo, "9499");
        QTest::keyClick(lo, Qt::Key_Tab);

        QCOMPARE(m_f->ui().texts(),
                 QStringList{"LO-Frequency must be in the range 9500 to 11000MHz"});
        QCOMPARE(lo->currentText(), QStringLiteral("9499"));
        QCOMPARE(QApplication::focusWidget(), lo);
        QTest::qWait(20);
        QCOMPARE(m_f->ui().messages.size(), 1);
    }

    void newLoValueJoinsTheList()
    {
        QComboBox *lo = m_f->combo("Combo_LO", 0);
        lo->setFocus();
        lo->lineEdit()->selectAll();
        QTest::keyClicks(lo, "9500");
        QTest::keyClick(lo, Qt::Key_Tab);

        QVERIFY(m_f->ui().messages.isEmpty());
        QVERIFY(m_f->button("Command_Search", 0)->isEnabled());
        QCOMPARE(lo->itemText(lo->count() - 1), QStringLiteral("9500"));
        QCOMPARE(QApplication::focusWidget(), m_f->edit("Text_input_symbolrate", 0));
        QTest::qWait(20);
        QVERIFY(m_f->ui().messages.isEmpty());
        QCOMPARE(lo->count(), 5);
    }

    void transponderFrequencyRefusedStaysAsTyped()
    {
        QLineEdit *field = m_f->edit("Text_infrequenz", 1);
        field->setFocus();
        // Focus by Tab or program selects the whole text: typing replaces it.
        QTRY_VERIFY(field->selectedText() == field->text());
        QTest::keyClicks(field, "10699");
        QCOMPARE(field->text(), QStringLiteral("10699"));
        QVERIFY(m_f->button("Command_Search", 1)->isEnabled());
        QTest::keyClick(field, Qt::Key_Tab);

        QTRY_COMPARE(m_f->ui().texts(),
                     QStringList{"TP-Frequency must be in the range 10700MHz to 12750MHz"});
        QCOMPARE(field->text(), QStringLiteral("10699"));
        QTRY_COMPARE(QApplication::focusWidget(), field);
        // Taking the focus back from the LO combo does not run the LO rule.
        QTest::qWait(20);
        QCOMPARE(m_f->ui().messages.size(), 1);
    }

    void keyFiltersDiscardWhatDoesNotFit_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("sixth digit") << "Text_infrequenz"
                                     << "1234567"
                                     << "12345";
        QTest::newRow("letters") << "Text_input_symbolrate"
                                 << "2a2b0c00"
                                 << "22000";
        QTest::newRow("one separator") << "Text_outfrequenz"
                                       << "12.3.4"
                                       << "12.34";
        QTest::newRow("four digits") << "Text_output_symbolrate"
                                     << "69001"
                                     << "6900";
    }

    void keyFiltersDiscardWhatDoesNotFit()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QLocale::setDefault(QLocale::c());
        QLineEdit *edit = m_f->edit(qPrintable(field), 5);
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), shown);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), shown.chopped(1));
    }

    void bandwidthWithoutDataRateChangesNothing()
    {
        QComboBox *bandwidth = m_f->combo("Combo_Bandbreite", 3);
        bandwidth->setFocus();
        QTest::keyClick(bandwidth, Qt::Key_Up);
        QCOMPARE(bandwidth->currentText(), QStringLiteral("7 MHz"));
        QVERIFY(!m_f->button("Command_Set", 3)->isEnabled());
        QCOMPARE(m_f->combo("Combo_QAM", 3)->count(), 6);
        QVERIFY(m_f->ui().messages.isEmpty());
    }

    void bandwidthRebuildsTheQamList()
    {
        // 38 Mbit/s needs QAM-128 in 7 MHz; the selected QAM-256 stays.
        QComboBox *bandwidth = m_f->combo("Combo_Bandbreite", 0);
        bandwidth->setFocus();
        QTest::keyClick(bandwidth, Qt::Key_Up);
        QComboBox *qam = m_f->combo("Combo_QAM", 0);
        QCOMPARE(qam->count(), 2);
        QCOMPARE(qam->currentText(), QStringLiteral("QAM-256"));
        QVERIFY(m_f->button("Command_Set", 0)->isEnabled());
        QVERIFY(m_f->ui().messages.isEmpty());
    }

    void qamSelectionRaisesTheSymbolrate()
    {
        QComboBox *qam = m_f->combo("Combo_QAM", 0);
        qam->setFocus();
        QTest::keyClick(qam, Qt::Key_Home); // QAM-64: 38 Mbit/s need 6870 kSym/s
        QCOMPARE(qam->currentText(), QStringLiteral("QAM-64"));
        QCOMPARE(m_f->edit("Text_output_symbolrate", 0)->text(), QStringLiteral("6900"));
        m_f->edit("Text_output_symbolrate", 0)->setText("5000");
        QTest::keyClick(qam, Qt::Key_Down);
        QTest::keyClick(qam, Qt::Key_Up);
        QCOMPARE(m_f->edit("Text_output_symbolrate", 0)->text(), QStringLiteral(" 6870"));
        QVERIFY(m_f->button("Command_Set", 0)->isEnabled());
    }

    void switchingTheOutputOff()
    {
        auto *off = m_f->find<QRadioButton>("Option_Off", 1);
        QTest::mouseClick(off, Qt::LeftButton);
        for (const char *name :
             {"Combo_Opmode", "Text_outfrequenz", "Combo_Bandbreite", "Combo_QAM",
              "Text_output_symbolrate", "Combo_Spectrum", "Combo_Att"})
            QVERIFY2(!m_f->find<QWidget>(name, 1)->isEnabled(), name);
        QVERIFY(m_f->button("Command_Set", 1)->isEnabled());
        QTest::mouseClick(m_f->find<QRadioButton>("Option_On", 1), Qt::LeftButton);
        QVERIFY(m_f->combo("Combo_Att", 1)->isEnabled());
    }

    void setSendsTheColumn()
    {
        QComboBox *att = m_f->combo("Combo_Att", 2);
        att->setFocus();
        QTest::keyClick(att, Qt::Key_Down);
        QTest::keyClick(att, Qt::Key_Down);
        QPushButton *set = m_f->button("Command_Set", 2);
        QVERIFY(set->isEnabled());
        m_f->sim.headend.clearTranscript();

        QTest::mouseClick(set, Qt::LeftButton);

        QList<int> codes;
        for (const sim::TranscriptEntry &entry : m_f->sim.headend.transcript()) {
            if (entry.kind == sim::TranscriptEntry::Kind::Frame) {
                codes.append(entry.code());
                QCOMPARE(entry.channel(), 2);
            }
        }
        QCOMPARE(codes, (QList<int>{0x02, 0x03, 0x06, 0x07, 0x04, 0x05, 0x08, 0x73, 0x75, 0x74}));
        QCOMPARE(m_f->simChannel(2).attenuation, 2);
        QCOMPARE(m_f->unit().channel(2).attenuation, 2);
        QVERIFY(!set->isEnabled());
        QVERIFY(m_f->ui().messages.isEmpty());
    }

    void setRunsTheRuleOfTheFieldJustLeft()
    {
        QLineEdit *field = m_f->edit("Text_outfrequenz", 6);
        field->setFocus();
        QTest::keyClicks(field, "500");
        QTest::mouseClick(m_f->button("Command_Set", 6), Qt::LeftButton);

        QVERIFY(m_f->ui().messages.isEmpty());
        QCOMPARE(field->text(), QStringLiteral("500.00"));
        QCOMPARE(m_f->simChannel(6).outFrequency, 500.0f);
        QCOMPARE(m_f->unit().channel(6).out_frequency, 500.0f);
    }

    void searchTunesTheChannel()
    {
        QLineEdit *field = m_f->edit("Text_infrequenz", 3);
        field->setFocus();
        QTest::keyClicks(field, "11000");
        QPushButton *search = m_f->button("Command_Search", 3);
        QVERIFY(search->isEnabled());
        m_f->simChannel(3).tuner.status = 1;

        QTest::mouseClick(search, Qt::LeftButton);

        QVERIFY(m_f->ui().messages.isEmpty());
        QCOMPARE(m_f->simChannel(3).inFrequency, 11000);
        QCOMPARE(m_f->unit().channel(3).in_frequency, 11000);
        QCOMPARE(m_f->find<QLabel>("Label_Status_In", 3)->text(), QStringLiteral("Tuner Locked"));
        QVERIFY(m_f->button("Command_Servicelist", 3)->isEnabled());
        QVERIFY(!search->isEnabled());
        QVERIFY(m_f->window->findChild<QWidget *>("Frame_Channel_0")->isEnabled());
    }

    void searchShowsSearchingWhileItRuns()
    {
        m_f->edit("Text_infrequenz", 0)->setText("11000");
        QPushButton *search = m_f->button("Command_Search", 0);
        search->setEnabled(true);
        QStringList seen;
        bool pagesInert = false;
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = 0x68;
        m_f->sim.headend.setFault(plan);
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            seen.append(m_f->find<QLabel>("Label_Status_In", 0)->text());
            pagesInert =
                pagesInert || !m_f->window->findChild<QWidget *>("Frame_Channel_0")->isEnabled();
        });
        probe.start(5);

        QTest::mouseClick(search, Qt::LeftButton);

        QVERIFY(seen.contains("Searching..."));
        QVERIFY(pagesInert);
        QCOMPARE(m_f->ui().texts().value(0), QStringLiteral("Connection aborted!"));
        // The failed search leaves its text but gives the columns back.
        QCOMPARE(m_f->find<QLabel>("Label_Status_In", 0)->text(), QStringLiteral("Searching..."));
        QVERIFY(m_f->window->findChild<QWidget *>("Frame_Channel_0")->isEnabled());
    }

    void tabOrderFollowsTheColumn()
    {
        const QStringList order{"Combo_Polarisation",
                                "Text_infrequenz",
                                "Combo_LO",
                                "Text_input_symbolrate",
                                "Command_Search",
                                "Option_On",
                                "Combo_Opmode",
                                "Text_outfrequenz",
                                "Combo_Bandbreite",
                                "Combo_QAM",
                                "Text_output_symbolrate",
                                "Combo_Spectrum",
                                "Combo_Att",
                                "Command_Set"};
        QStringList seen;
        QWidget *widget = m_f->find<QWidget>("Combo_Polarisation", 1);
        while (seen.size() < 2 * order.size()) {
            const QString name = widget->objectName();
            const qsizetype cut = name.lastIndexOf('_');
            if (order.contains(name.left(cut)))
                seen.append(name);
            widget = widget->nextInFocusChain();
        }
        QStringList expected;
        for (int ch : {1, 2}) {
            for (const QString &name : order)
                expected.append(name + '_' + QString::number(ch));
        }
        QCOMPARE(seen, expected);
    }

    // With real message boxes the box takes the focus and gives it back; the rule must run once
    // and the focus end in the field, also when the field it went to has a rule of its own.
    void realMessageBoxesGiveTheFocusBack()
    {
        QSettings ini(m_f->station.folder.filePath("widget.ini"), QSettings::IniFormat);
        ini.setValue("Settings/LAN-Control", "True");
        SettingsStore settings(ini);
        WidgetUi ui;
        Station station(ui, settings, Timing::fast());
        MDIForm1 main(station, WindowRegistry());
        ui.attach(main);
        station.shell = m_f->station.station.shell;
        QVERIFY(lan_connect(station.session, station.lanTarget()));
        auto &window = *new Form_Uebersicht(station, main);
        main.addChildWindow(&window);
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTRY_COMPARE(window.findChild<QLineEdit *>("Text_infrequenz_0")->text(),
                     QStringLiteral("10744"));

        QStringList shown;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown.append(box->text());
                box->accept();
            }
        });
        answer.start(5);
        // The transponder field is followed by the LO combo, whose own rule refuses its text.
        auto *lo = window.findChild<QComboBox *>("Combo_LO_0");
        lo->setEditText("9499");
        auto *field = window.findChild<QLineEdit *>("Text_infrequenz_0");
        field->setFocus();
        QTest::keyClicks(field, "13000");
        QTest::keyClick(field, Qt::Key_Tab);

        QTRY_COMPARE(shown.size(), 1);
        QTest::qWait(50);
        QCOMPARE(shown, QStringList{"TP-Frequency must be in the range 10449 to 11649MHz"});
        // The offscreen platform does not activate the main window again after the box, so the
        // window's own focus tells where the focus is once it is active.
        QCOMPARE(main.focusWidget(), field);
        QCOMPARE(field->text(), QStringLiteral("13000"));
    }

private:
    std::unique_ptr<OverviewFixture> m_f;
};

QTEST_MAIN(TestOverviewRules)
#include "tst_overviewrules.moc"
