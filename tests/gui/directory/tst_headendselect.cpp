#include "directory/formheadend.h"

#include "simfixture.h"
#include "stationfixture.h"

#include <QTableView>
#include <QTest>

using namespace keldor;

class TestHeadendSelect : public QObject {
    Q_OBJECT

private slots:
    void emptyDirectory()
    {
        StationFixture fixture;
        QVERIFY(fixture.writeDirectory({}));
        Form_Headend selection(fixture.station);
        QCOMPARE(fixture.ui.messages.size(), 1);
        const RecordingUi::Message &message = fixture.ui.messages.first();
        QCOMPARE(message.title, QStringLiteral("Selection Error"));
        QCOMPARE(message.text,
                 QStringLiteral("   Selection not possible.\rPlease edit a headend first!"));
        QCOMPARE(message.icon, UserInterface::Icon::Critical);
        QCOMPARE(selection.grid()->model()->rowCount(), 0);
        QCOMPARE(fixture.station.shell.active_headend_name, QStringLiteral("non"));
    }

    void choosingARow_data()
    {
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("double click") << false;
        QTest::newRow("Enter") << true;
    }

    void choosingARow()
    {
        QFETCH(bool, byKeyboard);
        StationFixture fixture;
        QVERIFY(fixture.writeDirectory(
            {{"Rack 1", "Basement", "10.0.0.1", "4001"}, {"Rack 2", "Roof", "10.0.0.2", "4002"}}));
        Form_Headend selection(fixture.station);
        selection.show();
        QVERIFY(QTest::qWaitForWindowExposed(&selection));
        QTableView *grid = selection.grid();
        if (byKeyboard) {
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_Down);
            QTest::keyClick(grid, Qt::Key_Return);
        } else {
            const QRect cell = grid->visualRect(grid->model()->index(1, 2));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        }
        QCOMPARE(fixture.station.shell.active_headend_name, QStringLiteral("Rack 2"));
        QCOMPARE(fixture.station.shell.active_headend_ip, QStringLiteral("10.0.0.2"));
        QCOMPARE(fixture.station.shell.active_headend_port, QStringLiteral("4002"));
        QCOMPARE(fixture.ui.panels[1], QStringLiteral("Active Headend: Rack 2"));
        QCOMPARE(selection.result(), int(QDialog::Accepted));
        QVERIFY(!selection.isVisible());
    }

    void loadEndsTheConnection()
    {
        StationFixture fixture;
        SimHeadend sim;
        QVERIFY(sim.listen());
        QVERIFY(fixture.writeDirectory({{"Sim", "", "127.0.0.1", sim.portText()}}));
        LanTarget target;
        target.name = QStringLiteral("Sim");
        target.ip = QStringLiteral("127.0.0.1");
        target.port = sim.portText();
        fixture.station.session.exchange.setSerialSelected(false);
        QVERIFY(lan_connect(fixture.station.session, target));
        fixture.station.shell.active_headend_name = QStringLiteral("Sim");

        Form_Headend selection(fixture.station);

        QVERIFY(!fixture.station.session.lan.isConnected());
        QCOMPARE(fixture.station.shell.active_headend_name, QStringLiteral("non"));
        QCOMPARE(fixture.ui.panels[2], QStringLiteral("Offline"));
        QCOMPARE(fixture.ui.panels[1], QStringLiteral("Active Headend: non"));
    }

    void unreadableDirectoryIsReported()
    {
        StationFixture fixture;
        QFile file(directoryPath(fixture.folder.path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no database");
        file.close();
        Form_Headend selection(fixture.station);
        QCOMPARE(fixture.ui.messages.size(), 1);
        QCOMPARE(fixture.ui.messages.first().title, QStringLiteral("Selection Error"));
        QVERIFY(!fixture.ui.messages.first().text.isEmpty());
        QCOMPARE(selection.grid()->model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestHeadendSelect)
#include "tst_headendselect.moc"
