#include "gui/app/windowregistry.h"

#include "gui/app/mainwindow.h"
#include "gui/channels/channeloverview.h"
#include "gui/diagnostics/diagnosticwindow.h"
#include "gui/network/lansettingsdialog.h"
#include "gui/services/servicelistwindow.h"
#include "gui/update/updatewindow.h"

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
