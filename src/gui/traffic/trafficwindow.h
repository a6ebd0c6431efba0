#pragma once

#include "core/features/traffic/traffictrace.h"

#include <QList>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace keldor {

class Session;

// The exchange with the headend as it happens, one decoded unit a row, with a filter by
// channel and code. Paused, it keeps what arrives and shows it when resumed: a support call
// must not lose the very answers it paused to look at.
class TrafficWindow : public QWidget {
    Q_OBJECT

public:
    explicit TrafficWindow(Session &session, QWidget *parent = nullptr);

    void setPaused(bool paused);
    // Rows shown now under the filter, and lines held back by the pause.
    int visibleRows() const;
    qsizetype heldLines() const { return m_held.size(); }

private:
    void buildFilter();
    void add(const TraceLine &line);
    void appendRow(const TraceLine &line);
    void applyFilter();
    bool passes(const TraceLine &line) const;

    TrafficTrace m_trace;
    QComboBox *m_channel = nullptr;
    QLineEdit *m_code = nullptr;
    QPushButton *m_pause = nullptr;
    QLabel *m_heldLabel = nullptr;
    QLabel *m_repeatsLabel = nullptr;
    QTableWidget *m_table = nullptr;
    QList<TraceLine> m_shown;
    QList<TraceLine> m_held;
};

} // namespace keldor
