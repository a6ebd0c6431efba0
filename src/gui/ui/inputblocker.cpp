#include "gui/ui/inputblocker.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace keldor {

namespace {

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

InputBlocker::InputBlocker(QWidget &target)
    : QObject(&target)
    , m_target(target)
{}

void InputBlocker::setBlocked(bool blocked)
{
    if (blocked == m_blocked)
        return;
    m_blocked = blocked;
    // Every event of the program passes a filter on the application: it is there only while
    // something is blocked.
    if (blocked)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    return isInput(event->type()) && reaches(watched);
}

bool InputBlocker::reaches(const QObject *receiver) const
{
    // A window delivers its input to the widget under the mouse or with the focus, and that
    // delivery passes here again. Shortcuts go to actions, which belong to a widget.
    while (receiver && !receiver->isWidgetType())
        receiver = receiver->parent();
    if (!receiver)
        return false;
    const auto *widget = static_cast<const QWidget *>(receiver);
    // A drop-down list or a context menu is a window of its own, opened by a widget in here.
    while (widget->window()->windowType() == Qt::Popup && widget->window()->parentWidget())
        widget = widget->window()->parentWidget();
    return widget == &m_target || m_target.isAncestorOf(widget);
}

} // namespace keldor
