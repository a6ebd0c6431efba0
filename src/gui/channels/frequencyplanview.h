#pragma once

#include "core/features/channels/frequencyplan.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QListWidget;

namespace keldor {

// The cable band as an installer draws it: one bar per channel output, as wide as the channel's
// bandwidth around its frequency and labelled with the channel number; outputs switched off in
// grey, shared parts of the band in red. Beside it the list of those overlaps. It shows the part
// of the band the channels occupy, or the whole band when the operator asks for it.
class FrequencyPlanView : public QWidget {
    Q_OBJECT

public:
    explicit FrequencyPlanView(QWidget *parent = nullptr);

    void setPlan(const FrequencyPlan &plan);
    const FrequencyPlan &plan() const { return m_plan; }
    void setWholeBand(bool whole);
    bool wholeBand() const;

signals:
    void wholeBandChanged(bool whole);

private:
    class Band;

    PlanRange shownRange() const;

    FrequencyPlan m_plan;
    Band *m_band = nullptr;
    QCheckBox *m_wholeBand = nullptr;
    QLabel *m_overlapsCaption = nullptr;
    QListWidget *m_overlaps = nullptr;
};

} // namespace keldor
