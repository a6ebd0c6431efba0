#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace keldor {

class Station;

// A choice of one file of the program folder by its name. The caller fills the list; the
// chosen file's path goes to the unit data's file name, which stays as it was when the
// window closes without a choice.
class ImageChooser : public QDialog {
    Q_OBJECT

public:
    explicit ImageChooser(Station &station, QWidget *parent = nullptr);
    ~ImageChooser() override;

    QListWidget *list() const { return m_list; }
    QLabel *label() const { return m_label; }

private:
    void chosen(QListWidgetItem *item);

    Station &m_station;
    QListWidget *m_list = nullptr;
    QLabel *m_label = nullptr;
};

} // namespace keldor
