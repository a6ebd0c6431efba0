#pragma once

#include "fleet.h"
#include "gui/fleet/fleetrun.h"

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace keldor {

class MainWindow;
class Station;

// Every headend of the directory at a glance: its state as keldor-ctl check judges it, its
// temperature, outputs and versions, checked all at once in the background; the whole fleet
// backed up as keldor-ctl fleet backup does it; a double click makes a headend the active one
// and opens its channel overview.
class HeadendsOverview : public QWidget {
    Q_OBJECT

public:
    HeadendsOverview(Station &station, MainWindow &mainWindow, QWidget *parent = nullptr);

    // The folder Back Up All writes into, asked of the operator; empty when cancelled.
    using FolderChooser = std::function<QString(QWidget *parent)>;
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    void checkAll();
    void backUpAll();
    // Makes the row's headend the active headend and opens the channel overview.
    void openHeadend(int row);

    bool isRunning() const { return m_run.isRunning(); }
    QTableWidget *grid() const { return m_grid; }

signals:
    // Check All or Back Up All has ended.
    void runEnded();

private:
    void load();
    void showRow(int row);
    void showProgress(int done, int total);
    void showBackup(const FleetBackupResult &result);
    void startRun(int total);
    void endRun();
    QString summary() const;

    Station &m_station;
    MainWindow &m_mainWindow;
    FleetRun m_run;
    QList<FleetMember> m_members;
    QList<HeadendStatus> m_statuses;
    QString m_directoryPath;
    FolderChooser m_chooseFolder;
    QTableWidget *m_grid = nullptr;
    QPushButton *m_checkAll = nullptr;
    QPushButton *m_backUpAll = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_summary = nullptr;
};

} // namespace keldor
