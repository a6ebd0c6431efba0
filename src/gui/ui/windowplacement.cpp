#include "gui/ui/windowplacement.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <array>

namespace keldor {

QRect placeInside(const QRect &area, const QSize &size, const QPoint &topLeft)
{
    const QSize fitted = size.boundedTo(area.size());
    const int x = std::clamp(topLeft.x(), area.left(), area.left() + area.width() - fitted.width());
    const int y = std::clamp(topLeft.y(), area.top(), area.top() + area.height() - fitted.height());
    return {QPoint(x, y), fitted};
}

void placeChildWindow(QMdiSubWindow &child)
{
    QMdiArea *mdiArea = child.mdiArea();
    if (!mdiArea)
        return;
    const QRect area = mdiArea->viewport()->rect();
    const QWidget *window = child.widget();
    const QSizePolicy policy = window ? window->sizePolicy() : QSizePolicy();
    const bool fills = policy.horizontalPolicy() & QSizePolicy::ExpandFlag &&
                       policy.verticalPolicy() & QSizePolicy::ExpandFlag;
    // A window not shown yet has no size of its own: only one that fills the area is placed
    // then, so that its layout runs once, at its final size.
    if (fills)
        child.setGeometry(area);
    else if (child.isVisible())
        child.setGeometry(placeInside(area, child.size(), child.pos()));
}

std::optional<QRect> fittingGeometry(const QString &stored, const QList<QRect> &screens)
{
    const QStringList parts = stored.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> values{};
    for (size_t i = 0; i < values.size(); ++i) {
        bool ok = false;
        values[i] = parts[static_cast<int>(i)].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    const QRect geometry(values[0], values[1], values[2], values[3]);
    if (geometry.isEmpty())
        return std::nullopt;
    const bool fits = std::any_of(screens.begin(), screens.end(),
                                  [&](const QRect &screen) { return screen.contains(geometry); });
    return fits ? std::optional(geometry) : std::nullopt;
}

QString geometryText(const QRect &geometry)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(geometry.x())
        .arg(geometry.y())
        .arg(geometry.width())
        .arg(geometry.height());
}

} // namespace keldor
