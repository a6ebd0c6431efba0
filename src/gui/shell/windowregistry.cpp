#include "shell/windowregistry.h"

#include "channels/formuebersicht.h"
#include "files/settingsmenu.h"
#include "services/formservicelist.h"

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
    return registry;
}

} // namespace keldor
