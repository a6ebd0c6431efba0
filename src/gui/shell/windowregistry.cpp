#include "shell/windowregistry.h"

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
    return registry;
}

} // namespace keldor
