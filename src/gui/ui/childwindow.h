#pragma once

class QWidget;

namespace keldor {

// Closes the window that shows the widget: the frame around it when it is a child window of
// the main window, the widget itself otherwise. False when the window refused to close.
bool closeWindow(QWidget &widget);

} // namespace keldor
