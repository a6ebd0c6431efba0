#include "gui/ui/activityindicator.h"

#include <QPainter>

namespace keldor {

ActivityIndicator::ActivityIndicator(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ActivityIndicator::setTint(Tint tint)
{
    m_tint = tint;
    update();
}

void ActivityIndicator::advance()
{
    m_position = (m_position + 1) % blockCount;
    update();
}

void ActivityIndicator::reset()
{
    m_position = -1;
    update();
}

QSize ActivityIndicator::sizeHint() const
{
    const int height = fontMetrics().height();
    return {height * blockCount, height};
}

void ActivityIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = QColor::fromRgb(tintRgb(m_tint));
    const qreal gap = 2;
    const qreal width = (rect().width() - gap * (blockCount - 1)) / blockCount;
    for (int i = 0; i < blockCount; ++i) {
        QColor fill = colour;
        // The lit block and its fading trail show the direction of the walk.
        const int behind = m_position < 0 ? blockCount : (m_position - i + blockCount) % blockCount;
        fill.setAlphaF(behind < 3 ? 1.0 - behind * 0.3 : 0.15);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(i * (width + gap), 1, width, rect().height() - 2), 2, 2);
    }
}

} // namespace keldor
