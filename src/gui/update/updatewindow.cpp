#include "gui/update/updatewindow.h"

#include "core/features/shell/programfolder.h"
#include "core/features/update/backup.h"
#include "core/features/update/imagefiles.h"
#include "core/features/update/upload.h"
#include "core/model/devicetype.h"
#include "core/protocol/parameters.h"
#include "core/protocol/reconnect.h"
#include "gui/app/expertlogin.h"
#include "gui/app/mainwindow.h"
#include "gui/station/station.h"
#include "gui/ui/activityindicator.h"
#include "gui/ui/childwindow.h"
#include "gui/ui/programicons.h"
#include "gui/update/imagechooser.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QSaveFile>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace keldor {

namespace {

QString tintStyle(Tint tint)
{
    return QStringLiteral("color: #%1;").arg(tintRgb(tint), 6, 16, QLatin1Char('0'));
}

QString elapsedText(qint64 ms)
{
    const qint64 tenths = ms / 100;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600, 2, 10, QLatin1Char('0'))
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

QString defaultChooser(QWidget *parent, const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

bool copyContents(QFile &from, QSaveFile &to)
{
    constexpr qint64 chunkSize = 64 * 1024;
    for (;;) {
        const QByteArray chunk = from.read(chunkSize);
        if (chunk.isEmpty())
            return from.error() == QFileDevice::NoError;
        if (to.write(chunk) != chunk.size())
            return false;
    }
}

// After the window has gone: the headend restarts with its new software and is connected
// again the ordinary way. Nothing of the window may be touched here.
void reconnectAfterUpdate(Station &station, MainWindow &mainWindow, const QString &serialPort)
{
    Session &session = station.session;
    const LanTarget target = station.lanTarget();
    if (!waitForRestart(session, target, serialPort,
                        QStringLiteral("Headend is now initializing with new software , "
                                       "please wait...")))
        return;
    const bool connected =
        mainWindow.usbChecked() ? checkDevicePresent(session) : lanConnect(session, target);
    if (!connected) {
        station.ui.message(UserInterface::Icon::Critical, QLatin1String(applicationTitle),
                           QStringLiteral("Reconnect to Headend failed, please try manually!"));
    }
}

} // namespace

UpdateWindow::UpdateWindow(Station &station, MainWindow &mainWindow, QWidget *parent)
    : QWidget(parent)
    , m_station(station)
    , m_mainWindow(mainWindow)
    , m_chooseFile(defaultChooser)
    , m_toolbar(new QToolBar(this))
    , m_title(new QLabel(this))
    , m_filename(new QLineEdit(this))
    , m_progress(new QProgressBar(this))
    , m_percentage(new QLabel(this))
    , m_elapsed(new QLabel(this))
    , m_activity(new ActivityIndicator(this))
    , m_backup(new QLabel(this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("Form_Update"));
    setWindowTitle(QStringLiteral("Update Utility"));
    setWindowIcon(programIcon(QStringLiteral("sat.ico")));

    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_addFile = addButton(3, QStringLiteral("Add File"), QStyle::SP_FileDialogNewFolder,
                          &UpdateWindow::addFileClicked);
    m_update =
        addButton(4, QStringLiteral("Update"), QStyle::SP_ArrowUp, &UpdateWindow::updateClicked);
    m_expert = addButton(5, QStringLiteral("Expert"), QStyle::SP_FileDialogDetailedView,
                         &UpdateWindow::expertClicked);
    m_toolbar->addSeparator();
    m_cancelButton = addButton(7, QStringLiteral("Cancel"), QStyle::SP_DialogCancelButton,
                               &UpdateWindow::cancelClicked);
    m_exit = addButton(8, QStringLiteral("Exit"), QStyle::SP_DialogCloseButton,
                       &UpdateWindow::exitClicked);
    m_addFile->setVisible(false);

    m_title->setObjectName(QStringLiteral("Label_title"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignCenter);

    // English and German side by side, each line beside its translation.
    auto *explanations = new QGridLayout;
    explanations->setColumnStretch(0, 1);
    explanations->setColumnStretch(1, 1);
    for (int line = 0; line < 2; ++line) {
        m_english[line] = new QLabel(this);
        m_english[line]->setObjectName(QStringLiteral("Label_englisch_%1").arg(line));
        m_german[line] = new QLabel(this);
        m_german[line]->setObjectName(QStringLiteral("Label_deutsch_%1").arg(line));
        for (QLabel *label : {m_english[line], m_german[line]}) {
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(
                QStringLiteral("FPGA Firmware wird an Headend übertragen, bitte warten")));
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignCenter);
        }
        explanations->addWidget(m_english[line], line, 0);
        explanations->addWidget(m_german[line], line, 1);
    }

    m_filename->setObjectName(QStringLiteral("Text_Filename"));
    m_filename->setReadOnly(true);
    m_filename->setMinimumWidth(m_filename->fontMetrics().horizontalAdvance(u'M') * 30);
    auto *file = new QFormLayout;
    file->addRow(QStringLiteral("File Title:"), m_filename);

    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setTextVisible(false);
    m_percentage->setObjectName(QStringLiteral("Label1"));
    m_percentage->setMinimumWidth(
        m_percentage->fontMetrics().horizontalAdvance(QStringLiteral(" 100%")));
    m_percentage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *progress = new QHBoxLayout;
    progress->addWidget(m_progress, 1);
    progress->addWidget(m_percentage);

    m_elapsed->setObjectName(QStringLiteral("lblZeit"));
    m_activity->setObjectName(QStringLiteral("Activity1"));
    auto *activity = new QHBoxLayout;
    activity->addWidget(m_activity, 1);
    activity->addWidget(m_elapsed);

    m_backup->setObjectName(QStringLiteral("Label_Backup"));
    m_backup->setWordWrap(true);
    m_backup->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->setMenuBar(m_toolbar);
    layout->addWidget(m_title);
    layout->addLayout(explanations);
    layout->addSpacing(m_title->fontMetrics().height() / 2);
    layout->addLayout(file);
    layout->addLayout(progress);
    layout->addLayout(activity);
    layout->addWidget(m_backup);
    layout->addStretch();

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(m_station.session.timing.elapsedTick);
    connect(m_timer, &QTimer::timeout, this, &UpdateWindow::tick);

    showUpdateIdle(*this);
    m_elapsed->setText(elapsedText(0));
    QTimer::singleShot(0, this, &UpdateWindow::activate);
}

QAction *UpdateWindow::addButton(int index, const QString &caption, QStyle::StandardPixmap icon,
                                 void (UpdateWindow::*handler)())
{
    QAction *action = m_toolbar->addAction(style()->standardIcon(icon), caption);
    action->setObjectName(QStringLiteral("Toolbar1_Button%1").arg(index));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

bool UpdateWindow::fpga() const
{
    return m_station.shell.updateTarget == updateTargetQamFpga;
}

QString UpdateWindow::mask() const
{
    return imageMask(m_station.shell.updateTarget, m_station.unit.deviceVariant);
}

void UpdateWindow::activate()
{
    if (m_activated)
        return;
    m_activated = true;
    // Only the FPGA image depends on the model; without an answer no image can be told right.
    const bool known = !fpga() || checkDeviceType(m_station.session.exchange, m_station.unit);
    // The keep-alive would come between the blocks of the upload; it rests until the end.
    m_station.ui.setKeepAliveRunning(false);
    if (!known || !folderIsPrivate(programFolder()))
        return;
    showImage(newestImage(programFolder(), mask()));
}

std::optional<QString> UpdateWindow::findImage()
{
    const QString folder = programFolder();
    const QStringList names = matchingImages(folder, mask());
    const bool isPrivate = folderIsPrivate(folder);
    if (names.isEmpty() || (isPrivate && (!m_expertUnlocked || names.size() < 2)))
        return names.isEmpty() ? QString() : QDir(folder).filePath(names.first());

    ImageChooser list(m_station, this);
    list.list()->addItems(names);
    list.list()->setCurrentRow(0);
    const QString prompt = QStringLiteral("Double click the image to send:");
    list.label()->setText(isPrivate ? prompt
                                    : QStringLiteral("Other users can put files into %1, so "
                                                     "no image is taken from it unasked.\n")
                                              .arg(QDir::toNativeSeparators(folder)) +
                                          prompt);
    if (list.exec() != QDialog::Accepted)
        return std::nullopt;
    return m_station.unit.settingsFileName;
}

void UpdateWindow::showImage(const QString &path)
{
    m_filename->setText(QDir::toNativeSeparators(path));
}

void UpdateWindow::addFileClicked()
{
    const QString title = fpga() ? QStringLiteral("Add RBF-File") : QStringLiteral("Add UC3-File");
    const QString filter =
        fpga() ? QStringLiteral("RBF-File (*.rbf)") : QStringLiteral("UC3-File (*.uc3)");
    const QString chosen = m_chooseFile(this, title, filter);
    if (chosen.isEmpty())
        return;
    const QFileInfo chosenInfo(chosen);
    const QString folder = programFolder();
    if (QDir(chosenInfo.absolutePath()) == QDir(folder))
        return;
    const QString target = programFile(chosenInfo.fileName());
    UserInterface &ui = m_station.ui;
    if (QFileInfo::exists(target) &&
        ui.message(UserInterface::Icon::Question, windowTitle(),
                   QStringLiteral("File already exists! Overwrite?"),
                   UserInterface::Buttons::OkCancel) != UserInterface::Answer::Ok) {
        return;
    }
    // Written beside the target and renamed over it: the folder holds the old image or the
    // new one at every moment, and a failed copy leaves the old one as it was.
    QFile source(chosen);
    QSaveFile copy(target);
    if (!source.open(QIODevice::ReadOnly) ||
        !copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !copyContents(source, copy) ||
        !copy.commit()) {
        const QString why =
            source.error() != QFileDevice::NoError ? source.errorString() : copy.errorString();
        ui.message(
            UserInterface::Icon::Critical, QStringLiteral("Error"),
            QStringLiteral("%1 could not be copied into %2: %3")
                .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(folder), why));
    }
}

void UpdateWindow::updateClicked()
{
    const std::optional<QString> path = findImage();
    // The list closed without a choice: the image shown stays, and nothing is sent.
    if (!path)
        return;
    showImage(*path);
    m_cancel = false;
    m_uploading = true;
    setToolbar(Toolbar::Uploading);
    // Another function of the menu would talk to the headend between the blocks.
    QMenuBar *menu = m_mainWindow.menuBar();
    menu->setEnabled(false);

    Station &station = m_station;
    MainWindow &mainWindow = m_mainWindow;
    Session &session = station.session;
    // The serial upload closes the port for the restart; the wait needs to know which one.
    const QString serialPort = session.serial.portName();
    const BackupHook backup = [&station, menu] {
        const BackupResult result = backupConfiguration(station.session, standardBackupFolder());
        // The reading gave the menu back at its end.
        menu->setEnabled(false);
        return result;
    };
    const UploadResult result = fpga() ? updateFpga(session, *this, *path, backup)
                                       : updateFw(session, *this, *path, backup);
    m_uploading = false;
    menu->setEnabled(true);
    if (result == UploadResult::Abandoned) {
        // The link stays closed until the operator has restarted the headend: there is no
        // restart to wait for and nothing left to do here.
        closeWindow(*this);
        return;
    }
    if (result == UploadResult::Cancelled || result == UploadResult::NotStarted) {
        // The headend still runs what it had: no restart to wait for.
        showUpdateIdle(*this);
        m_activity->setTint(Tint::Black);
        m_activity->reset();
        return;
    }
    // A failed upload may have left the headend restarting all the same.
    station.ui.setStatusPanel(2, QString());
    closeWindow(*this);
    QTimer::singleShot(0, &mainWindow, [&station, &mainWindow, serialPort] {
        reconnectAfterUpdate(station, mainWindow, serialPort);
    });
}

void UpdateWindow::expertClicked()
{
    ExpertLogin login(m_station, this);
    login.exec();
    if (!m_station.shell.expertMode)
        return;
    m_expertUnlocked = true;
    m_addFile->setVisible(true);
    m_expert->setVisible(false);
}

void UpdateWindow::cancelClicked()
{
    m_cancel = true;
    m_cancelButton->setEnabled(false);
}

void UpdateWindow::withdrawCancel()
{
    m_cancel = false;
    m_cancelButton->setEnabled(true);
}

void UpdateWindow::exitClicked()
{
    m_station.ui.setStatusPanel(2, QString());
    closeWindow(*this);
}

void UpdateWindow::tick()
{
    m_elapsed->setText(elapsedText(m_clock.elapsed()));
    m_activity->advance();
}

void UpdateWindow::closeEvent(QCloseEvent *event)
{
    // The upload writes to this window until it returns; the headend must not be left
    // half-way either.
    if (m_uploading) {
        event->ignore();
        return;
    }
    closeWindowSession(m_station.session);
    event->accept();
}

void UpdateWindow::setTitle(const QString &text, Tint tint)
{
    m_title->setText(text);
    m_title->setStyleSheet(tintStyle(tint));
}

void UpdateWindow::setExplanation(int line, const QString &english, const QString &german,
                                  Tint tint)
{
    if (line < 0 || line > 1)
        return;
    m_english[line]->setText(english);
    m_german[line]->setText(german);
    m_english[line]->setStyleSheet(tintStyle(tint));
    m_german[line]->setStyleSheet(tintStyle(tint));
}

void UpdateWindow::setProgressMaximum(int maximum)
{
    m_progress->setMaximum(maximum);
}

void UpdateWindow::setProgressValue(int value)
{
    m_progress->setValue(value);
}

void UpdateWindow::setPercentage(const QString &text)
{
    m_percentage->setText(text);
    m_percentage->repaint();
}

void UpdateWindow::setProgressVisible(bool visible)
{
    m_progress->setVisible(visible);
    m_percentage->setVisible(visible);
}

void UpdateWindow::setActivityTint(Tint tint)
{
    m_activity->setTint(tint);
}

void UpdateWindow::setElapsedTimerRunning(bool running)
{
    if (!running) {
        m_timer->stop();
        return;
    }
    m_clock.start();
    m_elapsed->setText(elapsedText(0));
    m_timer->start();
}

void UpdateWindow::setToolbar(Toolbar state)
{
    const bool idle = state == Toolbar::Idle;
    for (QAction *action : {m_addFile, m_update, m_expert, m_exit})
        action->setEnabled(idle);
    m_cancelButton->setEnabled(state == Toolbar::Uploading);
}

void UpdateWindow::setBackupFile(const QString &path)
{
    m_backup->setText(
        QStringLiteral("Configuration saved to %1").arg(QDir::toNativeSeparators(path)));
}

} // namespace keldor
