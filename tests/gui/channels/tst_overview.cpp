#include "connectedstation.h"
#include "core/model/servicelists.h"
#include "core/protocol/parametertable.h"
#include "gui/services/servicelistwindow.h"

using namespace keldor;

namespace {

// clang-format off
struct RuleRow { const char *name, *field, *typed, *shown, *enables; int messages; const char *focus; }
const ruleRows[] = {
    {"error keeps it", "Text_outfrequenz", "111", "111.00", "Command_Set", 1, "Text_outfrequenz"},
    {"warning lets go", "Text_outfrequenz", "121", "121.00", "Command_Set", 1, "Combo_Bandbreite"},
    {"LO refused", "Combo_LO", "9499", "9499", "Command_Search", 1, "Combo_LO"},
    {"new LO", "Combo_LO", "9500", "9500", "Command_Search", 0, "Text_input_symbolrate"},
    // Taking the focus back from the LO combo must not run the LO rule.
    {"TP refused", "Text_infrequenz", "10699", "10699", "Command_Search", 1, "Text_infrequenz"},
};

constexpr int listChannel = 2; // the simulator's services 3000..3004

// Rows double-clicked, or Enter pressed on (-1: Add All), then the list sent.
struct EditRow { const char *name; QList<int> rows; bool byKeyboard; int failingCode, mode; QList<quint16> sent; }
const editRows[] = {
    {"2 of 5 by mouse", {4, 1}, false, 0, servicemode::listed, {3004, 3001}},
    {"3 of 5 by keyboard", {0, 2, 3}, true, 0, servicemode::allButListed, {3001, 3004}},
    {"duplicate refused", {2, 2}, true, 0, servicemode::listed, {3002}},
    {"Add All", {-1}, false, 0, 0, {}},
    {"failed write", {0}, false, param::selectionId, servicemode::listed, {}},
};
// clang-format on

} // namespace

// The headend windows' wiring to the core against a simulated headend: the overview on a
// representative column (its last channel without lock), the service list editor and the
// diagnostic window. The rules, and which service list is sent, are tested at core level.
class TestOverview : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { m_f.reset(); }

    void eachModelShowsItsColumns()
    {
        for (const int channels : {8, 16}) {
            QVERIFY(open(channels));
            const int last = channels - 1;
            QCOMPARE(m_f->child<ChannelOverview>()->columnCount(), channels);
            QCOMPARE(column<QLineEdit>("Text_outfrequenz", last)->text(),
                     QString::number(m_f->simChannel(last).outFrequency, 'f', 2));
            QCOMPARE(column("Label_Status_In", last)->palette().color(QPalette::WindowText),
                     Qt::red);
            // The headend's own texts never render as markup.
            QCOMPARE(m_f->widget<QLabel>("Label_Typ")->textFormat(), Qt::PlainText);
            // Nothing edited yet: a locked tuner offers its service list where the model has them.
            QVERIFY(!column("Command_Set", 0)->isEnabled() &&
                    !column("Command_Search", 0)->isEnabled());
            QCOMPARE(column("Command_Servicelist", 0)->isHidden(), channels == 16);
            QVERIFY(column("Command_Servicelist", 0)->isEnabled() &&
                    !column("Command_Servicelist", last)->isEnabled());
            QCOMPARE(m_f->widget("Command13_16")->isHidden(), channels != 16);
            auto *lastPage =
                m_f->widget<QPushButton>(channels == 16 ? "Command13_16" : "Command7_12");
            QTest::mouseClick(lastPage, Qt::LeftButton);
            QCOMPARE(m_f->child<QStackedWidget>()->currentIndex(), channels / 8);
            QVERIFY(!lastPage->isEnabled() && m_f->widget("Command1_6")->isEnabled());
        }
        MainWindow &main = *m_f->window;
        QVERIFY(!main.item("Program")->isEnabled() && !main.item("USB")->isEnabled());
        QVERIFY(main.item("Settings_Dialog")->isVisible() &&
                main.item("Reset_Headend")->isVisible());
        QVERIFY(m_f->ui().keepAliveRunning);
        QVERIFY(main.closeAllChildWindows());
        QVERIFY(!main.item("Settings_Dialog")->isVisible() && !m_f->ui().keepAliveRunning);
        QVERIFY(main.item("Program")->isEnabled() && main.item("USB")->isEnabled());
        QVERIFY(m_f->station().session.lan.isConnected());
    }

    void ruleMessageDecidesTheFocus_data() { addRows(ruleRows); }
    void ruleMessageDecidesTheFocus()
    {
        const RuleRow *r = &fetchRow(ruleRows);
        QVERIFY(open());
        QWidget *control = column(r->field, 0);
        control->setFocus();
        auto *combo = qobject_cast<QComboBox *>(control);
        QLineEdit *edit = combo ? combo->lineEdit() : static_cast<QLineEdit *>(control);
        // Focus by Tab or program selects the whole text: typing replaces it.
        if (combo)
            edit->selectAll();
        QTRY_COMPARE(edit->selectedText(), edit->text());
        QTest::keyClicks(control, r->typed);
        QVERIFY(column(r->enables, 0)->isEnabled());
        QTest::keyClick(control, Qt::Key_Tab);

        QTRY_COMPARE(QApplication::focusWidget(), column(r->focus, 0));
        QTest::qWait(20);
        QCOMPARE(m_f->ui().messages.size(), r->messages);
        QCOMPARE(edit->text(), r->shown);
        if (combo && r->messages == 0)
            QCOMPARE(combo->itemText(combo->count() - 1), r->typed);
    }

    void controlsReachTheHeadend()
    {
        QVERIFY(open());
        QTest::mouseClick(column("Option_Off", 1), Qt::LeftButton);
        QVERIFY(!column("Text_outfrequenz", 1)->isEnabled() &&
                !column("Combo_Att", 1)->isEnabled());
        QVERIFY(column("Command_Set", 1)->isEnabled());
        QTest::mouseClick(column("Option_On", 1), Qt::LeftButton);
        QVERIFY(column("Combo_Att", 1)->isEnabled());

        QList<int> opened;
        m_f->child<ChannelOverview>()->openServiceList = [&](int) {
            opened.append(m_f->station().unit.currentChannel);
        };
        QTest::mouseClick(column("Command_Servicelist", 4), Qt::LeftButton);
        QCOMPARE(opened, QList<int>{4});
        // Set runs the rule of the field it was clicked from before sending.
        column("Text_outfrequenz", 6)->setFocus();
        QTest::keyClicks(column("Text_outfrequenz", 6), "500");
        QTest::mouseClick(column("Command_Set", 6), Qt::LeftButton);
        QCOMPARE(column<QLineEdit>("Text_outfrequenz", 6)->text(), QStringLiteral("500.00"));
        QCOMPARE(m_f->simChannel(6).outFrequency, 500.0f);
        QVERIFY(!column("Command_Set", 6)->isEnabled());

        column("Text_infrequenz", 11)->setFocus();
        QTest::keyClicks(column("Text_infrequenz", 11), "11000");
        m_f->simChannel(11).tuner.status = 1;
        QTest::mouseClick(column("Command_Search", 11), Qt::LeftButton);
        QCOMPARE(m_f->simChannel(11).inFrequency, 11000);
        QCOMPARE(column<QLabel>("Label_Status_In", 11)->text(), QStringLiteral("Tuner Locked"));
        QVERIFY(column("Command_Servicelist", 11)->isEnabled() &&
                !column("Command_Search", 11)->isEnabled() && m_f->ui().messages.isEmpty());
    }

    // The plan follows a field as soon as the rules accept it, long before Set sends it.
    void planFollowsTheColumns()
    {
        QVERIFY(open());
        auto *overlaps = m_f->widget<QListWidget>("List_Overlaps");
        QCOMPARE(overlaps->count(), 0);
        column("Text_outfrequenz", 2)->setFocus();
        QTest::keyClicks(column("Text_outfrequenz", 2), "125");
        QTest::keyClick(column("Text_outfrequenz", 2), Qt::Key_Tab);
        QTRY_COMPARE(overlaps->count(), 1);
        QCOMPARE(overlaps->item(0)->text(), "Channel 2 and Channel 3: 121.00 MHz to 126.00 MHz");
        QTest::mouseClick(column("Option_Off", 1), Qt::LeftButton);
        QCOMPARE(overlaps->count(), 0);
        QCOMPARE(m_f->simChannel(2).outFrequency, 130.0f);
        // Zoomed until the operator asks for the whole band; the next overview remembers it.
        QVERIFY(!m_f->widget<QCheckBox>("Check_WholeBand")->isChecked());
        m_f->widget<QCheckBox>("Check_WholeBand")->click();
        QCOMPARE(m_f->fixture.stored("Plan-Whole-Band"), "True");
        QVERIFY(m_f->window->closeAllChildWindows());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m_f->child<ChannelOverview>());
        m_f->window->item("Program")->trigger();
        QTRY_VERIFY(m_f->child<ChannelOverview>());
        QVERIFY(m_f->widget<QCheckBox>("Check_WholeBand")->isChecked());
    }

    void editAndSend_data() { addRows(editRows); }
    void editAndSend()
    {
        const EditRow &r = fetchRow(editRows);
        m_f.emplace();
        QVERIFY(m_f->start());
        m_f->simChannel(listChannel).serviceMode = servicemode::listed;
        m_f->simChannel(listChannel).serviceIds = {3003, 3001};
        ServiceListWindow form(m_f->station(), listChannel);
        form.show();
        auto *input = form.findChild<QListWidget *>("List_Servicename_Input");
        auto *output = form.findChild<QListWidget *>("List_Servicename_Output");
        QTRY_VERIFY(input->isEnabled() && output->count() == 2);
        QCOMPARE(output->item(0)->data(Qt::UserRole).toInt(), 3003);

        QTest::mouseClick(form.findChild<QWidget *>("Command_RemoveAll"), Qt::LeftButton);
        for (int entry : r.rows) {
            if (entry < 0) {
                QTest::mouseClick(form.findChild<QWidget *>("Command_AddAll"), Qt::LeftButton);
            } else if (r.byKeyboard) {
                input->setFocus();
                input->setCurrentRow(entry);
                QTest::keyClick(input, Qt::Key_Return);
            } else { // the view only takes a double-click on the entry the first click pressed
                const QPoint at = input->visualItemRect(input->item(entry)).center();
                QTest::mouseClick(input->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(input->viewport(), Qt::LeftButton, {}, at);
            }
        }
        QCOMPARE(form.findChild<QLabel *>("Label_Anzahl_Output")->text(),
                 QString::number(output->count()));
        m_f->sim.headend.setFault(
            {.fault = r.failingCode ? sim::Fault::DropAnswer : sim::Fault::None,
             .code = r.failingCode});
        QTest::mouseClick(form.findChild<QWidget *>("Command_Save"), Qt::LeftButton);

        // A failed send keeps the window open, but inert, until the operator closes it.
        QCOMPARE(form.isVisible() && !input->isEnabled(), r.failingCode != 0);
        QCOMPARE(m_f->sim.frames(param::listString).size(), int(!r.failingCode));
        QCOMPARE(m_f->ui().messages.isEmpty(), !r.failingCode && r.rows.count(2) < 2);
        QCOMPARE(m_f->simChannel(listChannel).serviceIds, r.sent);
        QCOMPARE(m_f->station().unit.channels[listChannel].serviceMode, r.mode);
        QCOMPARE(m_f->simChannel(listChannel).serviceMode, r.mode);
    }

    // The diagnostic window reads when it opens and whenever it is activated again, but not when
    // a message box hands the activation back to the main window; its menu item rests meanwhile.
    void diagnosticLockMarksAndReadingOnActivation()
    {
        m_f.emplace();
        QVERIFY(m_f->start(8));
        sim::Diagnostics &diagnostics = m_f->sim.headend.state().diagnostics;
        diagnostics.actualTemperatureRaw = 10;
        diagnostics.status = QByteArray::fromHex("F5800200FBFFF7FF");
        // REFRESH while the first reading runs starts no second one (one 0x80 below).
        int pressed = 0;
        QTimer press;
        connect(&press, &QTimer::timeout, [&] {
            if (!pressed && !m_f->sim.frames(0x80).isEmpty() && m_f->sim.frames(0x60).isEmpty()) {
                ++pressed;
                m_f->widget<QPushButton>("Command_Refresh")->click();
            }
        });
        press.start(1);
        m_f->window->item("Diagnostic")->trigger();
        QTRY_COMPARE(m_f->widget<QLabel>("Label_FPGA_ActTemp")->text(), "-6");
        QCOMPARE(pressed, 1);
        press.stop();
        for (const auto &[name, locked] :
             {std::pair{"Label_VCO_LOCK", true}, {"Label_SERDES_Lock", false}}) {
            QCOMPARE(m_f->widget<QLabel>(name)->text(), locked ? "LOCKED" : "UNLOCKED");
            QVERIFY(m_f->widget(name)->styleSheet().contains(locked ? "00c000" : "ff0000"));
        }
        QVERIFY(!m_f->window->item("Diagnostic")->isEnabled());
        m_f->widget<QRadioButton>("Option_Fan_2")->click();
        QCOMPARE(diagnostics.fan, quint8(2));

        QMdiSubWindow *diagnostic = m_f->window->mdiArea()->activeSubWindow();
        diagnostics.actualTemperatureRaw = 16 + 44;
        m_f->window->addChildWindow(new QPushButton);
        QCOMPARE(m_f->sim.frames(0x80).size(), 1);
        m_f->window->mdiArea()->setActiveSubWindow(diagnostic);
        QTRY_COMPARE(m_f->widget<QLabel>("Label_FPGA_ActTemp")->text(), "44");
        QVERIFY(m_f->ui().keepAliveRunning);
        {
            QDialog box(m_f->window.get());
            box.setModal(true);
            box.show();
            QVERIFY(QTest::qWaitForWindowActive(&box));
        }
        m_f->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_f->window.get()));
        QCoreApplication::processEvents();
        QCOMPARE(m_f->sim.frames(0x80).size(), 2);
        m_f->window->closeAllChildWindows();
        QVERIFY(m_f->window->item("Diagnostic")->isEnabled());
    }

    // Over USB the keep-alive tick reaches the headend; closing the overview sends the closing
    // frame and frees the port for other programs.
    void usbLine()
    {
        m_f.emplace();
        StationFixture &f = m_f->fixture;
        f.settings.setValue("Settings/USB-Control", "True");
        QVERIFY(m_f->sim.offerPty(f.station.session));
        m_f->window = std::make_unique<MainWindow>(f.station, standardWindows());
        m_f->window->show();
        bool read = false;
        m_f->window->item("Program")->trigger();
        connect(m_f->child<ChannelOverview>(), &ChannelOverview::headendRead, [&] { read = true; });
        QTRY_VERIFY(read);
        m_f->window->keepAliveTick();
        QVERIFY(m_f->sim.frames(0x77).size() == 1 && m_f->ui().messages.isEmpty());
        QVERIFY(m_f->window->closeAllChildWindows());
        QCOMPARE(m_f->sim.frames(0x50).size(), 1);
        QVERIFY(!f.station.session.serial.isOpen());
    }

private:
    bool open(int channels = 12)
    {
        m_f.emplace();
        m_f->simChannel(channels - 1).tuner.status = 0;
        if (!m_f->start(channels, true))
            return false;
        // The window takes no click before it has shown what it read: the output switched off
        // here would leave channel 1 with its Set button enabled.
        int clicks = 0;
        QTimer click;
        connect(&click, &QTimer::timeout, [&] {
            QWidget *off = column("Option_Off", 0);
            if (off && off->isVisible() && ++clicks)
                QTest::mouseClick(off, Qt::LeftButton);
        });
        click.start(1);
        m_f->window->item("Program")->trigger();
        return QTest::qWaitFor([this] {
                   return m_f->child<ChannelOverview>() &&
                          m_f->window->item("Settings_Dialog")->isVisible();
               }) &&
               clicks > 0;
    }

    template<typename T = QWidget> T *column(const char *name, int channel) const
    {
        return m_f->widget<T>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(channel));
    }

    std::optional<ConnectedStation> m_f;
};

QTEST_MAIN(TestOverview)
#include "tst_overview.moc"
