#pragma once

#include "core/features/directory/headenddirectory.h"

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

// Makes the headend the active one, as a choice in the selection does: the LAN link to the one
// before is closed, so the next connection goes to this one.
void makeActiveHeadend(Station &station, const QString &name, const QString &ip,
                       const QString &port);

} // namespace keldor
