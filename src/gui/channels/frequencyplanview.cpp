#include "channels/frequencyplanview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <climits>

namespace keldor {

namespace {

constexpr int barHeight = 24;
constexpr int tickLength = 4;
constexpr int tickStepMHz = 100;
const QColor activeColour(0x1f, 0x6f, 0xb4);
const QColor offColour(0xb4, 0xb4, 0xb4);
const QColor overlapColour(255, 0, 0);

} // namespace

class FrequencyPlanView::Band : public QWidget {
public:
    explicit Band(const FrequencyPlan &plan, QWidget *parent)
        : QWidget(parent)
        , m_plan(plan)
    {
        setObjectName(QStringLiteral("FrequencyPlanBand"));
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        setFont(small);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000")) * 12);
    }

    QSize sizeHint() const override
    {
        return {minimumWidth() * 2, 3 * fontMetrics().height() + barHeight + tickLength + 2};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QFontMetrics metrics = fontMetrics();
        // Room for the band's edge labels to centre on the edges.
        const int margin = metrics.horizontalAdvance(QStringLiteral("858")) / 2 + 2;
        m_band = QRect(margin, 2 * metrics.height(), width() - 2 * margin, barHeight);
        painter.fillRect(m_band, palette().color(QPalette::Base));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(m_band.adjusted(0, 0, -1, -1));
        paintAxis(painter);
        // Outputs that are on lie above the ones that are off, the overlaps above both.
        for (const bool active : {false, true}) {
            for (const PlanBar &bar : m_plan.bars) {
                if (bar.active == active)
                    paintBar(painter, bar);
            }
        }
        for (const SpanOverlap &overlap : m_plan.overlaps) {
            const QRect part = span(overlap.fromMHz, overlap.toMHz);
            if (part.isValid())
                painter.fillRect(part, overlapColour);
        }
        paintLabels(painter);
    }

private:
    int xOf(double megahertz) const
    {
        const double share = (megahertz - bandLowMHz) / (bandHighMHz - bandLowMHz);
        return m_band.left() + static_cast<int>(share * m_band.width() + 0.5);
    }

    // The part of the band between two frequencies, at least a pixel wide so that a narrow
    // overlap still shows; invalid when it lies outside the band.
    QRect span(double lowMHz, double highMHz) const
    {
        const double low = std::max(lowMHz, bandLowMHz);
        const double high = std::min(highMHz, bandHighMHz);
        if (high < low)
            return {};
        const int left = xOf(low);
        return {left, m_band.top(), std::max(1, xOf(high) - left), m_band.height()};
    }

    void paintBar(QPainter &painter, const PlanBar &bar)
    {
        const QRect rect = span(bar.centreMHz - bar.widthMHz / 2, bar.centreMHz + bar.widthMHz / 2);
        if (!rect.isValid())
            return;
        painter.fillRect(rect.adjusted(0, 2, 0, -2), bar.active ? activeColour : offColour);
        // Neighbours that meet stay two bars.
        painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()),
                         palette().color(QPalette::Base));
    }

    // The channel numbers above their bars, in two rows where neighbours are too close for one.
    void paintLabels(QPainter &painter)
    {
        QList<PlanBar> bars = m_plan.bars;
        std::stable_sort(bars.begin(), bars.end(), [](const PlanBar &a, const PlanBar &b) {
            return a.centreMHz < b.centreMHz;
        });
        const int rowHeight = fontMetrics().height();
        std::array<int, 2> rowEnd{INT_MIN, INT_MIN};
        for (const PlanBar &bar : bars) {
            if (bar.centreMHz < bandLowMHz || bar.centreMHz > bandHighMHz)
                continue;
            const QString label = QString::number(bar.channel + 1);
            const int width = fontMetrics().horizontalAdvance(label);
            const int left = xOf(bar.centreMHz) - width / 2;
            const size_t row = left > rowEnd[0] + 2 || left <= rowEnd[1] + 2 ? 0 : 1;
            rowEnd[row] = left + width;
            painter.setPen(bar.active ? palette().color(QPalette::WindowText) : offColour);
            painter.drawText(QRect(left, static_cast<int>(row) * rowHeight, width, rowHeight),
                             Qt::AlignCenter, label);
        }
    }

    void paintAxis(QPainter &painter)
    {
        QList<int> ticks{static_cast<int>(bandLowMHz)};
        for (int mhz = tickStepMHz * 2; mhz < bandHighMHz; mhz += tickStepMHz)
            ticks.append(mhz);
        ticks.append(static_cast<int>(bandHighMHz));
        const int top = m_band.bottom() + 1;
        const int textWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000"));
        painter.setPen(palette().color(QPalette::WindowText));
        for (const int mhz : ticks) {
            const int x = xOf(mhz);
            painter.drawLine(x, top, x, top + tickLength);
            painter.drawText(
                QRect(x - textWidth / 2, top + tickLength + 1, textWidth, fontMetrics().height()),
                Qt::AlignCenter, QString::number(mhz));
        }
        // The unit beside the band's first number, where the next tick is far enough away.
        painter.drawText(QRect(xOf(bandLowMHz) + textWidth / 2 + 2, top + tickLength + 1, textWidth,
                               fontMetrics().height()),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MHz"));
    }

    const FrequencyPlan &m_plan;
    QRect m_band;
};

FrequencyPlanView::FrequencyPlanView(QWidget *parent)
    : QWidget(parent)
    , m_band(new Band(m_plan, this))
    , m_overlapsCaption(new QLabel(this))
    , m_overlaps(new QListWidget(this))
{
    setObjectName(QStringLiteral("FrequencyPlan"));
    m_overlapsCaption->setObjectName(QStringLiteral("Label_Overlaps"));
    m_overlaps->setObjectName(QStringLiteral("List_Overlaps"));
    m_overlaps->setFocusPolicy(Qt::NoFocus);
    m_overlaps->setFixedWidth(m_overlaps->fontMetrics().horizontalAdvance(
                                  overlapText({15, 15, bandHighMHz, bandHighMHz})) +
                              24);
    m_overlaps->setFixedHeight(m_band->sizeHint().height() -
                               m_overlapsCaption->sizeHint().height());

    auto *list = new QVBoxLayout;
    list->setSpacing(0);
    list->addWidget(m_overlapsCaption);
    list->addWidget(m_overlaps);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_band, 1);
    row->addLayout(list);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setPlan({});
}

void FrequencyPlanView::setPlan(const FrequencyPlan &plan)
{
    m_plan = plan;
    m_overlapsCaption->setText(plan.overlaps.isEmpty() ? QStringLiteral("No overlaps")
                                                       : QStringLiteral("Overlaps:"));
    m_overlaps->clear();
    for (const SpanOverlap &overlap : plan.overlaps)
        m_overlaps->addItem(overlapText(overlap));
    m_band->update();
}

} // namespace keldor
