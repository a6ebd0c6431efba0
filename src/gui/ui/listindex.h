#pragma once

class QComboBox;

namespace keldor {

// Selects a list entry the way the program does it, not the operator: no selection handler
// sees it. -1 clears the selection.
void setListIndex(QComboBox &box, int index);

} // namespace keldor
