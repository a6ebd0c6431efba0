#include "gui/ui/listindex.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace keldor {

void setListIndex(QComboBox &box, int index)
{
    const QSignalBlocker blocker(box);
    box.setCurrentIndex(index);
}

} // namespace keldor
