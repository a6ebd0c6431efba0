#pragma once

#include "core/features/diagnostics/diagnosticview.h"

#include <QWidget>

#include <array>

class QButtonGroup;
class QLabel;
class QPushButton;

namespace keldor {

class MainWindow;
class Station;

// The health of the connected headend: temperatures, operating hours, the clock and
// converter locks, and per channel the tuner lock, clipping and the two ASI states. Reads
// everything anew whenever it becomes the active child window and on REFRESH; the production
// frame sets the fan and clears the reset counter.
class DiagnosticWindow : public QWidget, public DiagnosticView {
    Q_OBJECT

public:
    DiagnosticWindow(Station &station, MainWindow &mainWindow, QWidget *parent = nullptr);

    // DiagnosticView
    void setRowVisible(int row, bool visible) override;
    void setText(Field field, const QString &text, Tint tint) override;
    void setIcon(Column column, int row, State state) override;
    void setTuner(int row, State state, int code, const QString &name) override;
    void setMixerClipping(State state) override;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    static constexpr int rowCount = 16;
    static constexpr int columnCount = 4;

    // Follows the child window frame that the main window puts around this window.
    void frameStateChanged(Qt::WindowStates before, Qt::WindowStates now);
    // Keep-alive on and everything read.
    void activate();
    QWidget *buildChannels();
    QWidget *buildDevice();
    QWidget *buildProduction();
    QLabel *valueLabel(Field field, const QString &name);
    void showState(QLabel &picture, State state);
    void readAll();
    void refreshClicked();
    void fanClicked(int option);
    void resetClicked();

    Station &m_station;
    MainWindow &m_mainWindow;
    QPushButton *m_refresh = nullptr;
    std::array<QLabel *, rowCount> m_channelLabels = {};
    std::array<std::array<QLabel *, rowCount>, columnCount> m_pictures = {};
    QLabel *m_mixerClipping = nullptr;
    std::array<QLabel *, 10> m_fields = {};
    QButtonGroup *m_fans = nullptr;
    bool m_reading = false;
};

} // namespace keldor
