#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

class QMdiSubWindow;

namespace keldor {

// Where a window of `size` goes that would open at `topLeft` inside `area`: no larger than the
// area, and moved back until it ends inside it, but never past the area's top-left corner,
// where its title bar and first fields are.
QRect placeInside(const QRect &area, const QSize &size, const QPoint &topLeft);

// Puts a child window of the main window fully inside the window area. A window whose size
// policy says it uses any extra space fills the whole area; its own scroll bars take over where
// the area is smaller than it needs. Such a window may be placed before it is first shown.
void placeChildWindow(QMdiSubWindow &child);

// The main window's stored place ("x,y,width,height") when it still fits on one of the screens
// (their available geometries); nothing for a screen that is gone or smaller now.
std::optional<QRect> fittingGeometry(const QString &stored, const QList<QRect> &screens);
QString geometryText(const QRect &geometry);

} // namespace keldor
