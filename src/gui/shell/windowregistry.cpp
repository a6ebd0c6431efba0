#include "shell/windowregistry.h"

#include "diagnostics/formdiagnostic.h"
#include "network/formeditlan.h"
#include "shell/mdiform1.h"
#include "update/formupdate.h"

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
