#include "shell/windowregistry.h"

#include "channels/channeloverview.h"
#include "diagnostics/diagnosticwindow.h"
#include "network/lansettingsdialog.h"
#include "services/servicelistwindow.h"
#include "shell/mainwindow.h"
#include "update/updatewindow.h"

namespace keldor {

void WindowRegistry::add(HeadendWindow target, WindowFactory factory)
{
    m_factories[target] = std::move(factory);
}

WindowFactory WindowRegistry::factory(HeadendWindow target) const
{
    const auto found = m_factories.find(target);
    return found == m_factories.end() ? WindowFactory() : found->second;
}

WindowRegistry standardWindows()
{
    WindowRegistry registry;
    registry.add(HeadendWindow::Program, [](Station &station, MainWindow &mainWindow) {
        auto *overview = new ChannelOverview(station, mainWindow);
        overview->openServiceList = [&station, overview](int channel) {
            ServiceListWindow editor(station, channel, overview);
            editor.exec();
        };
        return overview;
    });
    registry.add(HeadendWindow::Diagnostic, [](Station &station, MainWindow &mainWindow) {
        return new DiagnosticWindow(station, mainWindow);
    });
    registry.add(HeadendWindow::UpdateController, [](Station &station, MainWindow &mainWindow) {
        return new UpdateWindow(station, mainWindow);
    });
    registry.add(HeadendWindow::UpdateQam, [](Station &station, MainWindow &mainWindow) {
        return new UpdateWindow(station, mainWindow);
    });
    registry.add(HeadendWindow::LanParameter, [](Station &station, MainWindow &mainWindow) {
        return new LanSettingsDialog(station, mainWindow, &mainWindow);
    });
    return registry;
}

} // namespace keldor
