#pragma once

#include "channels/frequencyplan.h"

#include <QWidget>

class QLabel;
class QListWidget;

namespace keldor {

// The cable band as an installer draws it: one bar per channel output, as wide as the channel's
// bandwidth around its frequency and labelled with the channel number; outputs switched off in
// grey, shared parts of the band in red. Beside it the list of those overlaps.
class FrequencyPlanView : public QWidget {
    Q_OBJECT

public:
    explicit FrequencyPlanView(QWidget *parent = nullptr);

    void setPlan(const FrequencyPlan &plan);
    const FrequencyPlan &plan() const { return m_plan; }

private:
    class Band;

    FrequencyPlan m_plan;
    Band *m_band = nullptr;
    QLabel *m_overlapsCaption = nullptr;
    QListWidget *m_overlaps = nullptr;
};

} // namespace keldor
