#include "services/formservicelist.h"

#include "connectedstation.h"
#include "services/servicelists.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

using namespace keldor;

namespace {

constexpr int channel = 2; // the simulator's services 3000..3004

struct EditRow {
    const char *name;
    QList<int> rows; // double-clicked, or Enter pressed on; -1: Add All
    bool byKeyboard;
    int failingCode;
    int mode;
    QList<quint16> sent;
};
const EditRow editRows[] = {
    {"2 of 5 by mouse", {4, 1}, false, 0, servicemode::listed, {3004, 3001}},
    {"3 of 5 by keyboard", {0, 2, 3}, true, 0, servicemode::allButListed, {3001, 3004}},
    {"duplicate refused", {2, 2}, true, 0, servicemode::listed, {3002}},
    {"Add All", {-1}, false, 0, 0, {}},
    {"failed write", {0}, false, servicecode::selectionId, 0, {}},
};

} // namespace

// The service list editor's controls and its send through the window, against the simulated
// headend. Which list is sent and the duplicate rule are tested at core level.
class TestServiceList : public QObject {
    Q_OBJECT

private slots:
    void editAndSend_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(editRows)); ++i)
            QTest::addRow("%s", editRows[i].name) << i;
    }

    void editAndSend()
    {
        QFETCH(int, row);
        const EditRow &r = editRows[row];
        ConnectedStation f;
        QVERIFY(f.start());
        f.simChannel(channel).serviceMode = servicemode::listed;
        f.simChannel(channel).serviceIds = {3003, 3001};
        Form_Servicelist form(f.station(), channel);
        form.show();
        auto *input = form.findChild<QListWidget *>("List_Servicename_Input");
        auto *output = form.findChild<QListWidget *>("List_Servicename_Output");
        QTRY_VERIFY(input->isEnabled() && output->count() == 2);
        QCOMPARE(input->count(), 5);
        QCOMPARE(output->item(0)->data(Qt::UserRole).toInt(), 3003);

        QTest::mouseClick(form.findChild<QPushButton *>("Command_RemoveAll"), Qt::LeftButton);
        for (int entry : r.rows) {
            if (entry < 0) {
                QTest::mouseClick(form.findChild<QPushButton *>("Command_AddAll"), Qt::LeftButton);
            } else if (r.byKeyboard) {
                input->setFocus();
                input->setCurrentRow(entry);
                QTest::keyClick(input, Qt::Key_Return);
            } else {
                // The view only takes a double-click on the entry that the first click pressed.
                const QPoint at = input->visualItemRect(input->item(entry)).center();
                QTest::mouseClick(input->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(input->viewport(), Qt::LeftButton, {}, at);
            }
        }
        QCOMPARE(form.findChild<QLabel *>("Label_Anzahl_Output")->text(),
                 QString::number(output->count()));
        sim::FaultPlan plan;
        plan.fault = r.failingCode ? sim::Fault::DropAnswer : sim::Fault::None;
        plan.code = r.failingCode;
        f.sim.headend.setFault(plan);
        QTest::mouseClick(form.findChild<QPushButton *>("Command_Save"), Qt::LeftButton);

        // A failed send keeps the window open, but inert, until the operator closes it.
        QCOMPARE(form.isVisible() && !input->isEnabled(), r.failingCode != 0);
        QCOMPARE(f.sim.frames(servicecode::listString).size(), int(!r.failingCode));
        QCOMPARE(f.ui().messages.isEmpty(), !r.failingCode && r.rows.count(2) < 2);
        if (!r.failingCode) {
            QCOMPARE(f.simChannel(channel).serviceMode, r.mode);
            QCOMPARE(f.simChannel(channel).serviceIds, r.sent);
            QCOMPARE(f.station().unit.channels[channel].service_mode, r.mode);
        }
    }
};

QTEST_MAIN(TestServiceList)
#include "tst_servicelist.moc"
