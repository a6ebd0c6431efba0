#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;

namespace keldor {

class MainWindow;
class Station;
class TrafficTrace;
class TrafficWindow;

// The settings menu's Record Traffic item, which writes every unit exchanged with the headend
// to a file of JSON lines while it is checked, and its Traffic item, which shows the same live.
class TrafficMenu : public QObject {
    Q_OBJECT

public:
    // The file the operator chose, empty after Cancel.
    using FileChooser = std::function<QString()>;

    explicit TrafficMenu(MainWindow &window);
    ~TrafficMenu() override;

    static TrafficMenu *attach(MainWindow &window);
    static TrafficMenu *of(const MainWindow &window);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    void setRecording(bool on);
    // Records into path from now on, also before the first connection (the station's --trace),
    // in a file only the operator can read. An existing file is replaced only when replace
    // says so (the file dialog asked), and never through a symbolic link.
    bool startRecording(const QString &path, bool replace = false);
    TrafficWindow *showTrafficWindow();

private:
    QString chooseInDialog() const;
    void stopRecording();

    MainWindow &m_window;
    Station &m_station;
    QAction *m_record = nullptr;
    FileChooser m_chooseFile = [this] {
        return chooseInDialog();
    };
    QFile m_file;
    QString m_path;
    std::unique_ptr<TrafficTrace> m_trace;
    QPointer<TrafficWindow> m_trafficWindow;
};

} // namespace keldor
