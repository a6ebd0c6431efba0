#pragma once

#include <QObject>

class QWidget;

namespace keldor {

// Keeps the mouse and the keyboard away from a widget and everything in it, without greying it.
// Qt draws a disabled widget greyed, so giving back a window of several hundred controls
// repaints every one of them in one turn of the event loop, longer than a frame; the operator
// has the wait cursor to tell that the program is busy. Windows of their own that the widget
// opens (message boxes, dialogs) stay usable.
class InputBlocker : public QObject {
    Q_OBJECT

public:
    explicit InputBlocker(QWidget &target);

    void setBlocked(bool blocked);
    bool isBlocked() const { return m_blocked; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool reaches(const QObject *receiver) const;

    QWidget &m_target;
    bool m_blocked = false;
};

} // namespace keldor
