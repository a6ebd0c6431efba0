#include "connectedstation.h"
#include "core/features/health/health.h"
#include "gui/fleet/headendsoverview.h"

#include <QtTest>

#include <array>
#include <functional>

using namespace keldor;

namespace {

enum Column { Name, Address, State, Temperature, Outputs, Controller, Fpga, Checked, Details };

// One simulated headend of the fleet, as the window shows it after Check All; details: the start.
// clang-format off
struct FleetRow { const char *name; std::function<void(sim::Headend &)> setUp; QString state, temperature, outputs, fpga, details; }
const fleetRows[] = {
    {"Adler", [](sim::Headend &) {}, "OK", "41 °C", "12/12", "1.06", "temperature 41 C, 12 of 12 active outputs locked"},
    {"Berg", [](sim::Headend &h) { h.state().diagnostics.actualTemperatureRaw = 16 + 60; h.state().identity.fpgaVersion = QStringLiteral("2.10"); },
     "OK", "60 °C", "12/12", "2.10", "temperature 60 C"},
    {"Dock", [](sim::Headend &h) { h.state().diagnostics.actualTemperatureRaw = 16 + 61; }, "WARNING", "61 °C", "12/12", "1.06", "temperature 61 C above 60"},
    {"Eiche", [](sim::Headend &h) { h.state().channels[2].tuner.status = 0; h.state().channels[5].outputOn = 0;
                                    h.state().identity.variant = *sim::variantForChannelCount(8); },
     "CRITICAL", "41 °C", "6/7", "1.06", "channel 3 output on: "},
    {"Forst", [](sim::Headend &h) { h.setFault({sim::Fault::Silent}); }, "UNKNOWN", "", "", "", "Download Error: Connection could not be established!"},
};
// clang-format on
constexpr int fleetSize = int(std::size(fleetRows));

} // namespace

class TestHeadendsOverview : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_station = std::make_unique<ConnectedStation>();
        QVERIFY(m_station->start());
        m_fleet = std::make_unique<std::array<SimHeadend, fleetSize>>();
        QList<HeadendEntry> rows;
        for (int i = 0; i < fleetSize; ++i) {
            fleetRows[i].setUp(sim(i).headend);
            QVERIFY(sim(i).listen());
            rows.append({QLatin1String(fleetRows[i].name), QStringLiteral("Hall"),
                         QStringLiteral("127.0.0.1"), sim(i).portText()});
        }
        QVERIFY(m_station->fixture.writeDirectory(rows));
    }
    void cleanup()
    {
        m_station.reset();
        m_fleet.reset();
    }

    void checkAllShowsEachHeadendsState()
    {
        HeadendsOverview *fleet = open();
        QTableWidget *grid = fleet->grid();
        QCOMPARE(grid->rowCount(), fleetSize);
        for (int row = 0; row < fleetSize; ++row)
            QCOMPARE(text(row, State), QStringLiteral("never checked"));

        QTest::mouseClick(button("Check_All"), Qt::LeftButton);
        // The click has returned before any headend answered.
        QVERIFY(fleet->isRunning());
        QVERIFY(!button("Check_All")->isEnabled());
        QCOMPARE(text(0, State), QStringLiteral("checking..."));
        QVERIFY(waitForRun(fleet));

        QSet<QRgb> colours;
        for (int row = 0; row < fleetSize; ++row) {
            const FleetRow &expected = fleetRows[row];
            QCOMPARE((QStringList{text(row, Name), text(row, Address), text(row, State),
                                  text(row, Temperature), text(row, Outputs), text(row, Fpga)}),
                     (QStringList{expected.name, "127.0.0.1:" + sim(row).portText(), expected.state,
                                  expected.temperature, expected.outputs, expected.fpga}));
            QVERIFY2(text(row, Details).startsWith(expected.details),
                     qPrintable(text(row, Details)));
            QVERIFY(!text(row, Checked).isEmpty());
            colours.insert(grid->item(row, State)->background().color().rgb());
        }
        QCOMPARE(colours.size(), 4); // one colour per state
        QCOMPARE(m_station->widget<QLabel>("Summary")->text(),
                 QStringLiteral("5 headends: 2 OK, 1 WARNING, 1 CRITICAL, 1 UNKNOWN"));
        QVERIFY(m_station->ui().messages.isEmpty());
    }

    // A headend that keeps the check waiting holds up neither the others nor the operator.
    void slowHeadendBlocksNothing()
    {
        m_station->station().session.timing.handshakeWindow = 1500ms;
        HeadendsOverview *fleet = open();
        fleet->checkAll();
        // Each step ends as the bar moves, before the slow headend's answer.
        auto *progress = m_station->widget<QProgressBar>("Progress");
        QSignalSpy moved(progress, &QProgressBar::valueChanged);
        while (progress->value() < fleetSize - 1)
            QVERIFY(moved.wait(5000));
        QVERIFY(fleet->isRunning());
        QCOMPARE(text(fleetSize - 1, State), QStringLiteral("checking..."));

        const QRect cell = fleet->grid()->visualItemRect(fleet->grid()->item(1, Name));
        QTest::mouseClick(fleet->grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(fleet->grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(m_station->overviews, 1);
        const ShellState &shell = m_station->station().shell;
        QCOMPARE(shell.activeHeadendName, QStringLiteral("Berg"));
        QCOMPARE(shell.activeHeadendPort, sim(1).portText());
        QVERIFY(m_station->station().session.lan.isConnected());
        QCOMPARE(m_station->ui().panels[1], QStringLiteral("Active Headend: Berg"));
        QVERIFY(fleet->isRunning());
        QVERIFY(waitForRun(fleet));
        QCOMPARE(text(fleetSize - 1, State), QStringLiteral("UNKNOWN"));
    }

    void backUpAllWritesTheFleetBackup()
    {
        // Four whole configurations are read: no pause is needed between the requests.
        m_station->station().session.timing.sendPause = 0ms;
        HeadendsOverview *fleet = open();
        QTemporaryDir folder;
        fleet->setFolderChooser([&](QWidget *) { return folder.path(); });
        QTest::mouseClick(button("Backup_All"), Qt::LeftButton);
        QVERIFY(fleet->isRunning());
        QVERIFY(waitForRun(fleet));

        for (int row = 0; row < fleetSize; ++row) {
            const QString name = QLatin1String(fleetRows[row].name);
            const QString files = QDir(folder.filePath(name))
                                      .entryList({"*.kdr", "*.rtf"}, QDir::Files, QDir::Name)
                                      .join(' ');
            // A settings file and its report of one name; nothing of the headend that failed.
            const bool failed = fleetRows[row].state == QLatin1String("UNKNOWN");
            const QRegularExpression expected(
                failed ? "^$" : "^(" + name + "-\\d{8}-\\d{6})\\.kdr \\1\\.rtf$");
            QVERIFY2(expected.match(files).hasMatch(), qPrintable(files));
        }
        const auto &messages = m_station->ui().messages;
        QVERIFY(messages.size() == 1 && messages.first().icon == UserInterface::Icon::Critical);
        QCOMPARE(messages.first().title + ": " + messages.first().text,
                 "Back Up All: Backed up 4 of 5 headends.\nForst: Download Error: Connection "
                 "could not be established!");

        // Cancelling the folder writes nothing and says nothing.
        m_station->ui().clear();
        fleet->setFolderChooser([](QWidget *) { return QString(); });
        QTest::mouseClick(button("Backup_All"), Qt::LeftButton);
        QVERIFY(!fleet->isRunning());
        QVERIFY(m_station->ui().messages.isEmpty());
    }

    // Closing the window while its headends are read leaves the results unheard, not crashing.
    void closingWhileRunning()
    {
        HeadendsOverview *fleet = open();
        fleet->checkAll();
        QVERIFY(m_station->window->closeAllChildWindows());
        QTest::qWait(700);
        QVERIFY(!m_station->window->findChild<HeadendsOverview *>());
        QVERIFY(m_station->ui().messages.isEmpty());
    }

    void oneWindowOnlyInLanMode()
    {
        MainWindow &window = *m_station->window;
        QAction *item = window.item(QStringLiteral("Headends_Overview"));
        QVERIFY(item->isVisible());
        item->trigger();
        item->trigger();
        QCOMPARE(window.findChildren<HeadendsOverview *>().size(), 1);
        window.closeAllChildWindows();
        m_station->station().session.lan.close();
        window.item(QStringLiteral("USB"))->trigger();
        QVERIFY(!item->isVisible());
    }

private:
    HeadendsOverview *open()
    {
        m_station->window->item(QStringLiteral("Headends_Overview"))->trigger();
        return m_station->child<HeadendsOverview>();
    }
    QPushButton *button(const char *name) const { return m_station->widget<QPushButton>(name); }
    QString text(int row, Column column) const
    {
        return m_station->child<HeadendsOverview>()->grid()->item(row, column)->text();
    }
    // Waits in an event loop of its own, which answers the simulated headends at once.
    static bool waitForRun(HeadendsOverview *fleet)
    {
        QSignalSpy ended(fleet, &HeadendsOverview::runEnded);
        return !fleet->isRunning() || ended.wait(20000);
    }

    SimHeadend &sim(int i) const { return m_fleet->at(size_t(i)); }

    std::unique_ptr<ConnectedStation> m_station;
    std::unique_ptr<std::array<SimHeadend, fleetSize>> m_fleet;
};

QTEST_MAIN(TestHeadendsOverview)
#include "tst_headendsoverview.moc"
