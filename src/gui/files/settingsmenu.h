#pragma once

#include "report/rtfreport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace keldor {

class ChannelOverview;
class MainWindow;
class Station;
struct UnitDiff;

// The Save and Load items of the main window's settings menu: the channel table to a settings
// file with its report beside it, and a settings file back into the headend. Open Settings File
// edits a file in the channel overview with no headend; Save then writes that file back and Save
// As writes it under another name.
class SettingsMenu : public QObject {
    Q_OBJECT

public:
    enum class FileDialog { Save, Open };
    // The file the operator chose in the dialog with this title, empty after Cancel.
    using FileChooser = std::function<QString(FileDialog kind, const QString &title)>;
    // The texts of the open channel window, nothing while none is open.
    using ReportTextsProvider = std::function<std::optional<ReportTexts>()>;
    // The headend model (channel count) a file is opened for, the suggested one preselected;
    // nothing after Cancel.
    using ModelChooser = std::function<std::optional<int>(int suggested)>;

    explicit SettingsMenu(MainWindow &window);

    // Connects the handlers to the main window's Save and Load items.
    static SettingsMenu *attach(MainWindow &window);
    // The handlers attached to the main window, if any.
    static SettingsMenu *of(const MainWindow &window);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setReportTextsProvider(ReportTextsProvider provider)
    {
        m_reportTexts = std::move(provider);
    }

    void setModelChooser(ModelChooser chooser) { m_chooseModel = std::move(chooser); }

    void saveSettings();
    void saveSettingsAs();
    void loadSettings();
    void openSettingsFile();

private:
    QString chooseInDialog(FileDialog kind, const QString &title) const;
    std::optional<int> chooseModelInDialog(int suggested) const;
    // The name to save under, after the operator allowed replacing an existing file; empty
    // after Cancel.
    QString chooseSaveName(const QString &title);
    // The overview that edits a settings file with no headend, if one is open.
    ChannelOverview *offlineOverview() const;
    std::optional<ReportTexts> currentReportTexts();
    // Shows what the write changes and asks; true when the operator wants it written.
    bool confirmWrite(const UnitDiff &diff, const QString &path);
    // Makes sure a headend answers, the way the main window's own handlers do.
    bool connectHeadend();
    void selectActiveHeadend();

    MainWindow &m_window;
    Station &m_station;
    FileChooser m_chooseFile = [this](FileDialog kind, const QString &title) {
        return chooseInDialog(kind, title);
    };
    ReportTextsProvider m_reportTexts;
    ModelChooser m_chooseModel = [this](int suggested) {
        return chooseModelInDialog(suggested);
    };
};

} // namespace keldor
