#include "shell/mdiform1.h"

#include "link/reconnect.h"
#include "simfixture.h"
#include "stationfixture.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

// The restart of a headend over the LAN and the wait until it can be reached again, against a
// simulated headend that restarts on the command like the real one.
class TestReset : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<StationFixture>();
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        m_overviews = 0;
        WindowRegistry registry;
        registry.add(HeadendWindow::Program, [this](Station &, MDIForm1 &) {
            ++m_overviews;
            return new QWidget;
        });
        m_window = std::make_unique<MDIForm1>(m_fixture->station, registry);

        ShellState &shell = m_fixture->station.shell;
        shell.active_headend_name = QStringLiteral("Sim");
        shell.active_headend_ip = QStringLiteral("127.0.0.1");
        shell.active_headend_port = m_sim->portText();
        QVERIFY(lan_connect(m_fixture->station.session, m_fixture->station.lanTarget()));
        m_fixture->ui.progressValues.clear();
        m_fixture->ui.progressLabels.clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_sim.reset();
        m_fixture.reset();
    }

    void headendComesBack()
    {
        setRestartDelay(300ms);
        // Room for a slow machine; the wait ends as soon as the headend is back.
        m_fixture->station.session.timing.reconnectLimit = 10s;
        m_window->addChildWindow(new QWidget);

        m_window->item("Reset_Headend")->trigger();

        QCOMPARE(m_sim->frames(0x96).size(), 1);
        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 2);
        QCOMPARE(ui().panels[2], QStringLiteral("Online"));
        QCOMPARE(m_overviews, 1);
        // The old child went, the new overview is the only one.
        QTRY_COMPARE(m_window->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(ui().progressLabels.first(),
                 QStringLiteral("Headend is now reinitializing, please wait..."));
        QCOMPARE(ui().progressValues.mid(0, 11),
                 (QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        QVERIFY(!ui().progressShown);
        QCOMPARE(ui().busyDepth, 0);
    }

    void headendNeverComesBack()
    {
        setRestartDelay(1h);

        m_window->item("Reset_Headend")->trigger();

        QCOMPARE(ui().messages.size(), 1);
        const RecordingUi::Message &message = ui().messages.first();
        QCOMPARE(message.text, QStringLiteral("Reconnect to Headend failed, please try manually!"));
        QCOMPARE(message.title, QLatin1String(applicationTitle));
        QCOMPARE(message.icon, UserInterface::Icon::Critical);
        QCOMPARE(m_overviews, 0);
        QVERIFY(!ui().progressShown);
        QCOMPARE(ui().busyDepth, 0);
        // The restart pause fills the bar; the wait then starts over from 0 and keeps moving
        // until it gives up, so a bar that came round means it did not give up at once.
        const QList<int> values = ui().progressValues;
        QCOMPARE(values.mid(0, 11), (QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        QCOMPARE(values.value(11), 0);
        QVERIFY(values.mid(12).contains(10));
        QVERIFY(m_window->lanChecked());
    }

    void failedResetCommandChangesNothing()
    {
        m_window->addChildWindow(new QWidget);
        m_sim.reset();

        m_window->item("Reset_Headend")->trigger();

        QCOMPARE(ui().texts().value(0), QStringLiteral("Connection aborted!"));
        QCOMPARE(ui().messages.last().title, QStringLiteral("Error 96"));
        QVERIFY(ui().progressLabels.isEmpty());
        QCOMPARE(m_window->mdiArea()->subWindowList().size(), 1);
    }

    void headendRefusingConnectionsIsRetried()
    {
        // The first attempts are refused while the device is down; each refusal starts a new
        // attempt until one is accepted.
        setRestartDelay(500ms);
        m_fixture->station.session.timing.restartStep = 1ms;
        m_fixture->station.session.timing.reconnectLimit = 10s;

        m_window->item("Reset_Headend")->trigger();

        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(m_overviews, 1);
    }

private:
    void setRestartDelay(std::chrono::milliseconds delay)
    {
        sim::Timing timing = m_sim->headend.timing();
        timing.restartDrop = 10ms;
        timing.restartDelay = delay;
        m_sim->headend.setTiming(timing);
    }

    RecordingUi &ui() { return m_fixture->ui; }

    std::unique_ptr<StationFixture> m_fixture;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<MDIForm1> m_window;
    int m_overviews = 0;
};

QTEST_MAIN(TestReset)
#include "tst_reset.moc"
