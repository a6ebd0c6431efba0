#include "gui/files/settingsmenu.h"

#include "core/common/userinterface.h"
#include "core/features/directory/directoryfile.h"
#include "core/features/report/rtfreport.h"
#include "core/features/shell/programfolder.h"
#include "core/features/update/backup.h"
#include "core/model/devicetype.h"
#include "core/model/fullwrite.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdiff.h"
#include "core/protocol/parameters.h"
#include "gui/app/mainwindow.h"
#include "gui/channels/channeloverview.h"
#include "gui/directory/headendpicker.h"
#include "gui/files/loaddiffdialog.h"
#include "gui/station/station.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>

namespace keldor {

namespace {

// Qt shows the filter's name alone when the details are hidden, so the dialog reads
// "KELDOR Settings-File - *.kdr" and lists the .kdr files.
const QString fileFilter = QStringLiteral("KELDOR Settings-File - *.kdr (*.kdr)");
const QString initialName = QStringLiteral("*.kdr");

// The lines of a diff as a message box shows them.
QString messageLines(const UnitDiff &diff)
{
    return diffText(diff).trimmed().replace(QLatin1Char('\n'), QLatin1Char('\r'));
}

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
    const std::optional<Configuration> config = readForSave();
    if (!config || !saveSettingsFile(m_station.ui, path, m_station.unit))
        return;
    printRtf(m_station.ui, reportFileName(path), *config);
}

std::optional<Configuration> SettingsMenu::readForSave()
{
    Exchange &exchange = m_station.session.exchange;
    auto *overview = m_window.findChild<ChannelOverview *>();
    Configuration config;
    ReadProgressWindow progress(m_station.ui, config.unit);
    BusyCursor busy(m_station.ui);
    bool read = false;
    if (overview && overview->holdsHeadend()) {
        config.unit = m_station.unit;
        read = readSelections(exchange, config, progress.progress());
    } else {
        read = readConfiguration(exchange, config, progress.progress());
    }
    if (!read)
        return std::nullopt;
    const QString fileName = m_station.unit.settingsFileName;
    m_station.unit = config.unit;
    m_station.unit.settingsFileName = fileName;
    return config;
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
    if (!loadSettingsFile(m_station.ui, path, checked) || !connectHeadend())
        return;

    // The operator sees exactly what the write changes. The headend's own channel count decides
    // how many channels the write sends, whatever model the file was saved from.
    Exchange &exchange = m_station.session.exchange;
    Configuration headend;
    const std::optional<FileOverHeadend> file =
        readFileOverHeadend(exchange, m_station.ui, path, headend);
    std::optional<WriteCheck> check;
    if (file && confirmWrite(headend.unit, file->unit, path)) {
        // What the headend holds now is kept before anything overwrites it.
        const BackupResult backup = writeBackup(headend, standardBackupFolder());
        if (backup.path.isEmpty()) {
            m_station.ui.message(UserInterface::Icon::Critical, QStringLiteral("Load Settings"),
                                 QStringLiteral("The headend's settings could not be saved "
                                                "first:\r%1\rNothing was sent.")
                                     .arg(backup.error));
        } else {
            m_station.unit = file->unit;
            if (saveUnitData(exchange, m_station.unit, file->format == SettingsFormat::Current))
                check = WriteCheck{m_station.unit, headend.unit, backup.path};
            else
                m_station.ui.message(
                    UserInterface::Icon::Critical, QStringLiteral("Load Settings"),
                    QStringLiteral("The headend may hold part of the settings now. What it "
                                   "held before is saved in %1.")
                        .arg(QDir::toNativeSeparators(backup.path)));
        }
    }
    releaseUsbPort();
    if (check)
        openAndCheck(*check);
}

bool SettingsMenu::confirmWrite(const UnitData &headend, const UnitData &file, const QString &path)
{
    LoadDiffDialog dialog(diffUnits(headend, file), valuesOutsideLists(file), path, &m_window);
    return dialog.exec() == QDialog::Accepted;
}

void SettingsMenu::openAndCheck(const WriteCheck &check)
{
    auto *overview =
        qobject_cast<ChannelOverview *>(m_window.openHeadendWindow(HeadendWindow::Program));
    if (overview) {
        connect(
            overview, &ChannelOverview::headendRead, this,
            [this, check](bool complete) {
                Configuration held;
                held.unit = m_station.unit;
                BusyCursor busy(m_station.ui);
                if (!complete || !readSelections(m_station.session.exchange, held)) {
                    showUncheckedWrite(m_station.ui, check.backup);
                    return;
                }
                // The window's image of the headend now has its selections too.
                m_station.unit = held.unit;
                finishCheck(check, checkWrite(check.sent, held));
            },
            // Once the window's activation is over: a write back closes the window.
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    if (!connectHeadend()) {
        showUncheckedWrite(m_station.ui, check.backup);
        return;
    }
    if (const auto differs = verifyWrite(m_station.session.exchange, check.sent, check.backup))
        finishCheck(check, *differs);
}

void SettingsMenu::finishCheck(const WriteCheck &check, const UnitDiff &differs)
{
    UserInterface &ui = m_station.ui;
    const QString title = QStringLiteral("Load Settings");
    if (differs.isEmpty()) {
        ui.setStatusPanel(2, heldText);
        return;
    }
    const QString lines = heldOtherwiseText + QLatin1Char('\r') + messageLines(differs) +
                          QStringLiteral("\rWhat it held before is saved in ") +
                          QDir::toNativeSeparators(check.backup) + QLatin1Char('.');
    if (!check.before) {
        ui.message(UserInterface::Icon::Critical, title, lines);
        return;
    }
    if (ui.message(UserInterface::Icon::Question, title,
                   lines + QStringLiteral("\rWrite back the settings it held before?"),
                   UserInterface::Buttons::OkCancel) != UserInterface::Answer::Ok)
        return;
    // The channel window shows what the headend holds now; it reads again after the write.
    if (!m_window.closeAllChildWindows() || !connectHeadend())
        return;
    UnitData before = *check.before;
    const bool written = saveUnitData(m_station.session.exchange, before, true);
    releaseUsbPort();
    if (written)
        openAndCheck({before, std::nullopt, check.backup});
}

void SettingsMenu::releaseUsbPort()
{
    // Over USB the port is given back after a full write, whatever became of it: the channel
    // window finds the headend again the way the Program menu does, and after a failure the
    // next function needs it free.
    if (m_window.usbChecked()) {
        endSession(m_station.session.exchange);
        m_station.session.serial.close();
    }
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
