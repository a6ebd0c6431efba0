#pragma once

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

namespace keldor {

// Scrolls the columns sideways only, always as tall as they are with room for its bar.
class SidewaysScrollArea : public QScrollArea {
public:
    SidewaysScrollArea()
    {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override { return {QScrollArea::sizeHint().width(), fullHeight()}; }
    QSize minimumSizeHint() const override
    {
        return {QScrollArea::minimumSizeHint().width(), fullHeight()};
    }

protected:
    // The columns are built after the area took them in; their new height is its height.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }

private:
    int fullHeight() const
    {
        return widget()->sizeHint().height() + horizontalScrollBar()->sizeHint().height();
    }
};

} // namespace keldor
