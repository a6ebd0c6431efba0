#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace keldor {

class Station;

// Whether the LAN connection goes through an HTTP proxy, and which one. The check box takes
// effect for the next connection at once; only OK stores the values for the next start.
class ProxyDialog : public QWidget {
    Q_OBJECT

public:
    explicit ProxyDialog(Station &station, QWidget *parent = nullptr);

private:
    void checkProxyClicked();
    void okClicked();
    void enableTexts();

    Station &m_station;
    QCheckBox *m_checkProxy = nullptr;
    QLineEdit *m_textIp = nullptr;
    QLineEdit *m_textPort = nullptr;
    QPushButton *m_commandOk = nullptr;
};

} // namespace keldor
