#include "ui/listindex.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace keldor {

void set_list_index(QComboBox &box, int index)
{
    const QSignalBlocker blocker(box);
    box.setCurrentIndex(index);
}

} // namespace keldor
