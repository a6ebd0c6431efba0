#pragma once

#include <QWidget>

#include <functional>
#include <map>

namespace keldor {

class MainWindow;
class Station;

// The windows that the main window opens once a headend answers.
enum class HeadendWindow { Program, Diagnostic, UpdateController, UpdateQam, LanParameter };

// Makes the window for one target. LanParameter must give a QDialog, which runs modal; every
// other window becomes a child window of the main window and is deleted when it closes.
using WindowFactory = std::function<QWidget *(Station &station, MainWindow &mainWindow)>;

class WindowRegistry {
public:
    void add(HeadendWindow target, WindowFactory factory);
    // An empty function while no window is registered for the target.
    WindowFactory factory(HeadendWindow target) const;

private:
    std::map<HeadendWindow, WindowFactory> m_factories;
};

// Every window of the program, one line each, in windowregistry.cpp.
WindowRegistry standardWindows();

} // namespace keldor
