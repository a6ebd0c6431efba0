#pragma once

#include "directory/headenddirectory.h"

#include <QDialog>
#include <QStandardItemModel>

class QModelIndex;
class QTableView;

namespace keldor {

class Station;

// The choice of the active headend from the directory. Loading it ends any LAN connection
// and clears the active headend, so every choice starts from a fresh connection.
class HeadendPicker : public QDialog {
    Q_OBJECT

public:
    explicit HeadendPicker(Station &station, QWidget *parent = nullptr);

    // Makes the row the active headend and closes the window.
    void choose(int row);
    QTableView *grid() const { return m_grid; }

private:
    void load();
    void activated(const QModelIndex &index);

    Station &m_station;
    HeadendDirectory m_directory;
    QStandardItemModel m_model;
    QTableView *m_grid = nullptr;
};

} // namespace keldor
