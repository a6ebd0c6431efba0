#include "gui/ui/childwindow.h"

#include <QMdiSubWindow>

namespace keldor {

bool closeWindow(QWidget &widget)
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(widget.parentWidget()))
        return frame->close();
    return widget.close();
}

} // namespace keldor
