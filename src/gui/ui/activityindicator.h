#pragma once

#include "core/common/tint.h"

#include <QWidget>

namespace keldor {

// A row of blocks with one bright block that walks along while work goes on. Its owner
// advances it from the timer that already drives its elapsed-time display, so the walk stops
// exactly when the work does. The colour follows the state of the work.
class ActivityIndicator : public QWidget {
    Q_OBJECT

public:
    explicit ActivityIndicator(QWidget *parent = nullptr);

    void setTint(Tint tint);
    void advance();
    // Back to the resting look, no block lit.
    void reset();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int blockCount = 12;

    Tint m_tint = Tint::Black;
    int m_position = -1; // no block lit while idle
};

} // namespace keldor
