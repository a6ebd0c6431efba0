#pragma once

#include "gui/app/mainwindow.h"
#include "gui/channels/channeloverview.h"

#include "simfixture.h"
#include "stationfixture.h"

#include <QtWidgets>

// The main window in LAN mode, connected to an in-process simulated headend of the given model.
// The Program menu opens a stand-in that counts its openings, or the real overview.
struct ConnectedStation {
    bool start(int channels = 12, bool realOverview = false)
    {
        fixture.settings.setValue("Settings/LAN-Control", "True");
        if (!sim.listen())
            return false;
        sim.headend.state().identity.variant = *sim::variantForChannelCount(channels);
        keldor::WindowRegistry registry = keldor::standardWindows();
        if (!realOverview)
            registry.add(keldor::HeadendWindow::Program, [this](auto &, auto &) {
                ++overviews;
                return new QWidget;
            });
        window = std::make_unique<keldor::MainWindow>(fixture.station, registry);
        // Shown, so that labels paint, dialogs have a parent on screen and fields take focus.
        window->show();
        fixture.station.shell.activeHeadendName = QStringLiteral("Sim");
        fixture.station.shell.activeHeadendIp = QStringLiteral("127.0.0.1");
        fixture.station.shell.activeHeadendPort = sim.portText();
        if (!QTest::qWaitForWindowActive(window.get()) ||
            !keldor::lanConnect(fixture.station.session, fixture.station.lanTarget()))
            return false;
        fixture.ui.clear();
        fixture.ui.progressLabels.clear();
        sim.headend.clearTranscript();
        return true;
    }

    // The sim drops soon after a restart command and stays down for delay; the station waits
    // long enough for a slow machine, as the wait ends as soon as the headend is back.
    void setRestartDelay(std::chrono::milliseconds delay)
    {
        sim::Timing timing = sim.headend.timing();
        timing.restartDrop = std::chrono::milliseconds(10);
        timing.restartDelay = delay;
        sim.headend.setTiming(timing);
        station().session.timing.reconnectLimit = std::chrono::seconds(10);
    }

    template<typename T> T *child() const { return window->findChild<T *>(); }
    template<typename T = QWidget> T *widget(const QString &n) const
    {
        return window->findChild<T *>(n);
    }
    RecordingUi &ui() { return fixture.ui; }
    keldor::Station &station() { return fixture.station; }
    sim::Channel &simChannel(int channel) { return sim.headend.state().channels.at(channel); }

    StationFixture fixture;
    SimHeadend sim;
    std::unique_ptr<keldor::MainWindow> window;
    int overviews = 0;
};
