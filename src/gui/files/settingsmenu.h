#pragma once

#include "report/rtfreport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace keldor {

class MainWindow;
class Station;

// The Save and Load items of the main window's settings menu: the channel table to a settings
// file with its report beside it, and a settings file back into the headend.
class SettingsMenu : public QObject {
    Q_OBJECT

public:
    enum class FileDialog { Save, Open };
    // The file the operator chose in the dialog with this title, empty after Cancel.
    using FileChooser = std::function<QString(FileDialog kind, const QString &title)>;
    // The texts of the open channel window, nothing while none is open.
    using ReportTextsProvider = std::function<std::optional<ReportTexts>()>;

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

    void saveSettings();
    void loadSettings();

private:
    QString chooseInDialog(FileDialog kind, const QString &title) const;
    std::optional<ReportTexts> currentReportTexts();
    // Makes sure a headend answers, the way the main window's own handlers do.
    bool connectHeadend();
    void selectActiveHeadend();

    MainWindow &m_window;
    Station &m_station;
    FileChooser m_chooseFile = [this](FileDialog kind, const QString &title) {
        return chooseInDialog(kind, title);
    };
    ReportTextsProvider m_reportTexts;
};

} // namespace keldor
