#pragma once

namespace keldor {

// What the channel overview changes in the main window's menus. The main window knows which
// items that means; the overview knows neither their names nor the main window.
class OverviewMenus {
public:
    virtual ~OverviewMenus() = default;

    // The overview opened or closed; offline it edits a settings file without a headend, and
    // nothing in the menus may reach one.
    virtual void overviewShown(bool open, bool offline) = 0;
    // The overview that read a headend keeps Program from opening a second one.
    virtual void setProgramEnabled(bool enabled) = 0;
};

} // namespace keldor
