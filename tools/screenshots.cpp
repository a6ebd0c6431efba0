// Draws every window of the station against a simulated headend into PNG files, for the
// documentation and for looking at the layout: keldor-screenshots FOLDER. Run it under xvfb-run
// (scripts/screenshots.sh) or on a desktop.
#include "core/features/directory/directoryfile.h"
#include "core/features/directory/headenddirectory.h"
#include "core/features/shell/programfolder.h"
#include "core/features/shell/settingsstore.h"
#include "core/model/headendsettings.h"
#include "core/model/readunitdata.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdiff.h"
#include "core/protocol/session.h"
#include "gui/app/expertlogin.h"
#include "gui/app/mainwindow.h"
#include "gui/app/widgetui.h"
#include "gui/channels/channeloverview.h"
#include "gui/channels/frequencyplanview.h"
#include "gui/diagnostics/diagnosticwindow.h"
#include "gui/directory/directoryeditor.h"
#include "gui/directory/headendpicker.h"
#include "gui/files/loaddiffdialog.h"
#include "gui/files/settingsmenu.h"
#include "gui/fleet/headendsoverview.h"
#include "gui/network/lansettingsdialog.h"
#include "gui/network/proxydialog.h"
#include "gui/services/servicelistwindow.h"
#include "gui/station/station.h"
#include "gui/traffic/trafficwindow.h"
#include "gui/update/updatewindow.h"
#include "sim/headend.h"
#include "sim/tcptransport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <list>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

// Message boxes would stop the run; they are written to stderr instead.
class LoggingUi : public WidgetUi {
public:
    Answer message(Icon, const QString &title, const QString &text, Buttons) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        return Answer::Ok;
    }
};

void settle(std::chrono::milliseconds time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget &widget, const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool saved = widget.grab().save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// The fleet window over a directory of four more headends, one in each state but the first
// one's, before and after Check All.
int drawFleet(MainWindow &window, const QString &folder, const QString &size)
{
    std::list<sim::Headend> headends(3);
    auto headend = headends.begin();
    (headend++)->state().identity.variant = *sim::variantForChannelCount(8);
    (headend++)->state().diagnostics.actualTemperatureRaw = 16 + 64;
    headend->setFault({sim::Fault::Silent});
    std::list<sim::TcpTransport> transports;
    HeadendDirectory directory;
    directory.open(programFolder());
    const QStringList names{QStringLiteral("Hotel Adler"), QStringLiteral("Hotel Berg"),
                            QStringLiteral("Kurhaus Dock")};
    const QStringList places{QStringLiteral("Roof"), QStringLiteral("Cellar"),
                             QStringLiteral("Tower")};
    for (sim::Headend &each : headends) {
        sim::TcpTransport &tcp = transports.emplace_back(each);
        if (!tcp.listen(QHostAddress::LocalHost, 0))
            return 1;
        const qsizetype n = qsizetype(transports.size()) - 1;
        directory.update(
            directory.appendEmpty(),
            {names.at(n), places.at(n), QStringLiteral("127.0.0.1"), QString::number(tcp.port())});
    }
    window.closeAllChildWindows();
    window.item(QStringLiteral("Headends_Overview"))->trigger();
    auto *fleet = window.findChild<HeadendsOverview *>();
    window.mdiArea()->activeSubWindow()->showMaximized();
    settle(300ms);
    int failures = save(window, folder, QStringLiteral("headends-unchecked-") + size) ? 0 : 1;
    fleet->checkAll();
    // The silent headend keeps its row checking long after the others have answered.
    settle(4s);
    failures += save(window, folder, QStringLiteral("headends-checking-") + size) ? 0 : 1;
    QEventLoop checked;
    QObject::connect(fleet, &HeadendsOverview::runEnded, &checked, &QEventLoop::quit);
    QTimer::singleShot(60s, &checked, &QEventLoop::quit);
    checked.exec();
    settle(200ms);
    failures += save(window, folder, QStringLiteral("headends-") + size) ? 0 : 1;
    window.closeAllChildWindows();
    return failures;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString folder = arguments.value(1);
    // Only the overview as the operator opens it on this screen, and the fleet window, named
    // after the screen's size.
    const bool overviewOnly = arguments.value(2) == QLatin1String("--overview");
    if (folder.isEmpty() || !QDir().mkpath(folder) || arguments.size() > 3 ||
        (arguments.size() == 3 && !overviewOnly)) {
        std::fprintf(stderr, "usage: keldor-screenshots FOLDER [--overview]\n");
        return 2;
    }

    sim::Headend headend;
    // A channel without a signal and one switched off show what a technician looks for.
    headend.state().channels[1].tuner.status = 0;
    headend.state().channels[1].tuner.noSignal = 1;
    headend.state().channels[4].outputOn = 0;
    sim::TcpTransport tcp(headend);
    if (!tcp.listen(QHostAddress::LocalHost, 0))
        return 1;

    QTemporaryDir temp;
    setProgramFolderOverride(temp.path());
    // The backup a Load takes goes with the rest, not into the operator's own data folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(temp.path()));
    for (const char *icon : {"sat.ico", "check.ico", "cross.ico"})
        QFile::copy(QCoreApplication::applicationDirPath() + '/' + icon, temp.filePath(icon));
    createDirectoryFile(temp.path());
    {
        HeadendDirectory directory;
        directory.open(temp.path());
        const int row = directory.appendEmpty();
        directory.update(row, {QStringLiteral("Rack 3 Kopfstation"), QStringLiteral("Hall B"),
                               QStringLiteral("127.0.0.1"), QString::number(tcp.port())});
    }
    QSettings ini(temp.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Settings/LAN-Control"), QStringLiteral("True"));
    SettingsStore settings(ini);
    LoggingUi ui;
    Timing timing;
    timing.sendPause = 1ms; // the pictures don't need the headend's real pace
    Station station(ui, settings, timing);
    MainWindow window(station);
    ui.attach(window);
    window.showWithLastPlacement();
    // No window manager runs under xvfb to maximize the window on the first start.
    window.setGeometry(window.screen()->availableGeometry());
    settle(200ms);
    const auto connectHeadend = [&] {
        station.shell.activeHeadendName = QStringLiteral("Rack 3 Kopfstation");
        station.shell.activeHeadendIp = QStringLiteral("127.0.0.1");
        station.shell.activeHeadendPort = QString::number(tcp.port());
        ui.setStatusPanel(2, QStringLiteral("Active Headend: ") + station.shell.activeHeadendName);
        return lanConnect(station.session, station.lanTarget());
    };
    if (overviewOnly) {
        const QSize screen = QGuiApplication::primaryScreen()->size();
        const QString size = QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height());
        const auto openOverview = [&] {
            if (!station.session.lan.isConnected() && !connectHeadend())
                return false;
            window.item(QStringLiteral("Program"))->trigger();
            settle(3s);
            return true;
        };
        if (!openOverview())
            return 1;
        int failures = save(window, folder, QStringLiteral("overview-") + size) ? 0 : 1;
        // Sixteen channels 8 MHz apart, scrolled down to their plan: zoomed to the channels,
        // then over the whole band.
        window.closeAllChildWindows();
        settle(300ms);
        headend.state().identity.variant = *sim::variantForChannelCount(16);
        if (!openOverview())
            return 1;
        auto *plan = window.findChild<FrequencyPlanView *>();
        window.findChild<ChannelOverview *>()->findChild<QScrollArea *>()->ensureWidgetVisible(
            plan);
        settle(200ms);
        failures += save(window, folder, QStringLiteral("plan-") + size) ? 0 : 1;
        plan->setWholeBand(true);
        settle(200ms);
        failures += save(window, folder, QStringLiteral("plan-whole-band-") + size) ? 0 : 1;
        failures += drawFleet(window, folder, size);
        return failures == 0 ? 0 : 1;
    }
    int failures = save(window, folder, QStringLiteral("main-window")) ? 0 : 1;

    const auto child = [&](QWidget *widget, const QString &name, std::chrono::milliseconds wait) {
        QMdiSubWindow *sub = window.addChildWindow(widget);
        sub->show();
        settle(wait);
        failures += save(*sub, folder, name) ? 0 : 1;
        sub->close();
        settle(100ms);
    };
    const auto dialog = [&](QWidget *widget, const QString &name, std::chrono::milliseconds wait) {
        widget->show();
        settle(wait);
        failures += save(*widget, folder, name) ? 0 : 1;
        widget->close();
        delete widget;
    };

    child(new DirectoryEditor(station, window), QStringLiteral("directory-editor"), 300ms);
    child(new ProxyDialog(station), QStringLiteral("proxy-settings"), 200ms);
    dialog(new ExpertLogin(station, &window), QStringLiteral("expert-login"), 200ms);
    dialog(new HeadendPicker(station, &window), QStringLiteral("headend-selection"), 300ms);

    if (!connectHeadend())
        return 1;

    for (int channels : {12, 16}) {
        headend.state().identity.variant = *sim::variantForChannelCount(channels);
        auto *overview = new ChannelOverview(station, window);
        QMdiSubWindow *sub = window.addChildWindow(overview);
        sub->showMaximized();
        settle(3s);
        failures +=
            save(window, folder, QStringLiteral("channel-overview-%1").arg(channels)) ? 0 : 1;
        if (channels == 12) {
            dialog(new ServiceListWindow(station, 0, overview), QStringLiteral("service-list"), 1s);
            // Channel 3 moved onto channel 2's band, as an edit not yet sent.
            overview->setOutFrequencyText(2, QStringLiteral("125.00"));
            settle(100ms);
            failures += save(window, folder, QStringLiteral("overview-plan")) ? 0 : 1;
        }
        sub->close();
        settle(300ms);
        if (!station.session.lan.isConnected() && !lanConnect(station.session, station.lanTarget()))
            return 1;
    }

    // The headend's settings as a file an installer took to the office, changed there: another
    // output frequency and QAM order on channel 3, channel 5 switched on, other services, and
    // channel 7's bandwidth as another headend held it, in none of the program's lists.
    headend.state().identity.variant = *sim::variantForChannelCount(12);
    Configuration read;
    if (!readConfiguration(station.session.exchange, read))
        return 1;
    const UnitData &held = read.unit;
    UnitData prepared = held;
    prepared.channel(2).outFrequency = 346.0f;
    prepared.channel(2).qam = 3;
    prepared.channel(4).outputOn = 1;
    prepared.channel(0).serviceMode = 1;
    prepared.channel(0).serviceCount = 2;
    prepared.channel(0).serviceIds[0] = 28106;
    prepared.channel(0).serviceIds[1] = 28107;
    prepared.channel(6).bandwidth = 2;
    const QString file = temp.filePath(QStringLiteral("hall-b.kdr"));
    if (!saveSettingsFile(ui, file, prepared))
        return 1;
    dialog(
        new LoadDiffDialog(diffUnits(held, prepared), valuesOutsideLists(prepared), file, &window),
        QStringLiteral("load-diff"), 300ms);

    SettingsMenu *menu = SettingsMenu::of(window);
    menu->setFileChooser([&](auto, auto &) { return file; });
    menu->setModelChooser([](int) { return 12; });
    // The file loaded: the operator says Yes, the channel window reads the headend, and the
    // check finds the headend holding what was sent.
    QTimer operatorSaysYes;
    QObject::connect(&operatorSaysYes, &QTimer::timeout, [&operatorSaysYes] {
        if (QWidget *question = QApplication::activeModalWidget()) {
            operatorSaysYes.stop();
            question->findChild<QPushButton *>(QStringLiteral("Command_Yes"))->click();
        }
    });
    operatorSaysYes.start(100ms);
    window.item(QStringLiteral("Load"))->trigger();
    window.mdiArea()->activeSubWindow()->showMaximized();
    for (int wait = 0; wait < 100 && window.statusPanel(2) != heldText; ++wait)
        settle(200ms);
    failures += save(window, folder, QStringLiteral("load-checked")) ? 0 : 1;
    window.closeAllChildWindows();

    window.item(QStringLiteral("Open_File"))->trigger();
    window.mdiArea()->activeSubWindow()->showMaximized();
    settle(1s);
    failures += save(window, folder, QStringLiteral("offline-overview")) ? 0 : 1;
    window.closeAllChildWindows();

    headend.state().identity.variant = *sim::variantForChannelCount(8);
    child(new DiagnosticWindow(station, window), QStringLiteral("diagnostic-window"), 2s);
    station.shell.updateTarget = 132;
    child(new UpdateWindow(station, window), QStringLiteral("update-window-idle"), 1s);
    dialog(new LanSettingsDialog(station, window, &window), QStringLiteral("lan-settings"), 1s);

    // The identity read on a link that loses every third answer: each lost one asked again.
    TrafficWindow traffic(station.session);
    traffic.show();
    sim::FaultPlan lossy{sim::Fault::DropAnswer};
    lossy.every = 3;
    headend.setFault(lossy);
    station.session.timing.answerLimit = 300ms;
    UnitData unit;
    readIdentity(station.session.exchange, unit);
    settle(300ms);
    failures += save(traffic, folder, QStringLiteral("traffic-window")) ? 0 : 1;
    return failures == 0 ? 0 : 1;
}
