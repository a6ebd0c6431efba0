#pragma once

#include "core/features/services/serviceeditor.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace keldor {

class Station;

// The choice of the services that one output channel passes: the transponder's services on the
// left, the passed ones on the right. "Save / Back" sends the choice when it was edited.
class ServiceListWindow : public QDialog {
    Q_OBJECT

public:
    ServiceListWindow(Station &station, int channel, QWidget *parent = nullptr);

    const ServiceListEditor &editor() const { return m_editor; }

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void fill();
    void addInput(int row);
    void removeOutput(int row);
    void addAll();
    void removeAll();
    void save();
    void showInput();
    void showOutput();
    // Nothing can be edited, sent or closed while the headend is being talked to.
    void setBusy(bool busy);

    // Only the headend names services and can take a changed list, so with no headend the
    // window shows the listed IDs and edits nothing.
    void showListedIds(quint8 mode);

    ServiceListEditor m_editor;
    const bool m_offline = false;
    const quint8 m_recordMode = 0;
    bool m_filled = false;
    bool m_busy = false;
    bool m_sendFailed = false;
    QListWidget *m_inputList = nullptr;
    QListWidget *m_outputList = nullptr;
    QLabel *m_inputCount = nullptr;
    QLabel *m_outputCount = nullptr;
    QPushButton *m_addAll = nullptr;
    QPushButton *m_removeAll = nullptr;
    QPushButton *m_save = nullptr;
};

} // namespace keldor
