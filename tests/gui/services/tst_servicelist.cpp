#include "services/formservicelist.h"

#include "connectedstation.h"
#include "services/servicelists.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

using namespace keldor;

namespace {

constexpr int channel = 2; // the simulator's services 3000..3004 "Service 3-1".."3-5"

QList<quint16> idsIn(const QListWidget *list)
{
    QList<quint16> ids;
    for (int row = 0; row < list->count(); ++row)
        ids.append(static_cast<quint16>(list->item(row)->data(Qt::UserRole).toInt()));
    return ids;
}

} // namespace

// The service list editor's controls and its send, against the simulated headend. Which list
// is sent and the duplicate rule are tested at core level.
class TestServiceList : public QObject {
    Q_OBJECT

private slots:
    void editAndSend_data()
    {
        QTest::addColumn<QList<int>>("rows"); // -1: Add All
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<int>("failingCode");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<quint16>>("sent");
        QTest::addRow("2 of 5 by mouse") << QList<int>{4, 1} << false << 0
                                         << int(servicemode::listed) << QList<quint16>{3004, 3001};
        QTest::addRow("3 of 5 by keyboard")
            << QList<int>{0, 2, 3} << true << 0 << int(servicemode::allButListed)
            << QList<quint16>{3001, 3004};
        QTest::addRow("a duplicate is refused")
            << QList<int>{2, 2} << true << 0 << int(servicemode::listed) << QList<quint16>{3002};
        QTest::addRow("Add All") << QList<int>{-1} << false << 0 << 0 << QList<quint16>{};
        QTest::addRow("failed write")
            << QList<int>{0} << false << int(servicecode::selectionId) << 1 << QList<quint16>{3001};
    }

    void editAndSend()
    {
        QFETCH(QList<int>, rows);
        QFETCH(bool, byKeyboard);
        QFETCH(int, failingCode);
        QFETCH(int, mode);
        QFETCH(QList<quint16>, sent);
        ConnectedStation f;
        QVERIFY(f.start());
        sim::Channel &simChannel = f.simChannel(channel);
        simChannel.serviceMode = servicemode::listed;
        simChannel.serviceIds = {3003, 3001};
        Form_Servicelist form(f.station(), channel);
        form.show();
        auto *input = form.findChild<QListWidget *>("List_Servicename_Input");
        auto *output = form.findChild<QListWidget *>("List_Servicename_Output");
        QTRY_VERIFY(input->isEnabled() && output->count() > 0);
        QCOMPARE(idsIn(input), (QList<quint16>{3000, 3001, 3002, 3003, 3004}));
        QCOMPARE(idsIn(output), (QList<quint16>{3003, 3001}));

        QTest::mouseClick(form.findChild<QPushButton *>("Command_RemoveAll"), Qt::LeftButton);
        for (int row : rows) {
            if (row < 0) {
                QTest::mouseClick(form.findChild<QPushButton *>("Command_AddAll"), Qt::LeftButton);
            } else if (byKeyboard) {
                input->setFocus();
                input->setCurrentRow(row);
                QTest::keyClick(input, Qt::Key_Return);
            } else {
                // The view only takes a double-click on the entry that the first click pressed.
                const QPoint at = input->visualItemRect(input->item(row)).center();
                QTest::mouseClick(input->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(input->viewport(), Qt::LeftButton, {}, at);
            }
        }
        QCOMPARE(form.findChild<QLabel *>("Label_Anzahl_Output")->text(),
                 QString::number(output->count()));
        if (failingCode) {
            sim::FaultPlan plan;
            plan.fault = sim::Fault::DropAnswer;
            plan.code = failingCode;
            f.sim.headend.setFault(plan);
        }
        QTest::mouseClick(form.findChild<QPushButton *>("Command_Save"), Qt::LeftButton);

        // A failed send keeps the window open, but inert, until the operator closes it.
        if (failingCode) {
            QVERIFY(form.isVisible() && !input->isEnabled());
            QVERIFY(!f.ui().messages.isEmpty());
            QCOMPARE(f.sim.frames(servicecode::listString).size(), 0);
            return;
        }
        QVERIFY(!form.isVisible());
        QCOMPARE(f.ui().messages.size(), int(rows.count(2) > 1));
        QCOMPARE(simChannel.serviceMode, mode);
        QCOMPARE(simChannel.serviceIds, sent);
        QCOMPARE(f.station().unit.channels[channel].service_mode, mode);
    }
};

QTEST_MAIN(TestServiceList)
#include "tst_servicelist.moc"
