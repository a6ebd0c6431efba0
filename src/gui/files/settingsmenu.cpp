#include "files/settingsmenu.h"

#include "channels/channeloverview.h"
#include "channels/channeltextsview.h"
#include "directory/directoryfile.h"
#include "directory/headendpicker.h"
#include "files/loaddiffdialog.h"
#include "link/reconnect.h"
#include "model/settingsfile.h"
#include "model/unitdiff.h"
#include "protocol/devicetype.h"
#include "protocol/fullwrite.h"
#include "protocol/headendsettings.h"
#include "protocol/readunitdata.h"
#include "shell/mainwindow.h"
#include "shell/programfolder.h"
#include "shell/station.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>

namespace keldor {

namespace {

// Qt shows the filter's name alone when the details are hidden, so the dialog reads
// "KELDOR Settings-File - *.kdr" and lists the .kdr files.
const QString fileFilter = QStringLiteral("KELDOR Settings-File - *.kdr (*.kdr)");
const QString initialName = QStringLiteral("*.kdr");

} // namespace

SettingsMenu::SettingsMenu(MainWindow &window)
    : QObject(&window)
    , m_window(window)
    , m_station(window.station())
{
    setObjectName(QStringLiteral("SettingsMenu"));
    connect(window.item(QStringLiteral("Save")), &QAction::triggered, this,
            &SettingsMenu::saveSettings);
    connect(window.item(QStringLiteral("Load")), &QAction::triggered, this,
            &SettingsMenu::loadSettings);
    connect(window.item(QStringLiteral("Save_As")), &QAction::triggered, this,
            &SettingsMenu::saveSettingsAs);
    connect(window.item(QStringLiteral("Open_File")), &QAction::triggered, this,
            &SettingsMenu::openSettingsFile);
}

SettingsMenu *SettingsMenu::attach(MainWindow &window)
{
    return new SettingsMenu(window);
}

SettingsMenu *SettingsMenu::of(const MainWindow &window)
{
    return window.findChild<SettingsMenu *>(QString(), Qt::FindDirectChildrenOnly);
}

QString SettingsMenu::chooseInDialog(FileDialog kind, const QString &title) const
{
    const auto options = QFileDialog::HideNameFilterDetails;
    if (kind == FileDialog::Save)
        return QFileDialog::getSaveFileName(&m_window, title, initialName, fileFilter, nullptr,
                                            options | QFileDialog::DontConfirmOverwrite);
    return QFileDialog::getOpenFileName(&m_window, title, initialName, fileFilter, nullptr,
                                        options);
}

std::optional<int> SettingsMenu::chooseModelInDialog(int suggested) const
{
    QDialog dialog(&m_window);
    dialog.setObjectName(QStringLiteral("Form_Offline_Model"));
    dialog.setWindowTitle(QStringLiteral("Open Settings File"));
    auto *models = new QComboBox(&dialog);
    models->setObjectName(QStringLiteral("Combo_Model"));
    for (const int channels : headendModels)
        models->addItem(QStringLiteral("%1 channels").arg(channels), channels);
    models->setCurrentIndex(static_cast<int>(headendModels.indexOf(suggested)));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QFormLayout(&dialog);
    layout->addRow(QStringLiteral("Headend model:"), models);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return models->currentData().toInt();
}

QString SettingsMenu::chooseSaveName(const QString &title)
{
    for (;;) {
        const QString chosen = m_chooseFile(FileDialog::Save, title);
        if (chosen.isEmpty())
            return {};
        const QString path = settingsFileName(chosen);
        if (!QFileInfo::exists(path))
            return path;
        // The existing file stays as it is until the new one is completely written.
        if (m_station.ui.message(UserInterface::Icon::Question, QLatin1String(applicationTitle),
                                 QStringLiteral("File already exists! Overwrite?"),
                                 UserInterface::Buttons::OkCancel) == UserInterface::Answer::Ok)
            return path;
    }
}

ChannelOverview *SettingsMenu::offlineOverview() const
{
    if (m_station.shell.offlineFile.isEmpty())
        return nullptr;
    auto *overview = m_window.findChild<ChannelOverview *>();
    return overview && overview->isOffline() ? overview : nullptr;
}

void SettingsMenu::saveSettings()
{
    // The file being edited is the file the operator opened; it is written back as it is.
    if (ChannelOverview *overview = offlineOverview()) {
        overview->saveOffline(m_station.shell.offlineFile);
        return;
    }
    const QString path = chooseSaveName(QStringLiteral("Save Settings"));
    if (path.isEmpty())
        return;
    const std::optional<ReportTexts> texts = currentReportTexts();
    if (!texts)
        return;
    if (!saveSettingsFile(m_station.ui, path, m_station.unit))
        return;
    printRtf(m_station.session.exchange, reportFileName(path), *texts, m_station.unit);
}

void SettingsMenu::saveSettingsAs()
{
    ChannelOverview *overview = offlineOverview();
    if (!overview)
        return;
    const QString path = chooseSaveName(QStringLiteral("Save Settings As"));
    if (!path.isEmpty())
        overview->saveOffline(path);
}

void SettingsMenu::openSettingsFile()
{
    // A window that still holds the operator's typing stays, and no file replaces its table.
    if (!m_window.closeAllChildWindows())
        return;
    const QString title = QStringLiteral("Open Settings File");
    const QString path = m_chooseFile(FileDialog::Open, title);
    if (path.isEmpty())
        return;
    // A fresh table: what an earlier headend or file left must not end up in this file.
    std::array<ChannelRecord, channelCount> channels{};
    const auto read = readSettingsFile(path, channels);
    if (const auto *problem = std::get_if<QString>(&read)) {
        m_station.ui.message(UserInterface::Icon::Critical, title, *problem);
        return;
    }
    const std::optional<int> model = m_chooseModel(offlineModel(m_station.settings));
    if (!model)
        return;
    SettingsStore &settings = m_station.settings;
    if (!saveOfflineModel(settings, *model))
        m_station.ui.message(UserInterface::Icon::Exclamation, QLatin1String(applicationTitle),
                             settings.lastError() +
                                 QStringLiteral("\rThe model applies until the program ends."));

    UnitData &unit = m_station.unit;
    unit = UnitData();
    unit.channels = channels;
    setHeadendModel(unit, *model);
    unit.settingsFileName = path;
    m_station.shell.offlineFile = path;
    m_window.openWindow(HeadendWindow::Program);
}

// Without a channel window there is nothing on screen to print, so the report shows what the
// headend holds now; the same read brings the channel table up to date for the file.
std::optional<ReportTexts> SettingsMenu::currentReportTexts()
{
    if (m_reportTexts) {
        if (auto texts = m_reportTexts())
            return texts;
    }
    Exchange &exchange = m_station.session.exchange;
    ChannelTextsView view;
    if (!checkDeviceType(exchange, m_station.unit) || !readUnitData(exchange, m_station.unit, view))
        return std::nullopt;
    ReportTexts texts;
    texts.device = view.device();
    for (int channel = 0; channel < channelCount; ++channel)
        texts.channels[static_cast<size_t>(channel)] = view.texts(channel);
    return texts;
}

void SettingsMenu::loadSettings()
{
    // A window that still holds the operator's typing keeps its channel table.
    if (!m_window.closeAllChildWindows())
        return;
    const QString path = m_chooseFile(FileDialog::Open, QStringLiteral("Load Settings"));
    if (path.isEmpty())
        return;
    // Only checked here: the station's table takes the file once the operator had it written.
    UnitData checked;
    const std::optional<SettingsFormat> format = loadSettingsFile(m_station.ui, path, checked);
    if (!format || !connectHeadend())
        return;

    // The operator sees exactly what the write changes. The headend's own channel count decides
    // how many channels the write sends, whatever model the file was saved from.
    Exchange &exchange = m_station.session.exchange;
    UnitData headend;
    const std::optional<UnitData> file = readFileOverHeadend(exchange, m_station.ui, path, headend);
    bool written = false;
    if (file && confirmWrite(diffUnits(headend, *file), path)) {
        m_station.unit = *file;
        written = saveUnitData(exchange, m_station.unit, *format == SettingsFormat::Current);
    }
    // Over USB the port is given back either way: the channel window finds the headend again
    // the way the Program menu does, and after a failure the next function needs it free.
    if (m_window.usbChecked()) {
        exchange.comEnd();
        m_station.session.serial.close();
    }
    if (written)
        m_window.openHeadendWindow(HeadendWindow::Program);
}

bool SettingsMenu::confirmWrite(const UnitDiff &diff, const QString &path)
{
    LoadDiffDialog dialog(diff, path, &m_window);
    return dialog.exec() == QDialog::Accepted;
}

bool SettingsMenu::connectHeadend()
{
    Session &session = m_station.session;
    if (m_window.usbChecked())
        return checkDevicePresent(session);
    if (session.lan.isConnected())
        return true;
    selectActiveHeadend();
    return lanConnect(session, m_station.lanTarget());
}

void SettingsMenu::selectActiveHeadend()
{
    const QString folder = programFolder();
    QString error;
    if (!directoryFileExists(directoryPath(folder)) && !createDirectoryFile(folder, &error)) {
        m_station.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"), error);
        return;
    }
    HeadendPicker selection(m_station, &m_window);
    selection.exec();
}

} // namespace keldor
