#pragma once

#include "core/features/network/lansettings.h"

#include <QDialog>

#include <array>

class QGridLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace keldor {

class MainWindow;
class Station;

// The headend's own address, mask, gateway and port, octet by octet. Save writes them, has
// the headend restart with them and connects to it at its new address.
class LanSettingsDialog : public QDialog {
    Q_OBJECT

public:
    LanSettingsDialog(Station &station, MainWindow &mainWindow, QWidget *parent = nullptr);

    // Leaving the window is no leaving of a box: nothing is checked on the way out.
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Row = std::array<QLineEdit *, 4>;

    // Reads the settings and warns the operator. Runs once, soon after the window was shown.
    void activate();
    Row addRow(QGridLayout &grid, const QString &name, int gridRow, QLabel *label);
    bool filterKey(QLineEdit &box, QKeyEvent &event);
    void focusLost(QLineEdit &box);
    void returnFocus(QLineEdit &box);
    // The row and the index of an octet box; null row for the port box.
    std::pair<const Row *, int> locate(const QLineEdit &box) const;
    void saveClicked();

    Station &m_station;
    MainWindow &m_mainWindow;
    Row m_ip = {};
    Row m_subnet = {};
    Row m_gateway = {};
    std::array<QLabel *, 9> m_dots = {};
    QLabel *m_gatewayLabel = nullptr;
    QLineEdit *m_port = nullptr;
    QPushButton *m_save = nullptr;
    // The box that the focus is being put back into after a bad entry: the other boxes don't
    // check themselves on the way, or two bad boxes would pull the focus to and fro.
    QLineEdit *m_returning = nullptr;
    bool m_activated = false;
    bool m_closing = false;
};

} // namespace keldor
