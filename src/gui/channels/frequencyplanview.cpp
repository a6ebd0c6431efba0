#include "gui/channels/frequencyplanview.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace keldor {

namespace {

constexpr int barHeight = 24;
constexpr int tickLength = 4;
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
        return {minimumWidth() * 2,
                (m_rows + 1) * fontMetrics().height() + barHeight + tickLength + 2};
    }

    void setRange(const PlanRange &range)
    {
        m_range = range;
        placeLabels();
    }
    const PlanRange &range() const { return m_range; }

    // The plan or the room changed: the labels find their places again, and a plan that needs
    // more rows of them than the band has asks for the height.
    void placeLabels()
    {
        const QFontMetrics metrics = fontMetrics();
        m_labels = placePlanLabels(
            m_plan, m_range, bandRect().width(),
            [&metrics](const QString &text) { return metrics.horizontalAdvance(text); },
            metrics.horizontalAdvance(QLatin1Char(' ')));
        int rows = minimumRows;
        for (const PlanLabel &label : m_labels)
            rows = std::max(rows, label.row + 1);
        if (rows != m_rows) {
            m_rows = rows;
            updateGeometry();
        }
        update();
    }

protected:
    void resizeEvent(QResizeEvent *) override { placeLabels(); }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRect band = bandRect();
        painter.fillRect(band, palette().color(QPalette::Base));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(band.adjusted(0, 0, -1, -1));
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
    // Two rows of numbers are always there, so that the plan keeps its height while channels
    // move, unless the numbers need more.
    static constexpr int minimumRows = 2;

    QRect bandRect() const
    {
        // Room for the range's end numbers to centre on its ends.
        const int margin = fontMetrics().horizontalAdvance(QStringLiteral("858")) / 2 + 2;
        return {margin, m_rows * fontMetrics().height(), std::max(0, width() - 2 * margin),
                barHeight};
    }

    int xOf(double megahertz) const
    {
        const QRect band = bandRect();
        return band.left() + qRound(planX(m_range, band.width(), megahertz));
    }

    // The part of the range between two frequencies, at least a pixel wide so that a narrow
    // overlap still shows; invalid when it lies outside the range.
    QRect span(double lowMHz, double highMHz) const
    {
        const double low = std::max(lowMHz, m_range.lowMHz);
        const double high = std::min(highMHz, m_range.highMHz);
        if (high < low)
            return {};
        const QRect band = bandRect();
        const int left = xOf(low);
        return {left, band.top(), std::max(1, xOf(high) - left), band.height()};
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

    void paintLabels(QPainter &painter)
    {
        const int rowHeight = fontMetrics().height();
        const int left = bandRect().left();
        for (const PlanLabel &label : m_labels) {
            const auto bar =
                std::find_if(m_plan.bars.cbegin(), m_plan.bars.cend(),
                             [&](const PlanBar &b) { return b.channel == label.channel; });
            painter.setPen(bar != m_plan.bars.cend() && bar->active
                               ? palette().color(QPalette::WindowText)
                               : offColour);
            painter.drawText(QRectF(left + label.left, (m_rows - 1 - label.row) * rowHeight,
                                    label.width, rowHeight),
                             Qt::AlignCenter, label.text);
        }
    }

    void paintAxis(QPainter &painter)
    {
        const QFontMetrics metrics = fontMetrics();
        const QRect band = bandRect();
        const int top = band.bottom() + 1;
        const int textWidth = metrics.horizontalAdvance(QStringLiteral("0000"));
        // Far enough apart for two numbers with the unit between the first two.
        const int spacing = metrics.horizontalAdvance(QStringLiteral("000 MHz 000"));
        painter.setPen(palette().color(QPalette::WindowText));
        for (const double mhz : planTicks(m_range, band.width(), spacing)) {
            const int x = xOf(mhz);
            painter.drawLine(x, top, x, top + tickLength);
            painter.drawText(
                QRect(x - textWidth / 2, top + tickLength + 1, textWidth, metrics.height()),
                Qt::AlignCenter, QString::number(mhz));
        }
        painter.drawText(QRect(xOf(m_range.lowMHz) + textWidth / 2 + 2, top + tickLength + 1,
                               textWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MHz"));
    }

    const FrequencyPlan &m_plan;
    PlanRange m_range;
    QList<PlanLabel> m_labels;
    int m_rows = minimumRows;
};

FrequencyPlanView::FrequencyPlanView(QWidget *parent)
    : QWidget(parent)
    , m_band(new Band(m_plan, this))
    , m_wholeBand(new QCheckBox(QStringLiteral("Whole band"), this))
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
    m_wholeBand->setObjectName(QStringLiteral("Check_WholeBand"));
    m_wholeBand->setToolTip(QStringLiteral("Show the whole cable band from 112 to 858 MHz "
                                           "instead of the part the channels occupy"));
    connect(m_wholeBand, &QCheckBox::toggled, this, [this](bool whole) {
        m_band->setRange(shownRange());
        emit wholeBandChanged(whole);
    });

    auto *caption = new QHBoxLayout;
    caption->addWidget(m_overlapsCaption);
    caption->addStretch();
    caption->addWidget(m_wholeBand);
    m_overlaps->setFixedHeight(m_band->sizeHint().height() - caption->sizeHint().height());
    auto *list = new QVBoxLayout;
    list->setSpacing(0);
    list->addLayout(caption);
    list->addWidget(m_overlaps);
    list->addStretch();
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
    m_band->setRange(shownRange());
}

void FrequencyPlanView::setWholeBand(bool whole)
{
    m_wholeBand->setChecked(whole);
}

bool FrequencyPlanView::wholeBand() const
{
    return m_wholeBand->isChecked();
}

PlanRange FrequencyPlanView::shownRange() const
{
    return wholeBand() ? PlanRange{} : occupiedRange(m_plan);
}

} // namespace keldor
