#pragma once

#include "channels/formuebersicht.h"
#include "shell/mdiform1.h"

#include "simfixture.h"
#include "stationfixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

// A station connected to a simulated headend over the LAN, its main window, and the channel
// overview on top of it once open() made it.
struct OverviewFixture {
    explicit OverviewFixture(int channels = 12)
    {
        station.settings.setValue("Settings/LAN-Control", "True");
        sim.headend.state().identity.variant = *sim::variantForChannelCount(channels);
        mainWindow = std::make_unique<keldor::MDIForm1>(station.station, keldor::WindowRegistry());
    }

    bool connect()
    {
        if (!sim.listen())
            return false;
        keldor::ShellState &shell = station.station.shell;
        shell.active_headend_name = QStringLiteral("Sim");
        shell.active_headend_ip = QStringLiteral("127.0.0.1");
        shell.active_headend_port = sim.portText();
        return keldor::lan_connect(station.station.session, station.station.lanTarget());
    }

    // Makes the window and reads the headend onto it, as the first activation does.
    keldor::Form_Uebersicht &open()
    {
        window = std::make_unique<keldor::Form_Uebersicht>(station.station, *mainWindow);
        window->activate();
        return *window;
    }

    // Shows the window as the active one, for the tests that need the keyboard focus.
    bool showActive()
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    template<typename W> W *find(const char *name, int channel) const
    {
        return window->findChild<W *>(
            QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(channel));
    }
    QLineEdit *edit(const char *name, int channel) const { return find<QLineEdit>(name, channel); }
    QComboBox *combo(const char *name, int channel) const { return find<QComboBox>(name, channel); }
    QPushButton *button(const char *name, int channel) const
    {
        return find<QPushButton>(name, channel);
    }

    RecordingUi &ui() { return station.ui; }
    keldor::UnitData &unit() { return station.station.unit; }
    sim::Channel &simChannel(int channel) { return sim.headend.state().channels.at(channel); }

    SimHeadend sim;
    StationFixture station;
    std::unique_ptr<keldor::MDIForm1> mainWindow;
    std::unique_ptr<keldor::Form_Uebersicht> window;
};
