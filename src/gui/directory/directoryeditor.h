#pragma once

#include "core/features/directory/headenddirectory.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace keldor {

class MainWindow;
class Station;

// The editor of the headend directory: a navigator over the rows and the four values of the
// current row. What the operator types is written to the row when the navigator leaves it, on
// Save and when the window closes; a value that does not fit its column keeps the operator on
// the row (and the window open) with the text as typed.
class DirectoryEditor : public QWidget {
    Q_OBJECT

public:
    DirectoryEditor(Station &station, MainWindow &mainWindow, QWidget *parent = nullptr);

    // "Headend (position/count)".
    QString positionCaption() const;
    int position() const { return m_position; }

    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();
    void addNew();
    void modify();
    void deleteRow();
    void save();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum Field { Name, Location, Ip, Port };

    QWidget *buildNavigator();
    QWidget *buildProblemNote();
    void load();
    bool moveTo(int row);
    void showRow(int row);
    void setTextsEnabled(bool enabled);
    void updateCaption();
    HeadendEntry typedEntry() const;
    // Writes what was typed into the current row; false (after telling the operator) when it
    // could not be written and the text must stay where it is.
    bool storeTyped();
    void reportError(const QString &text);

    Station &m_station;
    MainWindow &m_mainWindow;
    HeadendDirectory m_directory;
    int m_position = -1;
    int m_count = 0;
    std::array<QLineEdit *, 4> m_texts{};
    QWidget *m_navigator = nullptr;
    QWidget *m_problemNote = nullptr;
    QLabel *m_caption = nullptr;
    QLabel *m_problem = nullptr;
    QPushButton *m_addNew = nullptr;
    QPushButton *m_modify = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_save = nullptr;
};

} // namespace keldor
