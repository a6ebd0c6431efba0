#pragma once

#include "core/features/update/updateview.h"

#include <QElapsedTimer>
#include <QStyle>
#include <QWidget>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QToolBar;

namespace keldor {

class ActivityIndicator;
class MainWindow;
class Station;

// Loads a new controller or FPGA image into the headend: finds the image in the program
// folder, sends it with a backup of the configuration taken first, then waits for the headend
// to restart and connects to it again. The shell's update target says which image.
class UpdateWindow : public QWidget, public UpdateView {
    Q_OBJECT

public:
    // The file dialog of "Add File": title and filter in, the chosen path out (empty when
    // cancelled). Tests put their own in.
    using FileChooser =
        std::function<QString(QWidget *parent, const QString &title, const QString &filter)>;

    UpdateWindow(Station &station, MainWindow &mainWindow, QWidget *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    // UpdateView
    void setTitle(const QString &text, Tint tint) override;
    void setExplanation(int line, const QString &english, const QString &german,
                        Tint tint) override;
    void setProgressMaximum(int maximum) override;
    void setProgressValue(int value) override;
    void setPercentage(const QString &text) override;
    void setProgressVisible(bool visible) override;
    void setActivityTint(Tint tint) override;
    void setElapsedTimerRunning(bool running) override;
    void setToolbar(Toolbar state) override;
    void setBackupFile(const QString &path) override;
    bool cancelRequested() const override { return m_cancel; }
    void withdrawCancel() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The first activation: the model (for an FPGA image) and the newest matching image.
    // Runs once, soon after the window was shown.
    void activate();
    QAction *addButton(int index, const QString &caption, QStyle::StandardPixmap icon,
                       void (UpdateWindow::*handler)());
    bool fpga() const;
    QString mask() const;
    // The newest image for the mask, or the operator's choice once expert functions are on or
    // when others can write to the program folder; empty when nothing matches, nothing when
    // the operator closed the list without a choice.
    std::optional<QString> findImage();
    void showImage(const QString &path);
    void addFileClicked();
    void updateClicked();
    void expertClicked();
    void cancelClicked();
    void exitClicked();
    void tick();

    Station &m_station;
    MainWindow &m_mainWindow;
    FileChooser m_chooseFile;
    QToolBar *m_toolbar = nullptr;
    QAction *m_addFile = nullptr;
    QAction *m_update = nullptr;
    QAction *m_expert = nullptr;
    QAction *m_cancelButton = nullptr;
    QAction *m_exit = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_english[2] = {};
    QLabel *m_german[2] = {};
    QLineEdit *m_filename = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_percentage = nullptr;
    QLabel *m_elapsed = nullptr;
    ActivityIndicator *m_activity = nullptr;
    QLabel *m_backup = nullptr;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    bool m_activated = false;
    bool m_expertUnlocked = false;
    bool m_cancel = false;
    bool m_uploading = false;
};

} // namespace keldor
