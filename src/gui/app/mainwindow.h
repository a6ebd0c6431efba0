#pragma once

#include "core/features/shell/shellstate.h"
#include "gui/app/windowregistry.h"
#include "gui/station/overviewmenus.h"
#include "gui/ui/inputblocker.h"

#include <QHash>
#include <QMainWindow>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace keldor {

class Station;

// The main window: the menu bar that starts every function, the status bar with the
// connection state, and the area that holds the child windows. The connection mode is the
// check mark of the USB and LAN items; the session's link selection follows it.
class MainWindow : public QMainWindow, public OverviewMenus {
    Q_OBJECT

public:
    explicit MainWindow(Station &station, WindowRegistry windows = standardWindows(),
                        QWidget *parent = nullptr);

    Station &station() const { return m_station; }

    // Shows the window where the operator left it the last time, maximized the first time and
    // when that place no longer fits on any screen.
    void showWithLastPlacement();

    // A menu item by its name ("Program", "Update_µC", "Settings_Dialog", "Reset_Headend" ...);
    // a submenu's name gives the item that opens it. Null for an unknown name.
    QAction *item(const QString &name) const;
    QMenu *menu(const QString &name) const;
    bool usbChecked() const;
    bool lanChecked() const;

    // Status bar panels 1..3.
    void setStatusPanel(int panel, const QString &text);
    // The panels of the connection mode, as they stand with no settings file open.
    void showConnectionPanels();
    QString statusPanel(int panel) const;

    // The menus and the child windows take no input while an exchange runs. Dialogs and
    // message boxes of their own stay usable. The menu bar greys; the child windows keep their
    // look (the wait cursor tells that the program is busy) and are not redrawn for it.
    void setInputEnabled(bool enabled);
    bool isInputEnabled() const { return !m_inputBlocker->isBlocked(); }
    // The link can't be changed while a headend is connected.
    void setConnectionModeLocked(bool locked);

    // Shows a window as a child of the main window; it is deleted when it closes.
    QMdiSubWindow *addChildWindow(QWidget *window);
    // Closes the child windows in the order they were opened; each runs its own close
    // handling. A window that refuses to close stays open; false then.
    bool closeAllChildWindows();
    QMdiArea *mdiArea() const { return m_mdiArea; }

    // The menu handlers.
    void openProgramMenu();
    void openDiagnostics();
    void updateController();
    void updateFpga();
    void exitProgram();
    void resetHeadend();
    void chooseUsb();
    void chooseLan();
    void editHeadends();
    void selectHeadend();
    void openHeadendsOverview();
    void editProxy();
    void editLanSettings();

    void overviewShown(bool open, bool offline) override;
    void setProgramEnabled(bool enabled) override;

    // One tick of the keep-alive timer.
    void keepAliveTick();

    // Opens the target window once a headend answers: over USB after discovery, over the LAN
    // at once when connected, else after the operator chose a headend and it was connected.
    // The child window opened, nothing when none opened or it was a dialog, which has ended.
    QWidget *openHeadendWindow(HeadendWindow target);
    // Opens the target window without looking for a headend first.
    QWidget *openWindow(HeadendWindow target);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildStatusBar();
    void startUp();
    void storePlacement();
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption,
                     void (MainWindow::*handler)());
    QAction *addModeItem(QMenu *menu, const QString &name, const QString &caption,
                         void (MainWindow::*handler)());
    QMenu *addMenu(QMenu *parent, const QString &name, const QString &caption);
    QAction *addSeparator(QMenu *menu, const QString &name);
    void setDirectoryItemsVisible(bool visible);
    void switchMode(ConnectionMode mode);
    void showUsbPanels();
    void showLanPanels();
    void reopenControlMenu();
    bool ensureDirectory();
    // The modal selection of the active headend.
    void selectActiveHeadend();

    Station &m_station;
    WindowRegistry m_windows;
    QMdiArea *m_mdiArea = nullptr;
    InputBlocker *m_inputBlocker = nullptr;
    QHash<QString, QAction *> m_items;
    QHash<QString, QMenu *> m_menus;
    QLabel *m_panels[3] = {};
};

} // namespace keldor
