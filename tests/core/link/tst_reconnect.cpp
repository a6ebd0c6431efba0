#include "link/reconnect.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

// The wait for a restarting headend on both links; the restart through the main window is
// tested with the widgets.
class TestReconnect : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
    }

    void serialPortBack()
    {
        SimHeadend sim;
        QVERIFY(sim.openPty());
        QVERIFY(wait_for_restart(*m_session, {}, sim.pty.slavePath()));
        QVERIFY(m_ui->messages.isEmpty());
        QVERIFY(!m_ui->progressShown);
        QCOMPARE(m_ui->busyDepth, 0);
        // The serial port is only looked at; the caller opens it again.
        QVERIFY(!m_session->serial.isOpen());
    }

    void unreachable_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("port");
        QTest::newRow("serial port gone") << true << "/dev/keldor-no-such-port";
        QTest::newRow("no serial port known") << true << "";
        QTest::newRow("LAN port is no number") << false << "http";
        QTest::newRow("LAN nobody listening") << false << "1";
    }

    void unreachable()
    {
        QFETCH(bool, serial);
        QFETCH(QString, port);
        m_session->exchange.setSerialSelected(serial);
        LanTarget target;
        target.name = QStringLiteral("Rack");
        target.ip = QStringLiteral("127.0.0.1");
        target.port = port;
        QVERIFY(!wait_for_restart(*m_session, target, port));
        QCOMPARE(m_ui->texts(), QStringList{"Reconnect to Headend failed, please try manually!"});
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("KELDOR Station"));
        QVERIFY(!m_ui->progressShown);
        QCOMPARE(m_ui->busyDepth, 0);
    }

    void lanHeadendAccepting()
    {
        SimHeadend sim;
        QVERIFY(sim.listen());
        m_session->exchange.setSerialSelected(false);
        LanTarget target;
        target.ip = QStringLiteral("127.0.0.1");
        target.port = sim.portText();
        QVERIFY(wait_for_restart(*m_session, target, {}));
        QVERIFY(m_session->lan.isConnected());
        QVERIFY(m_ui->messages.isEmpty());
        // The headend accepts at once, so the first look after the restart pause finds it: the
        // bar stops full and never starts over.
        QCOMPARE(m_ui->progressValues, (QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    }

private:
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
};

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
