#include "shell/windowregistry.h"

#include "channels/formuebersicht.h"
#include "diagnostics/formdiagnostic.h"
#include "files/settingsmenu.h"
#include "network/formeditlan.h"
#include "services/formservicelist.h"
#include "shell/mdiform1.h"
#include "update/formupdate.h"

#include <QPointer>

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
    registry.add(HeadendWindow::Program, [](Station &station, MDIForm1 &mainWindow) {
        auto *overview = new Form_Uebersicht(station, mainWindow);
        overview->openServiceList = [&station, overview](int channel) {
            Form_Servicelist editor(station, channel, overview);
            editor.exec();
        };
        // The report beside a saved settings file shows what this window shows.
        if (SettingsMenu *settings = SettingsMenu::of(mainWindow)) {
            settings->setReportTextsProvider(
                [window = QPointer<Form_Uebersicht>(overview)]() -> std::optional<ReportTexts> {
                    if (!window)
                        return std::nullopt;
                    return window->reportTexts();
                });
        }
        return overview;
    });
    registry.add(HeadendWindow::Diagnostic, [](Station &station, MDIForm1 &mainWindow) {
        return new Form_Diagnostic(station, mainWindow);
    });
    registry.add(HeadendWindow::UpdateController, [](Station &station, MDIForm1 &mainWindow) {
        return new Form_Update(station, mainWindow);
    });
    registry.add(HeadendWindow::UpdateQam, [](Station &station, MDIForm1 &mainWindow) {
        return new Form_Update(station, mainWindow);
    });
    registry.add(HeadendWindow::LanParameter, [](Station &station, MDIForm1 &mainWindow) {
        return new Form_Edit_LAN(station, mainWindow, &mainWindow);
    });
    return registry;
}

} // namespace keldor
