#pragma once

#include "core/model/unitdata.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace keldor {

class ChannelOverview;
class MainWindow;
class Station;
struct Configuration;
struct UnitDiff;

// The Save and Load items of the main window's settings menu: the headend's configuration to a
// settings file with its report beside it, and a settings file back into the headend, checked
// against what the headend holds afterwards. Open Settings File edits a file in the channel
// overview with no headend; Save then writes that file back and Save As writes it under another
// name.
class SettingsMenu : public QObject {
    Q_OBJECT

public:
    enum class FileDialog { Save, Open };
    // The file the operator chose in the dialog with this title, empty after Cancel.
    using FileChooser = std::function<QString(FileDialog kind, const QString &title)>;
    // The headend model (channel count) a file is opened for, the suggested one preselected;
    // nothing after Cancel.
    using ModelChooser = std::function<std::optional<int>(int suggested)>;

    explicit SettingsMenu(MainWindow &window);

    // Connects the handlers to the main window's Save and Load items.
    static SettingsMenu *attach(MainWindow &window);
    // The handlers attached to the main window, if any.
    static SettingsMenu *of(const MainWindow &window);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    void setModelChooser(ModelChooser chooser) { m_chooseModel = std::move(chooser); }

    void saveSettings();
    void saveSettingsAs();
    void loadSettings();
    void openSettingsFile();

private:
    // A full write to be checked against the next read of the headend: what was sent, and
    // what the headend held before, where it may still be written back.
    struct WriteCheck {
        UnitData sent;
        std::optional<UnitData> before;
        QString backup; // the settings file that keeps what the headend held before
    };

    QString chooseInDialog(FileDialog kind, const QString &title) const;
    std::optional<int> chooseModelInDialog(int suggested) const;
    // The name to save under, after the operator allowed replacing an existing file; empty
    // after Cancel.
    QString chooseSaveName(const QString &title);
    // The overview that edits a settings file with no headend, if one is open.
    ChannelOverview *offlineOverview() const;
    // What Save writes: the open channel window's image of the headend with the selections it
    // lacks, read now, or without such a window the whole configuration. The station's image
    // takes what was read.
    std::optional<Configuration> readForSave();
    // Shows what the write changes and asks; true when the operator wants it written.
    bool confirmWrite(const UnitData &headend, const UnitData &file, const QString &path);
    // Opens the channel window, whose read of the headend the check takes, adding the
    // selections; without that window the check reads the headend itself.
    void openAndCheck(const WriteCheck &check);
    // Tells the operator whether the headend holds what was sent; offers to write back what it
    // held before where that is still possible.
    void finishCheck(const WriteCheck &check, const UnitDiff &differs);
    // Makes sure a headend answers, the way the main window's own handlers do.
    bool connectHeadend();
    void releaseUsbPort();
    void selectActiveHeadend();

    MainWindow &m_window;
    Station &m_station;
    FileChooser m_chooseFile = [this](FileDialog kind, const QString &title) {
        return chooseInDialog(kind, title);
    };
    ModelChooser m_chooseModel = [this](int suggested) {
        return chooseModelInDialog(suggested);
    };
};

} // namespace keldor
