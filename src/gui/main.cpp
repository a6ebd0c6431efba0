#include "shell/mainwindow.h"
#include "shell/settingsstore.h"
#include "shell/station.h"
#include "shell/widgetui.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("keldor-station"));

    keldor::SettingsStore settings(QApplication::organizationName(),
                                   QApplication::applicationName());
    keldor::WidgetUi ui;
    keldor::Station station(ui, settings);
    keldor::MainWindow window(station);
    ui.attach(window);
    window.showWithLastPlacement();
    // Lets the start-up benchmark time a cold start to the first shown window; nothing else
    // changes.
    if (qEnvironmentVariableIsSet("KELDOR_EXIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
