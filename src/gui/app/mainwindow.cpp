#include "gui/app/mainwindow.h"

#include "core/features/directory/directoryfile.h"
#include "core/features/shell/programfolder.h"
#include "core/protocol/parameters.h"
#include "core/protocol/reconnect.h"
#include "gui/directory/directoryeditor.h"
#include "gui/directory/headendpicker.h"
#include "gui/files/settingsmenu.h"
#include "gui/fleet/headendsoverview.h"
#include "gui/network/proxydialog.h"
#include "gui/station/station.h"
#include "gui/traffic/trafficmenu.h"
#include "gui/ui/programicons.h"
#include "gui/ui/windowplacement.h"

#include <QCloseEvent>
#include <QDate>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QTimer>

namespace keldor {

namespace {

constexpr quint8 restartCode = 150;
const QString geometryKey = QStringLiteral("Main-Window");
const QString maximizedKey = QStringLiteral("Main-Window-Maximized");

QString currentDate()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString currentTime()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm"));
}

} // namespace

MainWindow::MainWindow(Station &station, WindowRegistry windows, QWidget *parent)
    : QMainWindow(parent)
    , m_station(station)
    , m_windows(std::move(windows))
    , m_mdiArea(new QMdiArea(this))
    , m_inputBlocker(new InputBlocker(*this))
{
    setObjectName(QStringLiteral("MDIForm1"));
    m_mdiArea->setObjectName(QStringLiteral("MDIArea"));
    // A window that can't shrink to a small screen's area stays reachable.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    buildMenus();
    buildStatusBar();
    startUp();
    SettingsMenu::attach(*this);
    TrafficMenu::attach(*this);
}

QAction *MainWindow::item(const QString &name) const
{
    return m_items.value(name);
}

QMenu *MainWindow::menu(const QString &name) const
{
    return m_menus.value(name);
}

bool MainWindow::usbChecked() const
{
    return m_items.value(QStringLiteral("USB"))->isChecked();
}

bool MainWindow::lanChecked() const
{
    return m_items.value(QStringLiteral("LAN"))->isChecked();
}

void MainWindow::buildMenus()
{
    QMenu *main = addMenu(nullptr, QStringLiteral("Menu"), QStringLiteral("&Menu"));
    addItem(main, QStringLiteral("Program"), QStringLiteral("&Program Menu"),
            &MainWindow::openProgramMenu);
    addItem(main, QStringLiteral("Diagnostic"), QStringLiteral("&Diagnostic"),
            &MainWindow::openDiagnostics);
    QMenu *update = addMenu(main, QStringLiteral("Update"), QStringLiteral("&Firmware Update"));
    addItem(update, QStringLiteral("Update_µC"), QStringLiteral("&µController"),
            &MainWindow::updateController);
    addItem(update, QStringLiteral("Update_QAM"), QStringLiteral("&QAM-FPGA"),
            &MainWindow::updateFpga);
    // Connected by the settings file code, like Save, Save As and Load.
    addItem(main, QStringLiteral("Open_File"), QStringLiteral("&Open Settings File..."), nullptr);
    addItem(main, QStringLiteral("Exit"), QStringLiteral("&Exit"), &MainWindow::exitProgram);

    // The channel overview shows this menu once it has read a headend or opened a file.
    QMenu *settings =
        addMenu(nullptr, QStringLiteral("Settings_Dialog"), QStringLiteral("&Settings"));
    addItem(settings, QStringLiteral("Save"), QStringLiteral("&Save Settings"), nullptr);
    addItem(settings, QStringLiteral("Save_As"), QStringLiteral("Save Settings &As..."), nullptr)
        ->setVisible(false);
    addItem(settings, QStringLiteral("Load"), QStringLiteral("&Load Settings"), nullptr);
    addSeparator(settings, QStringLiteral("MenuLine3"))->setVisible(false);
    addItem(settings, QStringLiteral("Reset_Headend"), QStringLiteral("&Reset Headend"),
            &MainWindow::resetHeadend)
        ->setVisible(false);
    item(QStringLiteral("Settings_Dialog"))->setVisible(false);

    QMenu *control = addMenu(nullptr, QStringLiteral("Control"), QStringLiteral("&Control"));
    addModeItem(control, QStringLiteral("USB"), QStringLiteral("USB-Control"),
                &MainWindow::chooseUsb);
    addModeItem(control, QStringLiteral("LAN"), QStringLiteral("LAN-Control"),
                &MainWindow::chooseLan);
    addSeparator(control, QStringLiteral("MenuLine1"));
    addItem(control, QStringLiteral("Edit_Headend"), QStringLiteral("&Edit Headends"),
            &MainWindow::editHeadends);
    addItem(control, QStringLiteral("Select_Headend"), QStringLiteral("&Select Active Headend"),
            &MainWindow::selectHeadend);
    addItem(control, QStringLiteral("Headends_Overview"), QStringLiteral("Headends &Overview"),
            &MainWindow::openHeadendsOverview);
    addItem(control, QStringLiteral("Proxy_Setting"), QStringLiteral("&Proxy Settings"),
            &MainWindow::editProxy);
    addSeparator(control, QStringLiteral("MenuLine2"))->setVisible(false);
    addItem(control, QStringLiteral("LAN_Parameter"), QStringLiteral("L&AN-Settings"),
            &MainWindow::editLanSettings)
        ->setVisible(false);
    setDirectoryItemsVisible(false);
}

QAction *MainWindow::addModeItem(QMenu *menu, const QString &name, const QString &caption,
                                 void (MainWindow::*handler)())
{
    QAction *action = addItem(menu, name, caption, nullptr);
    action->setCheckable(true);
    // The handler sets the check marks itself and must see them as they were before the click,
    // so the toggle of the click is taken back first.
    connect(action, &QAction::triggered, action,
            [action](bool checked) { action->setChecked(!checked); });
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QMenu *MainWindow::addMenu(QMenu *parent, const QString &name, const QString &caption)
{
    QMenu *menu = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    m_menus.insert(name, menu);
    m_items.insert(name, menu->menuAction());
    return menu;
}

QAction *MainWindow::addItem(QMenu *menu, const QString &name, const QString &caption,
                             void (MainWindow::*handler)())
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    action->setParent(this);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    m_items.insert(name, action);
    return action;
}

QAction *MainWindow::addSeparator(QMenu *menu, const QString &name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(name);
    m_items.insert(name, separator);
    return separator;
}

void MainWindow::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    const int narrow = fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00"));
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        // Panel 2 shows the headend's name as it stands in the directory.
        m_panels[i]->setTextFormat(Qt::PlainText);
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        if (i != 1)
            m_panels[i]->setMinimumWidth(narrow);
        bar->addPermanentWidget(m_panels[i], i == 1 ? 1 : 0);
    }
}

void MainWindow::setStatusPanel(int panel, const QString &text)
{
    if (panel >= 1 && panel <= 3)
        m_panels[panel - 1]->setText(text);
}

QString MainWindow::statusPanel(int panel) const
{
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

void MainWindow::startUp()
{
    setWindowTitle(QStringLiteral("KELDOR Station V%1.%2.%3")
                       .arg(KELDOR_VERSION_MAJOR)
                       .arg(KELDOR_VERSION_MINOR)
                       .arg(KELDOR_VERSION_PATCH));
    setWindowIcon(programIcon(QStringLiteral("sat.ico")));

    UserInterface &ui = m_station.ui;
    ui.setStatusPanel(1, currentDate());
    ui.setStatusPanel(3, currentTime());

    ShellState &shell = m_station.shell;
    shell = ShellState();
    loadSettings(shell, m_station.settings);
    const bool lan = shell.connectionMode == ConnectionMode::Lan;
    item(QStringLiteral("USB"))->setChecked(!lan);
    item(QStringLiteral("LAN"))->setChecked(lan);
    m_station.session.exchange.setSerialSelected(!lan);
    if (lan) {
        setDirectoryItemsVisible(true);
        showLanPanels();
    }
}

void MainWindow::setDirectoryItemsVisible(bool visible)
{
    for (const char *name :
         {"MenuLine1", "Edit_Headend", "Select_Headend", "Headends_Overview", "Proxy_Setting"})
        item(QLatin1String(name))->setVisible(visible);
}

void MainWindow::showUsbPanels()
{
    UserInterface &ui = m_station.ui;
    ui.setStatusPanel(1, currentDate());
    ui.setStatusPanel(2, QString());
    ui.setStatusPanel(3, currentTime());
}

void MainWindow::showLanPanels()
{
    UserInterface &ui = m_station.ui;
    ui.setStatusPanel(1, currentDate());
    ui.setStatusPanel(2, QStringLiteral("Active Headend: ") + m_station.shell.activeHeadendName);
    ui.setStatusPanel(3, QStringLiteral("Offline"));
}

void MainWindow::showConnectionPanels()
{
    if (usbChecked()) {
        showUsbPanels();
        return;
    }
    showLanPanels();
    if (m_station.session.lan.isConnected())
        m_station.ui.setStatusPanel(3, QStringLiteral("Online"));
}

void MainWindow::setInputEnabled(bool enabled)
{
    menuBar()->setEnabled(enabled);
    m_inputBlocker->setBlocked(!enabled);
}

void MainWindow::setConnectionModeLocked(bool locked)
{
    item(QStringLiteral("USB"))->setEnabled(!locked);
    item(QStringLiteral("LAN"))->setEnabled(!locked);
}

void MainWindow::overviewShown(bool open, bool offline)
{
    item(QStringLiteral("Settings_Dialog"))->setVisible(open);
    item(QStringLiteral("Save_As"))->setVisible(open && offline);
    if (offline) {
        for (const char *name : {"MenuLine3", "Reset_Headend"})
            item(QLatin1String(name))->setVisible(false);
        // A mode switch would put its own panels over the file's name. A LAN connection made
        // before keeps the mode locked, as it did then.
        setConnectionModeLocked(open || m_station.session.lan.isConnected());
        if (!open)
            showConnectionPanels();
        return;
    }
    for (const char *name : {"MenuLine2", "LAN_Parameter"})
        item(QLatin1String(name))->setVisible(open);
    setConnectionModeLocked(open);
    if (open && lanChecked()) {
        item(QStringLiteral("MenuLine3"))->setVisible(true);
        item(QStringLiteral("Reset_Headend"))->setVisible(true);
    }
    if (!open)
        setProgramEnabled(true);
}

void MainWindow::setProgramEnabled(bool enabled)
{
    item(QStringLiteral("Program"))->setEnabled(enabled);
}

QMdiSubWindow *MainWindow::addChildWindow(QWidget *window)
{
    QMdiSubWindow *child = m_mdiArea->addSubWindow(window);
    child->setAttribute(Qt::WA_DeleteOnClose);
    // Showing a large window lays out every control it has, and painting them is as much work
    // again: the window is drawn in a later turn of the event loop than it is shown, so that the
    // two never hold the loop together. The area keeps what it showed until then.
    child->setUpdatesEnabled(false);
    placeChildWindow(*child);
    child->show();
    placeChildWindow(*child);
    QTimer::singleShot(1ms, child, [child] { child->setUpdatesEnabled(true); });
    return child;
}

bool MainWindow::closeAllChildWindows()
{
    bool allClosed = true;
    for (QMdiSubWindow *child : m_mdiArea->subWindowList(QMdiArea::CreationOrder))
        allClosed = child->close() && allClosed;
    return allClosed;
}

void MainWindow::chooseUsb()
{
    switchMode(ConnectionMode::Usb);
}

void MainWindow::chooseLan()
{
    switchMode(ConnectionMode::Lan);
}

void MainWindow::switchMode(ConnectionMode mode)
{
    const bool usb = mode == ConnectionMode::Usb;
    QAction *chosen = item(usb ? QStringLiteral("USB") : QStringLiteral("LAN"));
    QAction *other = item(usb ? QStringLiteral("LAN") : QStringLiteral("USB"));
    if (!chosen->isChecked()) {
        chosen->setChecked(true);
        setDirectoryItemsVisible(!usb);
        if (usb)
            showUsbPanels();
        else
            showLanPanels();
    }
    other->setChecked(false);
    m_station.session.exchange.setSerialSelected(usb);
    if (!switchConnectionMode(m_station.shell, m_station.settings, mode)) {
        m_station.ui.message(UserInterface::Icon::Exclamation, QLatin1String(applicationTitle),
                             m_station.settings.lastError() +
                                 QStringLiteral("\rThe mode applies until the program ends."));
    }
    reopenControlMenu();
}

// The operator usually switches the mode and then picks a directory item, so the menu comes
// back open once the click has closed it.
void MainWindow::reopenControlMenu()
{
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && menuBar()->isEnabled())
            menuBar()->setActiveAction(item(QStringLiteral("Control")));
    });
}

void MainWindow::openProgramMenu()
{
    openHeadendWindow(HeadendWindow::Program);
}

void MainWindow::openDiagnostics()
{
    openHeadendWindow(HeadendWindow::Diagnostic);
}

void MainWindow::updateController()
{
    openHeadendWindow(HeadendWindow::UpdateController);
}

void MainWindow::updateFpga()
{
    openHeadendWindow(HeadendWindow::UpdateQam);
}

QWidget *MainWindow::openHeadendWindow(HeadendWindow target)
{
    // A window that keeps unsaved work open keeps the headend unasked too.
    if (!closeAllChildWindows())
        return nullptr;
    if (target == HeadendWindow::UpdateController)
        m_station.shell.updateTarget = updateTargetController;
    else if (target == HeadendWindow::UpdateQam)
        m_station.shell.updateTarget = updateTargetQamFpga;

    Session &session = m_station.session;
    if (usbChecked())
        return checkDevicePresent(session) ? openWindow(target) : nullptr;
    if (session.lan.isConnected())
        return openWindow(target);
    selectActiveHeadend();
    return lanConnect(session, m_station.lanTarget()) ? openWindow(target) : nullptr;
}

QWidget *MainWindow::openWindow(HeadendWindow target)
{
    const WindowFactory factory = m_windows.factory(target);
    if (!factory)
        return nullptr;
    QWidget *window = factory(m_station, *this);
    if (auto *dialog = qobject_cast<QDialog *>(window)) {
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->exec();
        return nullptr;
    }
    addChildWindow(window);
    return window;
}

bool MainWindow::ensureDirectory()
{
    const QString folder = programFolder();
    if (directoryFileExists(directoryPath(folder)))
        return true;
    QString error;
    if (createDirectoryFile(folder, &error))
        return true;
    m_station.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"), error);
    return false;
}

void MainWindow::selectActiveHeadend()
{
    if (!ensureDirectory())
        return;
    HeadendPicker selection(m_station, this);
    selection.exec();
}

void MainWindow::editHeadends()
{
    closeAllChildWindows();
    if (!ensureDirectory())
        return;
    addChildWindow(new DirectoryEditor(m_station, *this));
}

void MainWindow::selectHeadend()
{
    closeAllChildWindows();
    selectActiveHeadend();
    if (m_station.shell.activeHeadendName != QLatin1String("non") &&
        lanConnect(m_station.session, m_station.lanTarget()))
        openWindow(HeadendWindow::Program);
}

void MainWindow::openHeadendsOverview()
{
    // One overview of the fleet: a second click brings it forward.
    for (QMdiSubWindow *child : m_mdiArea->subWindowList()) {
        if (qobject_cast<HeadendsOverview *>(child->widget())) {
            m_mdiArea->setActiveSubWindow(child);
            return;
        }
    }
    if (!ensureDirectory())
        return;
    addChildWindow(new HeadendsOverview(m_station, *this));
}

void MainWindow::editProxy()
{
    addChildWindow(new ProxyDialog(m_station));
}

void MainWindow::editLanSettings()
{
    openWindow(HeadendWindow::LanParameter);
}

void MainWindow::exitProgram()
{
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Child windows end their own exchanges with the headend before the link goes. One that
    // still holds something the operator typed keeps the program running.
    if (!closeAllChildWindows()) {
        event->ignore();
        return;
    }
    m_station.session.lan.close();
    storePlacement();
    event->accept();
}

void MainWindow::showWithLastPlacement()
{
    QList<QRect> screens;
    for (const QScreen *each : QGuiApplication::screens())
        screens.append(each->availableGeometry());
    const SettingsStore &settings = m_station.settings;
    const std::optional<QRect> geometry =
        fittingGeometry(settings.text(geometryKey, QString()), screens);
    // Leaving the maximized state the first time gives a window that still fits the screen.
    const QRect available = screen()->availableGeometry();
    setGeometry(geometry.value_or(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                                      available.size() * 4 / 5, available)));
    if (!geometry || settings.text(maximizedKey, QString()) != QLatin1String("False"))
        showMaximized();
    else
        show();
}

void MainWindow::storePlacement()
{
    // The place only matters for the next start: a store that can't be written is not worth a
    // message while the program ends.
    SettingsStore &settings = m_station.settings;
    settings.setText(geometryKey, geometryText(normalGeometry()));
    settings.setText(maximizedKey,
                     isMaximized() ? QStringLiteral("True") : QStringLiteral("False"));
    settings.commit();
}

void MainWindow::resetHeadend()
{
    Session &session = m_station.session;
    if (!setParameter(session.exchange, 0, restartCode, qint64{0}))
        return;
    closeAllChildWindows();
    const QString serialPort = session.serial.portName();
    if (usbChecked() && session.serial.isOpen())
        session.serial.close();

    const LanTarget target = m_station.lanTarget();
    if (!waitForRestart(session, target, serialPort))
        return;
    const bool connected = usbChecked() ? checkDevicePresent(session) : lanConnect(session, target);
    if (connected)
        openWindow(HeadendWindow::Program);
}

void MainWindow::keepAliveTick()
{
    if (usbChecked() && !keepAlive(m_station.session.exchange))
        m_station.ui.setKeepAliveRunning(false);
}

} // namespace keldor
