#include "gui/traffic/trafficmenu.h"

#include "core/common/fileaccess.h"
#include "core/features/traffic/traffictrace.h"
#include "gui/app/mainwindow.h"
#include "gui/station/station.h"
#include "gui/traffic/trafficwindow.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>

namespace keldor {

TrafficMenu::TrafficMenu(MainWindow &window)
    : QObject(&window)
    , m_window(window)
    , m_station(window.station())
{
    setObjectName(QStringLiteral("TrafficMenu"));
    QMenu *settings = window.menu(QStringLiteral("Settings_Dialog"));
    settings->addSeparator()->setObjectName(QStringLiteral("MenuLineTraffic"));
    m_record = settings->addAction(QStringLiteral("Record &Traffic…"));
    m_record->setObjectName(QStringLiteral("Record_Traffic"));
    m_record->setCheckable(true);
    m_record->setParent(&window);
    connect(m_record, &QAction::triggered, this, &TrafficMenu::setRecording);
    QAction *show = settings->addAction(QStringLiteral("T&raffic"));
    show->setObjectName(QStringLiteral("Traffic_Window"));
    show->setParent(&window);
    connect(show, &QAction::triggered, this, &TrafficMenu::showTrafficWindow);
}

TrafficMenu::~TrafficMenu() = default;

TrafficMenu *TrafficMenu::attach(MainWindow &window)
{
    return new TrafficMenu(window);
}

TrafficMenu *TrafficMenu::of(const MainWindow &window)
{
    return window.findChild<TrafficMenu *>(QString(), Qt::FindDirectChildrenOnly);
}

QString TrafficMenu::chooseInDialog() const
{
    // The name as chosen: a link is refused, never followed to its target.
    return QFileDialog::getSaveFileName(
        &m_window, QStringLiteral("Record Traffic"), QStringLiteral("traffic.jsonl"),
        QStringLiteral("Traffic trace (*.jsonl)"), nullptr, QFileDialog::DontResolveSymlinks);
}

void TrafficMenu::setRecording(bool on)
{
    if (!on) {
        stopRecording();
        return;
    }
    m_record->setChecked(false);
    // The dialog has asked before it let the operator choose an existing file.
    const QString path = m_chooseFile();
    if (!path.isEmpty())
        startRecording(path, true);
}

bool TrafficMenu::startRecording(const QString &path, bool replace)
{
    stopRecording();
    if (const QString problem =
            createPrivateFile(m_file, path, replace ? ExistingFile::Replace : ExistingFile::Refuse);
        !problem.isEmpty()) {
        m_station.ui.message(
            UserInterface::Icon::Critical, QStringLiteral("Error"),
            QStringLiteral("The traffic cannot be recorded to %1: %2").arg(path, problem));
        return false;
    }
    m_path = path;
    m_trace = std::make_unique<TrafficTrace>(m_station.session);
    m_trace->writeTo(&m_file);
    m_record->setChecked(true);
    return true;
}

void TrafficMenu::stopRecording()
{
    m_record->setChecked(false);
    if (!m_trace)
        return;
    m_trace->finish();
    const bool incomplete = m_trace->writeFailed();
    const QString problem = m_file.errorString();
    m_trace.reset();
    m_file.close();
    // A trace that lacks lines would send support after a fault that isn't there.
    if (incomplete)
        m_station.ui.message(
            UserInterface::Icon::Exclamation, QStringLiteral("Error"),
            QStringLiteral("The traffic trace %1 is incomplete: %2").arg(m_path, problem));
}

TrafficWindow *TrafficMenu::showTrafficWindow()
{
    if (!m_trafficWindow)
        m_trafficWindow = new TrafficWindow(m_station.session, &m_window);
    m_trafficWindow->show();
    m_trafficWindow->raise();
    return m_trafficWindow;
}

} // namespace keldor
