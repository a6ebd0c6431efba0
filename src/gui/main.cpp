#include "shell/mainwindow.h"
#include "shell/settingsstore.h"
#include "shell/station.h"
#include "shell/widgetui.h"
#include "traffic/trafficmenu.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("keldor-station"));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Configures and maintains KELDOR satellite-to-cable headends."));
    options.addHelpOption();
    // Support asks for a trace from the very start: the Settings menu only appears once a
    // headend has been read, too late for the first connection.
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Records the traffic with the headend to a "
                                                  "new FILE from the start (JSON lines)."),
                                   QStringLiteral("FILE"));
    options.addOption(trace);
    options.process(app);

    keldor::SettingsStore settings(QApplication::organizationName(),
                                   QApplication::applicationName());
    keldor::WidgetUi ui;
    keldor::Station station(ui, settings);
    keldor::MainWindow window(station);
    ui.attach(window);
    window.showWithLastPlacement();
    if (options.isSet(trace))
        keldor::TrafficMenu::of(window)->startRecording(options.value(trace));
    // Lets the start-up benchmark time a cold start to the first shown window; nothing else
    // changes.
    if (qEnvironmentVariableIsSet("KELDOR_EXIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
