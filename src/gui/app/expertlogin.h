#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace keldor {

class Station;

// The expert access code. A correct code turns expert mode on for the rest of the run; a
// cancelled login turns it off.
class ExpertLogin : public QDialog {
    Q_OBJECT

public:
    explicit ExpertLogin(Station &station, QWidget *parent = nullptr);

    void reject() override;

private:
    void okClicked();

    Station &m_station;
    QLineEdit *m_password = nullptr;
};

} // namespace keldor
