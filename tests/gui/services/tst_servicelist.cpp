#include "services/formservicelist.h"

#include "services/servicelists.h"
#include "simfixture.h"
#include "stationfixture.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace keldor;

namespace {

constexpr int channel = 2; // CHANNEL 3; the simulator's services 3000..3004 "Service 3-1".."3-5"

QList<qint16> ids_in(const QListWidget *list)
{
    QList<qint16> ids;
    for (int row = 0; row < list->count(); ++row)
        ids.append(static_cast<qint16>(list->item(row)->data(Qt::UserRole).toInt()));
    return ids;
}

} // namespace

// The service list window against the simulated headend over loopback TCP.
class TestServiceList : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<StationFixture>();
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        Station &station = m_fixture->station;
        station.session.exchange.setSerialSelected(false);
        station.shell.active_headend_name = QStringLiteral("Sim");
        station.shell.active_headend_ip = QStringLiteral("127.0.0.1");
        station.shell.active_headend_port = m_sim->portText();
        QVERIFY(lan_connect(station.session, station.lanTarget()));
        m_form = std::make_unique<Form_Servicelist>(station, channel);
    }

    void cleanup()
    {
        m_form.reset();
        m_sim.reset();
        m_fixture.reset();
    }

    void fillsBothListsWhenShown()
    {
        sim::Channel &simChannel = m_sim->headend.state().channels[channel];
        simChannel.serviceMode = servicemode::listed;
        simChannel.serviceIds = {3003, 3001};
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Edit Servicelist CHANNEL 3"));
        QVERIFY(!m_form->windowIcon().isNull());
        const QList<std::pair<const char *, const char *>> captions{
            {"Label_Servicelist_Input", "Input Servicelist:"},
            {"Label_Servicelist_Output", "Output Servicelist:"},
            {"Label_Services_Found_0", "Services found"},
            {"Label_Services_Found_1", "Services found"},
            {"Command_AddAll", "Add All  >>"},
            {"Command_RemoveAll", "<<  Remove All"},
            {"Command_Save", "Save / Back"}};
        for (const auto &[name, caption] : captions) {
            const QWidget *control = m_form->findChild<QWidget *>(name);
            QVERIFY2(control, name);
            QCOMPARE(control->property("text").toString(), QString::fromUtf8(caption));
        }

        showForm();

        QCOMPARE(ids_in(input()), (QList<qint16>{3000, 3001, 3002, 3003, 3004}));
        QCOMPARE(input()->item(1)->text(), QStringLiteral("Service 3-2"));
        QCOMPARE(input()->currentRow(), 0);
        QCOMPARE(ids_in(output()), (QList<qint16>{3003, 3001}));
        QCOMPARE(output()->item(0)->text(), QStringLiteral("Service 3-4"));
        QCOMPARE(label("Label_Anzahl_Input"), QStringLiteral("5"));
        QCOMPARE(label("Label_Anzahl_Output"), QStringLiteral("2"));
        QCOMPARE(m_fixture->station.unit.current_channel, channel);
    }

    void duplicateIsRefusedWithInfo_data()
    {
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("double-click") << false;
        QTest::newRow("Enter") << true;
    }

    void duplicateIsRefusedWithInfo()
    {
        QFETCH(bool, byKeyboard);
        showForm();
        const QList<qint16> before = ids_in(output());

        activate(input(), 2, byKeyboard);

        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(ui().messages.first().icon, UserInterface::Icon::Information);
        QCOMPARE(ui().messages.first().title, QStringLiteral("Info"));
        QCOMPARE(
            ui().messages.first().text,
            QStringLiteral("Service Service 3-3 is already a member of the Outputservicelist!"));
        QCOMPARE(ids_in(output()), before);
        QCOMPARE(input()->count(), 5);
        QVERIFY(m_form->isVisible());
    }

    void saveSendsTheShorterList_data()
    {
        QTest::addColumn<QList<int>>("chosenRows");
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<quint16>>("listed");
        QTest::newRow("2 of 5 passed")
            << QList<int>{4, 1} << false << int(servicemode::listed) << QList<quint16>{3004, 3001};
        QTest::newRow("3 of 5 passed, by keyboard")
            << QList<int>{0, 2, 3} << true << int(servicemode::allButListed)
            << QList<quint16>{3001, 3004};
    }

    void saveSendsTheShorterList()
    {
        QFETCH(QList<int>, chosenRows);
        QFETCH(bool, byKeyboard);
        QFETCH(int, mode);
        QFETCH(QList<quint16>, listed);
        showForm();
        click("Command_RemoveAll");
        QCOMPARE(output()->count(), 0);
        QCOMPARE(label("Label_Anzahl_Output"), QStringLiteral("0"));
        for (int row : chosenRows)
            activate(input(), row, byKeyboard);
        QCOMPARE(label("Label_Anzahl_Output"), QString::number(chosenRows.size()));

        click("Command_Save");

        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->result(), int(QDialog::Accepted));
        const sim::Channel &simChannel = m_sim->headend.state().channels[channel];
        QCOMPARE(simChannel.serviceMode, mode);
        QCOMPARE(simChannel.serviceIds, listed);
        const ChannelRecord &record = m_fixture->station.unit.channels[channel];
        QCOMPARE(record.service_mode, mode);
        QCOMPARE(record.service_count, listed.size());
        QVERIFY(ui().messages.isEmpty());
    }

    void removeAllThenAddAllPassesEverything()
    {
        m_sim->headend.state().channels[channel].serviceMode = servicemode::listed;
        m_sim->headend.state().channels[channel].serviceIds = {3002};
        showForm();
        click("Command_RemoveAll");
        click("Command_AddAll");
        QCOMPARE(ids_in(output()), ids_in(input()));
        QCOMPARE(label("Label_Anzahl_Output"), QStringLiteral("5"));
        m_sim->headend.clearTranscript();

        click("Command_Save");

        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_sim->frames(servicecode::selectionId).size(), 0);
        QCOMPARE(m_sim->frames(servicecode::listString).first().bytes.mid(2, 2),
                 QByteArray::fromHex("0000"));
        QCOMPARE(m_sim->headend.state().channels[channel].serviceMode, 0);
    }

    void unchangedOrAbandonedListsSendNothing_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::newRow("Save / Back without an edit") << false;
        QTest::newRow("edited, closed by the frame") << true;
    }

    void unchangedOrAbandonedListsSendNothing()
    {
        QFETCH(bool, edited);
        showForm();
        m_sim->headend.clearTranscript();
        if (edited) {
            activate(output(), 0, false);
            m_form->close();
        } else {
            click("Command_Save");
        }
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Frame), 0);
        QCOMPARE(m_fixture->station.unit.channels[channel].service_mode, 0);
    }

    void editsSurviveAnotherActivation()
    {
        showForm();
        click("Command_RemoveAll");
        activate(input(), 3, false);
        m_form->hide();
        m_form->show();
        QTest::qWait(20);
        QCOMPARE(ids_in(output()), QList<qint16>{3003});
        QCOMPARE(m_sim->frames(servicecode::selectChannel).size(), 1);
    }

    void failedWriteKeepsTheWindowOpen()
    {
        showForm();
        click("Command_RemoveAll");
        activate(input(), 0, false);
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = servicecode::selectionId;
        m_sim->headend.setFault(plan);

        click("Command_Save");

        QVERIFY(m_form->isVisible());
        QVERIFY(!control("Command_Save")->isEnabled());
        QVERIFY(!input()->isEnabled());
        QVERIFY(!ui().messages.isEmpty());
        QCOMPARE(m_sim->frames(servicecode::listString).size(), 0);
        // Closing by the frame still works.
        m_form->close();
        QVERIFY(!m_form->isVisible());
    }

    void failedFillLeavesAnUsableWindow()
    {
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = servicecode::inputName;
        m_sim->headend.setFault(plan);
        m_form->show();
        QTRY_COMPARE(label("Label_Anzahl_Input"), QStringLiteral("5"));
        QTRY_VERIFY(input()->isEnabled());
        QCOMPARE(input()->count(), 0);
        QCOMPARE(output()->count(), 0);
        QVERIFY(label("Label_Anzahl_Output").isEmpty());
        QCOMPARE(ui().texts().value(0), QStringLiteral("Connection aborted!"));
        m_sim->headend.clearTranscript();
        click("Command_Save");
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Frame), 0);
    }

private:
    void showForm()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QTRY_VERIFY(input()->isEnabled() && output()->count() > 0);
    }

    // A double-click, or Enter on the current entry.
    void activate(QListWidget *list, int row, bool byKeyboard)
    {
        if (byKeyboard) {
            list->setFocus();
            list->setCurrentRow(row);
            QTest::keyClick(list, Qt::Key_Return);
            return;
        }
        // The view only takes a double-click on the entry that the first click pressed.
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    void click(const char *name)
    {
        QTest::mouseClick(static_cast<QPushButton *>(control(name)), Qt::LeftButton);
    }

    QWidget *control(const char *name) const { return m_form->findChild<QWidget *>(name); }
    QListWidget *input() const
    {
        return m_form->findChild<QListWidget *>("List_Servicename_Input");
    }
    QListWidget *output() const
    {
        return m_form->findChild<QListWidget *>("List_Servicename_Output");
    }
    QString label(const char *name) const { return m_form->findChild<QLabel *>(name)->text(); }
    RecordingUi &ui() { return m_fixture->ui; }

    std::unique_ptr<StationFixture> m_fixture;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<Form_Servicelist> m_form;
};

QTEST_MAIN(TestServiceList)
#include "tst_servicelist.moc"
