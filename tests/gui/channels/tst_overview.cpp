#include "connectedstation.h"

#include "shell/widgetui.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

using namespace keldor;

// The channel overview's wiring to the core, on one representative column, against a simulated
// headend whose last channel has no lock. The rules themselves are tested at core level.
class TestOverview : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { m_f.reset(); }

    void eachModelShowsItsColumns_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QStringList>("pages");
        QTest::addRow("8") << 8 << QStringList{"CHANNEL 1 - 4", "CHANNEL 5 - 8"};
        QTest::addRow("16") << 16
                            << QStringList{"CHANNEL 1 - 6", "CHANNEL 7 - 12", "CHANNEL 13 - 16"};
    }

    void eachModelShowsItsColumns()
    {
        QFETCH(int, channels);
        QFETCH(QStringList, pages);
        Form_Uebersicht *window = open(channels);
        QVERIFY(window);
        const int last = channels - 1;
        QCOMPARE(window->columnCount(), channels);
        QCOMPARE(column<QLineEdit>("Text_outfrequenz", last)->text(),
                 QString::number(m_f->simChannel(last).outFrequency, 'f', 2));
        QCOMPARE(column<QLabel>("Label_Status_In", last)->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
        // The headend's own texts never render as markup.
        QCOMPARE(m_f->widget<QLabel>("Label_Typ")->textFormat(), Qt::PlainText);
        // Nothing edited yet: a locked tuner offers its service list where the model has them.
        QVERIFY(!column("Command_Set", 0)->isEnabled() &&
                !column("Command_Search", 0)->isEnabled());
        QCOMPARE(column("Command_Servicelist", 0)->isHidden(), channels == 16);
        QVERIFY(column("Command_Servicelist", 0)->isEnabled());
        QVERIFY(!column("Command_Servicelist", last)->isEnabled());
        const QStringList buttons{"Command1_6", "Command7_12", "Command13_16"};
        QStringList shown;
        for (const QString &name : buttons) {
            if (!m_f->widget(name)->isHidden())
                shown.append(m_f->widget(name)->property("text").toString());
        }
        QCOMPARE(shown, pages);
        QTest::mouseClick(m_f->widget<QPushButton>(buttons[pages.size() - 1]), Qt::LeftButton);
        QCOMPARE(window->findChild<QStackedWidget *>()->currentIndex(), pages.size() - 1);
        QVERIFY(!m_f->widget(buttons[pages.size() - 1])->isEnabled());
        QVERIFY(m_f->widget(buttons[0])->isEnabled());
    }

    void menusWhileOpenAndAfterClose()
    {
        QVERIFY(open());
        MDIForm1 &main = *m_f->window;
        QVERIFY(!main.item("Program")->isEnabled() && !main.item("USB")->isEnabled());
        QVERIFY(main.item("Settings_Dialog")->isVisible() &&
                main.item("Reset_Headend")->isVisible());
        QVERIFY(m_f->ui().keepAliveRunning);

        QVERIFY(main.closeAllChildWindows());
        QVERIFY(!main.item("Settings_Dialog")->isVisible());
        QVERIFY(main.item("Program")->isEnabled() && main.item("USB")->isEnabled());
        QVERIFY(!m_f->ui().keepAliveRunning);
        QVERIFY(m_f->station().session.lan.isConnected());
    }

    void ruleMessageDecidesTheFocus_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<int>("messages");
        QTest::addColumn<QString>("focus");
        QTest::addRow("error keeps it") << "Text_outfrequenz"
                                        << "111"
                                        << "111.00"
                                        << "Command_Set" << 1 << "Text_outfrequenz";
        QTest::addRow("warning lets it go") << "Text_outfrequenz"
                                            << "121"
                                            << "121.00"
                                            << "Command_Set" << 1 << "Combo_Bandbreite";
        QTest::addRow("LO refused") << "Combo_LO"
                                    << "9499"
                                    << "9499"
                                    << "Command_Search" << 1 << "Combo_LO";
        QTest::addRow("new LO") << "Combo_LO"
                                << "9500"
                                << "9500"
                                << "Command_Search" << 0 << "Text_input_symbolrate";
        // Taking the focus back from the LO combo must not run the LO rule.
        QTest::addRow("TP refused") << "Text_infrequenz"
                                    << "10699"
                                    << "10699"
                                    << "Command_Search" << 1 << "Text_infrequenz";
    }

    void ruleMessageDecidesTheFocus()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, enabled);
        QFETCH(int, messages);
        QFETCH(QString, focus);
        QVERIFY(open());
        QWidget *control = column(qPrintable(field), 0);
        control->setFocus();
        auto *combo = qobject_cast<QComboBox *>(control);
        QLineEdit *edit = combo ? combo->lineEdit() : static_cast<QLineEdit *>(control);
        // Focus by Tab or program selects the whole text: typing replaces it.
        if (combo)
            edit->selectAll();
        QTRY_COMPARE(edit->selectedText(), edit->text());
        QTest::keyClicks(control, typed);
        QVERIFY(column(qPrintable(enabled), 0)->isEnabled());
        QTest::keyClick(control, Qt::Key_Tab);

        QTRY_COMPARE(QApplication::focusWidget(), column(qPrintable(focus), 0));
        QTest::qWait(20);
        QCOMPARE(m_f->ui().messages.size(), messages);
        QCOMPARE(edit->text(), shown);
        if (combo && messages == 0)
            QCOMPARE(combo->itemText(combo->count() - 1), typed);
    }

    void selectionsEnableTheirNeighbours()
    {
        QVERIFY(open());
        // 38 Mbit/s needs QAM-128 in 7 MHz; the selected QAM-256 stays.
        auto *bandwidth = column<QComboBox>("Combo_Bandbreite", 0);
        bandwidth->setFocus();
        QTest::keyClick(bandwidth, Qt::Key_Up);
        QCOMPARE(column<QComboBox>("Combo_QAM", 0)->count(), 2);
        QCOMPARE(column<QComboBox>("Combo_QAM", 0)->currentText(), QStringLiteral("QAM-256"));
        QVERIFY(column("Command_Set", 0)->isEnabled());

        QTest::mouseClick(column<QRadioButton>("Option_Off", 1), Qt::LeftButton);
        QVERIFY(!column("Text_outfrequenz", 1)->isEnabled() &&
                !column("Combo_Att", 1)->isEnabled());
        QVERIFY(column("Command_Set", 1)->isEnabled());
        QTest::mouseClick(column<QRadioButton>("Option_On", 1), Qt::LeftButton);
        QVERIFY(column("Combo_Att", 1)->isEnabled());
    }

    void buttonsReachTheHeadend()
    {
        QVERIFY(open());
        QList<int> opened;
        m_f->child<Form_Uebersicht>()->openServiceList = [&](int) {
            opened.append(m_f->station().unit.current_channel);
        };
        QTest::mouseClick(column<QPushButton>("Command_Servicelist", 4), Qt::LeftButton);
        QCOMPARE(opened, QList<int>{4});
        // Set runs the rule of the field it was clicked from before sending.
        auto *out = column<QLineEdit>("Text_outfrequenz", 6);
        out->setFocus();
        QTest::keyClicks(out, "500");
        QTest::mouseClick(column<QPushButton>("Command_Set", 6), Qt::LeftButton);
        QCOMPARE(out->text(), QStringLiteral("500.00"));
        QCOMPARE(m_f->simChannel(6).outFrequency, 500.0f);
        QVERIFY(!column("Command_Set", 6)->isEnabled());
        QCOMPARE(m_f->child<Form_Uebersicht>()->reportTexts().channels[6].out_frequency, "500.00");

        auto *in = column<QLineEdit>("Text_infrequenz", 11);
        in->setFocus();
        QTest::keyClicks(in, "11000");
        m_f->simChannel(11).tuner.status = 1;
        QTest::mouseClick(column<QPushButton>("Command_Search", 11), Qt::LeftButton);
        QCOMPARE(m_f->simChannel(11).inFrequency, 11000);
        QCOMPARE(column<QLabel>("Label_Status_In", 11)->text(), QStringLiteral("Tuner Locked"));
        QVERIFY(column("Command_Servicelist", 11)->isEnabled());
        QVERIFY(!column("Command_Search", 11)->isEnabled());
        QVERIFY(m_f->ui().messages.isEmpty());
    }

    // A real message box takes the focus and gives it back; the rule must run once and the
    // focus end in the field, also when the next field has a rule that refuses its text.
    void realMessageBoxGivesTheFocusBack()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        WidgetUi ui;
        Station station(ui, m_f->fixture.store, Timing::fast());
        MDIForm1 main(station, WindowRegistry());
        ui.attach(main);
        station.shell = m_f->station().shell;
        QVERIFY(lan_connect(station.session, station.lanTarget()));
        auto &window = *new Form_Uebersicht(station, main);
        main.addChildWindow(&window);
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        auto *field = window.findChild<QLineEdit *>("Text_infrequenz_0");
        QTRY_COMPARE(field->text(), QStringLiteral("10744"));
        int shown = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++shown;
                box->accept();
            }
        });
        answer.start(5);
        window.findChild<QComboBox *>("Combo_LO_0")->setEditText("9499");
        field->setFocus();
        QTest::keyClicks(field, "13000");
        QTest::keyClick(field, Qt::Key_Tab);

        QTRY_COMPARE(shown, 1);
        QTest::qWait(50);
        QCOMPARE(shown, 1);
        // Offscreen, the main window is not activated again after the box; its own focus tells
        // where the focus goes once it is.
        QCOMPARE(main.focusWidget(), field);
        QCOMPARE(field->text(), QStringLiteral("13000"));
    }

private:
    Form_Uebersicht *open(int channels = 12)
    {
        m_f.emplace();
        m_f->simChannel(channels - 1).tuner.status = 0;
        return m_f->start(channels, true) ? m_f->openOverview() : nullptr;
    }

    template<typename T = QWidget> T *column(const char *name, int channel) const
    {
        return m_f->column<T>(name, channel);
    }

    std::optional<ConnectedStation> m_f;
};

QTEST_MAIN(TestOverview)
#include "tst_overview.moc"
